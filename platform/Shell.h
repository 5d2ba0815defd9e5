// Services of the desktop shell that the window's behaviour needs, behind one small interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vqx {

struct LocalDate {
    int year = 0, month = 0, day = 0;
};

// Message-box style values and answers, as Windows defines them.
namespace mb {
constexpr int OkOnly = 0;
constexpr int Critical = 16;
constexpr int Exclamation = 48;
constexpr int YesNoQuestion = 36;
constexpr int AnswerOk = 1;
constexpr int AnswerYes = 6;
constexpr int AnswerNo = 7;
} // namespace mb

// Window mouse-pointer values.
namespace ptr {
constexpr int Default = 0;
constexpr int Hourglass = 11;
constexpr int Custom = 99;
} // namespace ptr

class Shell {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~Shell() = default;

    // Modal message box owned by the window; returns the answer code.
    virtual int MessageBox(const std::string& text, const std::string& title, int style) = 0;
    // Handles window events (paints, clicks, a close) on the calling window thread until
    // `done` holds. `done` runs on that thread: first, after each Wake and after the events
    // of each wake-up, so it may apply what another thread has reported meanwhile.
    virtual void RunUntil(const std::function<bool()>& done) = 0;
    // Makes a RunUntil ask `done` again; safe to call from any thread.
    virtual void Wake() = 0;
    // Makes the RunUntil under way ask `done` again at `when` at the latest, also when nothing
    // else happens: one wake, the latest call replacing an earlier one. Called from `done`.
    virtual void WakeAt(Clock::time_point when) = 0;
    // The time on a clock that never goes back; safe to call from any thread.
    virtual Clock::time_point Now() = 0;
    // The window's own mouse pointer (0 default, 11 hourglass).
    virtual void SetPointer(int pointer) = 0;
    // The folder of the running program, without a trailing separator; asked afresh each time.
    virtual std::string DataFolder() = 0;
    virtual LocalDate Today() = 0;
    // Sets the window's large and small icons from an icon resource of the program, also on
    // the top of the window's owner chain when asked.
    virtual void SetWindowIcons(std::uintptr_t window, const std::string& resource,
                                bool ownerChain) = 0;
    // The shell's folder dialog: the chosen folder's path, or empty text when none was chosen.
    virtual std::string PickFolder(std::uintptr_t owner, const std::string& title) = 0;
};

} // namespace vqx
