// The window's taskbar button showing a run's progress, through the shell's ITaskbarList3. The
// shell says when the button exists (the registered "TaskbarButtonCreated" message); until then,
// and where the shell has no such object, the progress is only kept.
#pragma once

#include "platform/win32/WinHandles.h"
#include "window/RunProgress.h"

#include <optional>

struct ITaskbarList3;

namespace vqx::win32 {

class TaskbarButton {
public:
    // Both out of line: only there is ITaskbarList3 complete, for the reference to be let go.
    TaskbarButton();
    ~TaskbarButton();
    TaskbarButton(const TaskbarButton&) = delete;
    TaskbarButton& operator=(const TaskbarButton&) = delete;

    // The message by which the shell announces the button.
    static UINT CreatedMessage();
    // The window whose button this is; lets the shell's announcement through to it.
    void Attach(HWND window);
    // The shell made the button (again, after it restarted): the progress shown so far goes on it.
    void Created();
    void Show(const TaskbarProgress& progress);

private:
    void Apply();

    HWND window_ = nullptr;
    // Set up on this thread at the first Created(); declared first, so that it is undone only
    // after the list is let go.
    std::optional<ComApartment> com_;
    ComRef<ITaskbarList3> list_;
    TaskbarProgress progress_;
    bool stateShown_ = false; // progress_.state is on the button already
};

} // namespace vqx::win32
