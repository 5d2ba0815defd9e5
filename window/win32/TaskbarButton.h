// The window's taskbar button showing a run's progress, through the shell's ITaskbarList3. The
// shell says when the button exists (the registered "TaskbarButtonCreated" message); until then,
// and where the shell has no such object, the progress is only kept.
#pragma once

#include "platform/win32/WinInclude.h"
#include "window/RunProgress.h"

struct ITaskbarList3;

namespace vqx::win32 {

class TaskbarButton {
public:
    TaskbarButton() = default;
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
    void Release();

    HWND window_ = nullptr;
    ITaskbarList3* list_ = nullptr; // owned
    bool comStarted_ = false;       // COM was set up on this thread here, and is undone here
    TaskbarProgress progress_;
    bool stateShown_ = false; // progress_.state is on the button already
};

} // namespace vqx::win32
