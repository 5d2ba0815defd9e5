// The shell services of the real desktop.
#pragma once

#include "platform/Shell.h"
#include "platform/win32/WinInclude.h"

#include <functional>

namespace vqx::win32 {

class Win32Shell : public Shell {
public:
    // The owner of message boxes; 0 until the window exists.
    void SetOwner(HWND owner) { owner_ = owner; }
    // Keyboard handling of the window, given each message before it is dispatched; true when
    // it took the message.
    void SetPreTranslate(std::function<bool(MSG&)> filter) { preTranslate_ = std::move(filter); }
    bool PreTranslate(MSG& msg) { return preTranslate_ && preTranslate_(msg); }
    // The pointer the window should show now: 0 (the controls' own), or 11 (hourglass).
    int Pointer() const { return pointer_; }
    // True once a WM_QUIT has been met while yielding (it is posted again for the main loop).
    bool QuitSeen() const { return quitSeen_; }

    int MessageBox(const std::string& text, const std::string& title, int style) override;
    void Yield() override;
    void SetPointer(int pointer) override;
    std::string DataFolder() override;
    LocalDate Today() override;
    std::uint64_t TickMs() override;
    void SetWindowIcons(std::uintptr_t window, const std::string& resource,
                        bool ownerChain) override;
    std::string PickFolder(std::uintptr_t owner, const std::string& title) override;

private:
    HWND owner_ = nullptr;
    int pointer_ = 0;
    bool quitSeen_ = false;
    static constexpr std::uint64_t kYieldGapMs = 10;
    bool pumped_ = false;        // a Yield has looked at the queue
    std::uint64_t lastPump_ = 0; // when, in GetTickCount64 ms
    std::function<bool(MSG&)> preTranslate_;
};

} // namespace vqx::win32
