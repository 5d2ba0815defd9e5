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

// The path of a chosen item, or empty text when it has none.
std::wstring PathOf(PCIDLIST_ABSOLUTE item) {
#if defined(NTDDI_VISTA) && NTDDI_VERSION >= NTDDI_VISTA
    std::vector<wchar_t> path(kLongestPathLength + 1, L'\0');
    if (!SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
        return {};
#else
    // Without the long-path variant: a buffer of the classic limit, which this call never
    // writes beyond.
    std::vector<wchar_t> path(MAX_PATH, L'\0');
    if (!SHGetPathFromIDListW(item, path.data()))
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
    // Shared images (LR_SHARED) belong to the system: they are never destroyed here.
    HICON largeIcon = LoadSharedIcon(resource, SM_CXICON, SM_CYICON);
    if (ownerChain)
        SendIcon(top, ICON_BIG, largeIcon);
    SendIcon(window, ICON_BIG, largeIcon);

    HICON smallIcon = LoadSharedIcon(resource, SM_CXSMICON, SM_CYSMICON);
    if (ownerChain)
        SendIcon(top, ICON_SMALL, smallIcon);
    SendIcon(window, ICON_SMALL, smallIcon);
}

std::wstring proFN_SeleccionarCarpeta(HWND owner, const std::wstring& title) {
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
    const TaskMemory<std::remove_pointer_t<PIDLIST_ABSOLUTE>> chosen(SHBrowseForFolderW(&info));
    if (!chosen)
        return {}; // cancelled or closed
    return PathOf(chosen.get());
}

} // namespace vqx::win32
