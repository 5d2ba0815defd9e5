// The shared utility module: the two routines that talk to the operating system directly, the
// window icons and the shell's folder dialog. Wide-character APIs throughout.
#pragma once

#include "platform/win32/WinInclude.h"

#include <string>

namespace vqx::win32 {

// Sets the large and small icons of `window` from the icon resource `resource` of the program's
// own module, at the sizes the system uses. With `ownerChain` the icons also go to the top of
// the window's owner chain (a window without owner is its own top, and gets them once). No handle
// is tested: a resource that cannot be loaded sends a null icon, leaving that icon unset.
void proFN_EstablecerIcono(HWND window, const wchar_t* resource, bool ownerChain);

// The shell's classic folder dialog, modal to `owner`, with `title` as the text above the tree.
// Returns the chosen folder's file-system path, or empty text when the dialog was cancelled, the
// chosen item has no such path or the system has no shell to show it. Reports no error.
std::wstring proFN_SeleccionarCarpeta(HWND owner, const std::wstring& title);

} // namespace vqx::win32
