#include "platform/win32/Win32Shell.h"

#include "platform/win32/VQXUTLmFunciones.h"
#include "platform/win32/WinText.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vqx::win32 {

int Win32Shell::MessageBox(const std::string& text, const std::string& title, int style) {
    return MessageBoxW(owner_, ToWide(text).c_str(), ToWide(title).c_str(),
                       static_cast<UINT>(style));
}

Win32Shell::Win32Shell() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_)
        throw std::runtime_error("CreateEvent");
}

void Win32Shell::Wake() {
    SetEvent(wake_.get());
}

void Win32Shell::RunUntil(const std::function<bool()>& done) {
    bool quit = false;
    int quitCode = 0;
    wakeAt_.reset();
    const HANDLE wake = wake_.get();
    while (!done()) {
        const DWORD timeout = Timeout();
        // MWMO_INPUTAVAILABLE: input that an earlier look saw but left queued wakes us too.
        // Once WM_QUIT has come, only the wake is waited for: the window is going anyway.
        const DWORD woke =
            quit ? WaitForSingleObject(wake, timeout)
                 : MsgWaitForMultipleObjectsEx(1, &wake, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_TIMEOUT) {
            wakeAt_.reset();
            continue;
        }
        if (woke == WAIT_FAILED) {
            // The run must still be seen to its end: wait for its reports alone.
            if (WaitForSingleObject(wake, timeout) == WAIT_TIMEOUT)
                wakeAt_.reset();
            continue;
        }
        if (woke != WAIT_OBJECT_0 + 1)
            continue;
        MSG msg;
        while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
            } else if (!PreTranslate(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    // Left for the main loop, which ends the program once the caller has unwound.
    if (quit)
        PostQuitMessage(quitCode);
}

// Milliseconds until the wake asked for by WakeAt, rounded up so as not to wake before it.
DWORD Win32Shell::Timeout() const {
    if (!wakeAt_)
        return INFINITE;
    const auto left = *wakeAt_ - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

void Win32Shell::SetPointer(int pointer) {
    pointer_ = pointer;
    SetCursor(LoadCursorW(nullptr, pointer == ptr::Hourglass ? IDC_WAIT : IDC_ARROW));
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

void Win32Shell::SetWindowIcons(std::uintptr_t window, const std::string& resource,
                                bool ownerChain) {
    proFN_EstablecerIcono(reinterpret_cast<HWND>(window), ToWide(resource).c_str(), ownerChain);
}

std::string Win32Shell::PickFolder(std::uintptr_t owner, const std::string& title) {
    return FromWide(proFN_SeleccionarCarpeta(reinterpret_cast<HWND>(owner), ToWide(title)));
}

} // namespace vqx::win32
