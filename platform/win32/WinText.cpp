#include "platform/win32/WinText.h"

#include "platform/win32/WinHandles.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <type_traits>

namespace vqx::win32 {

static_assert(std::is_same_v<DWORD, unsigned long>, "WinText.h declares DWORD as unsigned long");

namespace {

bool StartsWith(const std::wstring& s, const wchar_t* prefix) {
    return s.compare(0, std::wcslen(prefix), prefix) == 0;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring Widen(UINT codePage, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int inLen = static_cast<int>(bytes.size());
    const int outLen = MultiByteToWideChar(codePage, 0, bytes.data(), inLen, nullptr, 0);
    if (outLen <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(outLen), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), inLen, out.data(), outLen);
    return out;
}

} // namespace

std::wstring ToWide(const std::string& utf8) {
    return Widen(CP_UTF8, utf8);
}

std::wstring FromAnsi(std::string_view bytes) {
    return Widen(CP_ACP, bytes);
}

std::string FromWide(const std::wstring& wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int inLen = static_cast<int>(wide.size());
    const int outLen =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, nullptr, 0, nullptr, nullptr);
    if (outLen <= 0)
        return {};
    std::string out(static_cast<std::size_t>(outLen), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, out.data(), outLen, nullptr, nullptr);
    return out;
}

std::wstring ToWinPath(const std::string& utf8) {
    std::wstring path = ToWide(utf8);
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\"))
        return path;
    const bool drive =
        path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]) &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    const bool unc =
        path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
    if (!drive && !unc)
        return path;
    // The prefix turns off every change the system would make: a "/" would stay a "/", which
    // no name may hold, so it becomes the separator it stands for.
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return unc ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
}

Error Win32Error(unsigned long code, const char* source) {
    Error e;
    e.number = static_cast<std::int32_t>(HRESULT_FROM_WIN32(code));
    e.source = source ? source : "";
    wchar_t* text = nullptr;
    // Language 0: the system picks the user's language, falling back as it sees fit.
    const DWORD len = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const LocalMemory<wchar_t> owned(text);
    if (len > 0 && owned) {
        std::wstring w(owned.get(), len);
        while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' '))
            w.pop_back();
        e.description = FromWide(w);
    }
    if (e.description.empty())
        e.description = "Error " + std::to_string(code);
    return e;
}

} // namespace vqx::win32
