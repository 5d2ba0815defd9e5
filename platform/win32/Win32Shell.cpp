#include "platform/win32/Win32Shell.h"

#include "platform/win32/VQXUTLmFunciones.h"
#include "platform/win32/WinText.h"

#include <vector>

namespace vqx::win32 {

int Win32Shell::MessageBox(const std::string& text, const std::string& title, int style) {
    return MessageBoxW(owner_, ToWide(text).c_str(), ToWide(title).c_str(),
                       static_cast<UINT>(style));
}

void Win32Shell::Yield() {
    // Each look at the queue is a round trip to the window system (a wineserver request under
    // Wine, about as long as skipping one data-centre file): a run that yields after every file
    // looks at most every kYieldGapMs, sooner than anyone could tell.
    const std::uint64_t now = GetTickCount64();
    if (pumped_ && now - lastPump_ < kYieldGapMs)
        return;
    pumped_ = true;
    lastPump_ = now;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the main loop, which ends the program once the run has unwound.
            quitSeen_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Win32Shell::SetPointer(int pointer) {
    pointer_ = pointer;
    SetCursor(LoadCursorW(nullptr, pointer == 11 ? IDC_WAIT : IDC_ARROW));
    if (pointer == 0 && owner_) {
        // Let the control under the pointer put its own pointer back.
        POINT p;
        if (GetCursorPos(&p))
            SetCursorPos(p.x, p.y);
    }
}

std::string Win32Shell::DataFolder() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            std::wstring path(buf.data(), n);
            auto slash = path.find_last_of(L"\\/");
            return FromWide(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
        }
        buf.resize(buf.size() * 2);
    }
}

LocalDate Win32Shell::Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay};
}

std::uint64_t Win32Shell::TickMs() {
    return GetTickCount64();
}

void Win32Shell::SetWindowIcons(std::uintptr_t window, const std::string& resource,
                                bool ownerChain) {
    proFN_EstablecerIcono(reinterpret_cast<HWND>(window), ToWide(resource).c_str(), ownerChain);
}

std::string Win32Shell::PickFolder(std::uintptr_t owner, const std::string& title) {
    return FromWide(proFN_SeleccionarCarpeta(reinterpret_cast<HWND>(owner), ToWide(title)));
}

} // namespace vqx::win32
