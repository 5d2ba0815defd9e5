// The window's own events: its title text dragged, its close button, a close asked for while a
// run goes on, and the unload step.
#include "window/APLwAPP.h"

namespace vqx {
namespace {

constexpr int kLeftButton = 1;

} // namespace

void APLwAPP::FormBarraTituloTXT_MouseMove(int button, int /*shift*/, float /*x*/, float /*y*/) {
    // The left button alone; any other combination of pressed buttons does not move the window.
    if (button != kLeftButton)
        return;
    if (host_)
        host_->DragByCaption();
}

void APLwAPP::FormCerrar_Click() {
    if (QueryClose() && host_)
        host_->Destroy();
}

bool APLwAPP::QueryClose() {
    if (!running_)
        return true;
    // The user sees the window go at once; the run stops at its next check (a copy under way
    // removes its temporary) and then destroys the window. A second close adds nothing.
    if (!closePending_.exchange(true) && host_)
        host_->Hide();
    return false;
}

// The window always closes: the cancel flag is left as it came, and nothing is saved.
void APLwAPP::Form_Unload(int& cancel) {
    (void)cancel;
}

} // namespace vqx
