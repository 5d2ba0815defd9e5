#include "platform/win32/VQXUTLmFunciones.h"

#include "platform/win32/WinHandles.h"
#include "platform/win32/WinText.h"

#include <shlobj.h>

#include <type_traits>
#include <vector>

namespace vqx::win32 {
namespace {

HICON LoadSharedIcon(const wchar_t* resource, int cxMetric, int cyMetric) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), resource, IMAGE_ICON,
                                         GetSystemMetrics(cxMetric), GetSystemMetrics(cyMetric),
                                         LR_SHARED));
}

void SendIcon(HWND window, WPARAM which, HICON icon) {
    SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

#if defined(NTDDI_VISTA) && NTDDI_VERSION >= NTDDI_VISTA
#define VQX_LONG_PATHS 1
#endif

// The shell's library is loaded when the dialog first opens rather than with the program: it and
// the libraries it needs cost every start several milliseconds, and most starts never open the
// dialog.
struct ShellApi {
    decltype(&SHBrowseForFolderW) browseForFolder = nullptr;
#ifdef VQX_LONG_PATHS
    decltype(&SHGetPathFromIDListEx) pathFromIdList = nullptr;
#else
    decltype(&SHGetPathFromIDListW) pathFromIdList = nullptr;
#endif
};

// Null members when the library or an entry is missing. The library stays loaded.
const ShellApi& Shell() {
    static const ShellApi api = [] {
        ShellApi a;
        HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!shell)
            return a;
        a.browseForFolder = Entry<decltype(a.browseForFolder)>(shell, "SHBrowseForFolderW");
#ifdef VQX_LONG_PATHS
        a.pathFromIdList = Entry<decltype(a.pathFromIdList)>(shell, "SHGetPathFromIDListEx");
#else
        a.pathFromIdList = Entry<decltype(a.pathFromIdList)>(shell, "SHGetPathFromIDListW");
#endif
        return a;
    }();
    return api;
}

// The path of a chosen item, or empty text when it has none.
std::wstring PathOf(PCIDLIST_ABSOLUTE item) {
    if (!Shell().pathFromIdList)
        return {};
#ifdef VQX_LONG_PATHS
    std::vector<wchar_t> path(kLongestPathLength + 1, L'\0');
    if (!Shell().pathFromIdList(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
        return {};
#else
    // Without the long-path variant: a buffer of the classic limit, which this call never
    // writes beyond.
    std::vector<wchar_t> path(MAX_PATH, L'\0');
    if (!Shell().pathFromIdList(item, path.data()))
        return {};
#endif
    path.back() = L'\0';
    return path.data();
}

} // namespace

void proFN_EstablecerIcono(HWND window, const wchar_t* resource, bool ownerChain) {
    HWND top = window;
    if (ownerChain) {
        for (HWND owner = GetWindow(top, GW_OWNER); owner; owner = GetWindow(top, GW_OWNER))
            top = owner;
    }
    // A window that is its own top gets each icon once: a second, equal WM_SETICON changes
    // nothing, and under Wine each one rebuilds the icons of the window's X window.
    const bool alsoTop = ownerChain && top != window;
    // Shared images (LR_SHARED) belong to the system: they are never destroyed here.
    HICON largeIcon = LoadSharedIcon(resource, SM_CXICON, SM_CYICON);
    if (alsoTop)
        SendIcon(top, ICON_BIG, largeIcon);
    SendIcon(window, ICON_BIG, largeIcon);

    HICON smallIcon = LoadSharedIcon(resource, SM_CXSMICON, SM_CYSMICON);
    if (alsoTop)
        SendIcon(top, ICON_SMALL, smallIcon);
    SendIcon(window, ICON_SMALL, smallIcon);
}

std::wstring proFN_SeleccionarCarpeta(HWND owner, const std::wstring& title) {
    if (!Shell().browseForFolder)
        return {};                                     // no shell on this system: as if cancelled
    const ComApartment com;                            // for the dialog
    std::vector<wchar_t> displayName(MAX_PATH, L'\0'); // filled by the dialog, not used after

    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr; // the top of the shell namespace
    info.pszDisplayName = displayName.data();
    info.lpszTitle = title.c_str();
    // Only file-system folders can be confirmed. The classic tree dialog, without
    // BIF_NEWDIALOGSTYLE.
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    // Freed as ILFree frees it.
    const TaskMemory<std::remove_pointer_t<PIDLIST_ABSOLUTE>> chosen(
        Shell().browseForFolder(&info));
    if (!chosen)
        return {}; // cancelled or closed
    return PathOf(chosen.get());
}

} // namespace vqx::win32
