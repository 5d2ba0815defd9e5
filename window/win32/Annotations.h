// What screen readers are told beyond what the controls' windows say by themselves, through
// Microsoft Active Accessibility's Dynamic Annotation (IAccPropServices): the system's own
// accessible object of each window answers with it. The option, a picture, is a check box
// whose state follows its tag (answered on demand by a small property server), and the status
// line is a polite live region. Made when a screen reader first asks (WM_GETOBJECT): a program
// that nobody reads that way loads none of it.
#pragma once

#include "platform/win32/WinHandles.h"
#include "window/Control.h"

#include <optional>
#include <utility>
#include <vector>

struct IAccPropServices;

namespace vqx::win32 {

class Annotations {
public:
    Annotations();
    ~Annotations(); // the annotations go with the windows
    Annotations(const Annotations&) = delete;
    Annotations& operator=(const Annotations&) = delete;

    // The first time only: every control that needs an annotation gets it.
    void Ensure(const std::vector<std::pair<const Control*, HWND>>& controls);

private:
    class StateServer;

    // Set up on this thread at the first Ensure; declared first, so that it is undone only after
    // the services are let go.
    std::optional<ComApartment> com_;
    ComRef<IAccPropServices> services_;
    std::vector<HWND> annotated_;
    bool tried_ = false;
};

} // namespace vqx::win32
