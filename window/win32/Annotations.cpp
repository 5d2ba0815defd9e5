#include "window/win32/Annotations.h"

#include <initguid.h> // the GUIDs of oleacc.h defined here, without linking oleacc

#include <oleacc.h>

#include <atomic>
#include <iterator>
#include <new>

namespace vqx::win32 {
namespace {

// UI Automation's LiveSetting property, which the MSAA proxy takes from an annotation.
constexpr GUID kLiveSetting = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr int kPolite = 1; // UIA's LiveSetting "Polite"

} // namespace

// Answers a check box's role and state when a screen reader asks, from the control as it is
// then: checked while its tag is the checked one, unavailable while disabled, and the window's
// own focus and visibility.
class Annotations::StateServer : public IAccPropServer {
public:
    StateServer(const Control& control, HWND window) : control_(control), window_(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IAccPropServer) {
            *out = static_cast<IAccPropServer*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetPropValue(const BYTE*, DWORD, MSAAPROPID property, VARIANT* value,
                                           BOOL* has) override {
        if (!value || !has)
            return E_POINTER;
        value->vt = VT_EMPTY;
        *has = FALSE;
        if (property == PROPID_ACC_ROLE) {
            value->vt = VT_I4;
            value->lVal = ROLE_SYSTEM_CHECKBUTTON;
        } else if (property == PROPID_ACC_STATE) {
            LONG state = STATE_SYSTEM_FOCUSABLE;
            if (control_.Tag() == control_.Settings().checkedTag)
                state |= STATE_SYSTEM_CHECKED;
            if (!control_.Enabled())
                state |= STATE_SYSTEM_UNAVAILABLE;
            if (GetFocus() == window_)
                state |= STATE_SYSTEM_FOCUSED;
            if (!IsWindowVisible(window_))
                state |= STATE_SYSTEM_INVISIBLE;
            value->vt = VT_I4;
            value->lVal = state;
        } else {
            return S_OK;
        }
        *has = TRUE;
        return S_OK;
    }

private:
    virtual ~StateServer() = default;

    std::atomic<ULONG> refs_ = 1;
    const Control& control_;
    HWND window_;
};

Annotations::Annotations() = default;

Annotations::~Annotations() {
    if (!services_)
        return;
    const MSAAPROPID all[] = {PROPID_ACC_ROLE, PROPID_ACC_STATE, kLiveSetting};
    for (HWND w : annotated_)
        services_->ClearHwndProps(w, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, all,
                                  static_cast<int>(std::size(all)));
}

void Annotations::Ensure(const std::vector<std::pair<const Control*, HWND>>& controls) {
    if (tried_)
        return;
    tried_ = true;
    com_.emplace();
    void* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, &services)) ||
        !services)
        return; // the system's objects say what the windows say, and no more
    services_.reset(static_cast<IAccPropServices*>(services));
    for (const auto& [c, w] : controls) {
        const Control::Init& s = c->Settings();
        if (!s.checkedTag.empty()) {
            const MSAAPROPID dynamic[] = {PROPID_ACC_ROLE, PROPID_ACC_STATE};
            auto* server = new (std::nothrow) StateServer(*c, w);
            if (!server)
                continue;
            if (SUCCEEDED(services_->SetHwndPropServer(
                    w, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, dynamic,
                    static_cast<int>(std::size(dynamic)), server, ANNO_THIS)))
                annotated_.push_back(w);
            server->Release(); // the services hold it as long as they need it
        }
        if (s.liveRegion) {
            VARIANT polite{};
            polite.vt = VT_I4;
            polite.lVal = kPolite;
            if (SUCCEEDED(services_->SetHwndProp(w, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                                 kLiveSetting, polite)))
                annotated_.push_back(w);
        }
    }
}

} // namespace vqx::win32
