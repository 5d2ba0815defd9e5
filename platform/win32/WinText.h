// Text, path and error conversions at the border between the UTF-8 core and the wide Win32 API,
// and the longest path that API takes.
// Kept free of <windows.h> so that its macros (CopyFile, MessageBox...) do not rename the
// members of the core interfaces in files that include this one.
#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vqx::win32 {

// The longest path the wide API takes, in UTF-16 units, its terminating NUL not counted (the
// system's own strings count their bytes in 16 bits). A buffer for any path holds one more.
inline constexpr std::size_t kLongestPathLength = 32767;

// UTF-8 -> UTF-16; invalid sequences become U+FFFD.
std::wstring ToWide(const std::string& utf8);
// Text in the system's ANSI code page (what Notepad wrote without a BOM) -> UTF-16.
std::wstring FromAnsi(std::string_view bytes);
// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
std::string FromWide(const std::wstring& wide);

// A path for the wide file APIs. A full path ("X:\..." or "\\server\share\...") takes the
// "\\?\" (or "\\?\UNC\") form, whatever its length: the system then takes every name exactly as
// given ("a " and "b." stay distinct from "a" and "b") and the 260-character limit is lifted.
// Nothing is normalised: "." and ".." must be resolved by the caller. Any other path is left
// as it is.
std::wstring ToWinPath(const std::string& utf8);

// A failed Win32 call as an Error: HRESULT_FROM_WIN32(code), the system's message text and the
// operation. `code` is a DWORD (unsigned long on every Windows compiler).
Error Win32Error(unsigned long code, const char* source);

} // namespace vqx::win32
