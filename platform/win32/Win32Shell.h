// The shell services of the real desktop.
#pragma once

#include "platform/Shell.h"
#include "platform/win32/WinHandles.h"

#include <functional>
#include <optional>

namespace vqx::win32 {

class Win32Shell : public Shell {
public:
    Win32Shell();
    Win32Shell(const Win32Shell&) = delete;
    Win32Shell& operator=(const Win32Shell&) = delete;

    // The owner of message boxes; 0 until the window exists.
    void SetOwner(HWND owner) { owner_ = owner; }
    // Keyboard handling of the window, given each message before it is dispatched; true when
    // it took the message.
    void SetPreTranslate(std::function<bool(MSG&)> filter) { preTranslate_ = std::move(filter); }
    bool PreTranslate(MSG& msg) { return preTranslate_ && preTranslate_(msg); }
    // The pointer the window should show now: 0 (the controls' own), or 11 (hourglass).
    int Pointer() const { return pointer_; }

    int MessageBox(const std::string& text, const std::string& title, int style) override;
    void RunUntil(const std::function<bool()>& done) override;
    void Wake() override;
    void WakeAt(Clock::time_point when) override { wakeAt_ = when; }
    Clock::time_point Now() override { return Clock::now(); }
    void SetPointer(int pointer) override;
    std::string DataFolder() override;
    LocalDate Today() override;
    void SetWindowIcons(std::uintptr_t window, const std::string& resource,
                        bool ownerChain) override;
    std::string PickFolder(std::uintptr_t owner, const std::string& title) override;

private:
    DWORD Timeout() const;

    HWND owner_ = nullptr;
    int pointer_ = 0;
    Handle wake_;                             // auto-reset: one Wake, one more look at `done`
    std::optional<Clock::time_point> wakeAt_; // of the RunUntil under way
    std::function<bool(MSG&)> preTranslate_;
};

} // namespace vqx::win32
