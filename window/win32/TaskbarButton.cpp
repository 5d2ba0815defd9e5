#include "window/win32/TaskbarButton.h"

#include <shobjidl.h>

namespace vqx::win32 {

TaskbarButton::TaskbarButton() = default;
TaskbarButton::~TaskbarButton() = default;

UINT TaskbarButton::CreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void TaskbarButton::Attach(HWND window) {
    window_ = window;
    // A program started with higher rights than the shell's would not get the message else.
    if (UINT message = CreatedMessage())
        ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

void TaskbarButton::Created() {
    list_.reset();
    // Tried again while it has not worked (another apartment here): that leaves nothing to undo.
    if (!com_ || !com_->Started())
        com_.emplace();
    void* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                &list)) ||
        !list)
        return; // no taskbar progress on this system: the window shows its own
    list_.reset(static_cast<ITaskbarList3*>(list));
    if (FAILED(list_->HrInit())) {
        list_.reset();
        return;
    }
    stateShown_ = false;
    Apply();
}

void TaskbarButton::Show(const TaskbarProgress& progress) {
    if (progress.state != progress_.state)
        stateShown_ = false;
    progress_ = progress;
    Apply();
}

void TaskbarButton::Apply() {
    if (!list_ || !window_)
        return;
    // A value moves the button out of "no progress" by itself; the state follows it, so that
    // an error is shown over the value and not replaced by it.
    if (progress_.state != TaskbarState::None)
        list_->SetProgressValue(window_, static_cast<ULONGLONG>(progress_.share), 1000);
    if (!stateShown_) {
        const TBPFLAG flag = progress_.state == TaskbarState::Error    ? TBPF_ERROR
                             : progress_.state == TaskbarState::Normal ? TBPF_NORMAL
                                                                       : TBPF_NOPROGRESS;
        list_->SetProgressState(window_, flag);
        stateShown_ = true;
    }
}

} // namespace vqx::win32
