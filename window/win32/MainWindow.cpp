#include "window/win32/MainWindow.h"

#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinText.h"
#include "resources/ResourceIds.h"
#include "window/Palette.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <exception>
#include <iterator>
#include <vector>

namespace vqx::win32 {
namespace {

// EVENT_OBJECT_LIVEREGIONCHANGED (Windows 8), which older SDK headers lack.
constexpr DWORD kLiveRegionChanged = 0x8019;

constexpr wchar_t kWindowClass[] = L"APLwAPP";
constexpr wchar_t kFrameClass[] = L"APLwAPP.Frame";
constexpr wchar_t kShapeClass[] = L"APLwAPP.Shape";
constexpr UINT kUnloadMessage = WM_APP + 1;
constexpr UINT kFailureMessage = WM_APP + 2; // lParam: the text to show

MainWindow* Self(HWND hwnd) {
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Mouse buttons and shift keys in the form the model's events take them.
int ButtonState(WPARAM keys) {
    return ((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) |
           ((keys & MK_MBUTTON) ? 4 : 0);
}

int ShiftState(WPARAM keys) {
    return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
           ((GetKeyState(VK_MENU) < 0) ? 4 : 0);
}

// The DPI of a window; per monitor where the system knows it (Windows 10 on), else the
// system's.
UINT DpiOf(HWND hwnd) {
    static const auto getDpiForWindow =
        Entry<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow && hwnd)
        if (UINT dpi = getDpiForWindow(hwnd))
            return dpi;
    const WindowDc screen(nullptr);
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
    return dpi ? dpi : 96;
}

// A WM_NCPAINT for a window with nothing outside its client area (no border, caption or scroll
// bar), which none of the controls has: the system's painting of that area would only fetch and
// release a device context, a dozen round trips to the server each under Wine, for every control
// shown. The window answers it itself.
bool NothingOutsideToPaint(HWND hwnd, UINT msg) {
    if (msg != WM_NCPAINT)
        return false;
    const auto style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    const auto exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    return (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_HSCROLL | WS_VSCROLL)) == 0 &&
           (exStyle &
            (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME)) == 0;
}

// The Open Sans faces the program carries, for this process only.
// They stay installed while the returned handles live.
std::vector<FontMemory> LoadCarriedFonts(HINSTANCE instance) {
    std::vector<FontMemory> fonts;
    for (int id : {IDR_FONT_REGULAR, IDR_FONT_LIGHT, IDR_FONT_SEMIBOLD}) {
        HRSRC res = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_RCDATA);
        HGLOBAL data = res ? LoadResource(instance, res) : nullptr;
        void* bytes = data ? LockResource(data) : nullptr;
        if (!bytes)
            continue;
        DWORD installed = 0;
        if (HANDLE added =
                AddFontMemResourceEx(bytes, SizeofResource(instance, res), nullptr, &installed))
            fonts.emplace_back(added);
    }
    return fonts;
}

} // namespace

MainWindow::MainWindow(APLwAPP& app, Win32Shell& shell, HINSTANCE instance)
    : app_(app), shell_(shell), instance_(instance) {}

MainWindow::~MainWindow() = default;

bool MainWindow::Create() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance_, VQX_RESOURCE_NAME(IDI_ICONOAPL));

    wc.lpfnWndProc = WindowProc;
    wc.lpszClassName = kWindowClass;
    wc.hbrBackground = nullptr; // painted in WM_ERASEBKGND with the model's colour
    if (!RegisterClassExW(&wc))
        return false;
    wc.hIcon = nullptr;
    wc.lpfnWndProc = FrameProc;
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassExW(&wc))
        return false;
    wc.lpfnWndProc = ShapeProc;
    wc.lpszClassName = kShapeClass;
    if (!RegisterClassExW(&wc))
        return false;

    // Placed on the primary monitor at its DPI; WM_DPICHANGED follows any later move.
    dpi_ = DpiOf(nullptr);
    const int w = Px(APLwAPP::kWidth), h = Px(APLwAPP::kHeight);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    hwnd_ = CreateWindowExW(0, kWindowClass, ToWide(APLwAPP::kTitle).c_str(),
                            WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, x, y, w, h,
                            nullptr, nullptr, instance_, this);
    if (!hwnd_)
        return false;
    if (UINT actual = DpiOf(hwnd_); actual != dpi_) {
        dpi_ = actual;
        const int aw = Px(APLwAPP::kWidth), ah = Px(APLwAPP::kHeight);
        SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - aw) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - ah) / 2, aw, ah,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    taskbar_.Attach(hwnd_);
    shell_.SetOwner(hwnd_);
    shell_.SetPreTranslate([this](MSG& msg) { return PreTranslate(msg); });
    // A window with a control missing is never shown: the caller reports it instead.
    for (const auto& c : app_.Controls())
        if (!CreateControl(*c))
            return false;
    ApplyZOrder();
    app_.AttachHost(this);
    return true;
}

RECT MainWindow::PixelRect(const Control& c) const {
    RECT r{Px(c.Left()), Px(c.Top()), Px(c.Left() + c.Width()), Px(c.Top() + c.Height())};
    return r;
}

bool MainWindow::CreateControl(Control& c) {
    if (c.Kind() == ControlKind::ImageList)
        return true; // a store of pictures, never shown
    HWND parent = c.Container() ? WindowOf(*c.Container()) : hwnd_;
    const auto& s = c.Settings();
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.Visible() ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    std::wstring text = WindowText(c);
    switch (c.Kind()) {
    case ControlKind::Frame:
        cls = kFrameClass;
        style |= WS_CLIPCHILDREN;
        exStyle |= WS_EX_CONTROLPARENT;
        break;
    case ControlKind::TextBox:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | (s.locked ? ES_READONLY : 0);
        break;
    case ControlKind::Button:
        cls = L"BUTTON";
        style |= BS_OWNERDRAW;
        break;
    case ControlKind::ImageBox:
        // With the focus, Space and Enter click it as they would a check box.
        style |= SS_OWNERDRAW | SS_NOTIFY;
        break;
    case ControlKind::Label:
        // Drawn by the window; the text stays the window text, for screen readers.
        style |= SS_OWNERDRAW | SS_NOTIFY | SS_NOPREFIX;
        break;
    case ControlKind::Shape:
        cls = kShapeClass;
        break;
    default:
        break;
    }
    if (s.takesFocus)
        style |= WS_TABSTOP;
    RECT r = PixelRect(c);
    HWND child = CreateWindowExW(
        exStyle, cls, text.c_str(), style, r.left, r.top, r.right - r.left, r.bottom - r.top,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.Order())), instance_, nullptr);
    if (!child)
        return false;
    SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    windows_[&c] = child;
    controls_[child] = &c;
    if (s.progressLine)
        progressPanel_ = child;
    if (!s.font.face.empty())
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c)), FALSE);
    if (c.Kind() == ControlKind::TextBox && s.maxLength > 0)
        SendMessageW(child, EM_SETLIMITTEXT, static_cast<WPARAM>(s.maxLength), 0);
    if (c.Kind() == ControlKind::TextBox)
        SendMessageW(child, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    if (c.Kind() != ControlKind::Frame && c.Kind() != ControlKind::Shape) {
        // The control's procedure is replaced directly rather than through the common controls'
        // subclassing, which looks its chain up in a window property (a round trip to the
        // server under Wine) three times for every message.
        const auto own =
            SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ChildProc));
        if (!own)
            return false;
        controlProcs_[child] = reinterpret_cast<WNDPROC>(own);
    }
    return true;
}

// Places every control and gives it its font for the current DPI. The fonts of the old DPI go
// only once no control uses them any more.
void MainWindow::LayOut() {
    const std::map<FontKey, Font> old = std::move(fonts_);
    fonts_.clear();
    for (const auto& c : app_.Controls()) {
        HWND w = WindowOf(*c);
        if (!w)
            continue;
        RECT r = PixelRect(*c);
        SetWindowPos(w, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (!c->Settings().font.face.empty())
            SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(*c)), FALSE);
    }
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, Px(APLwAPP::kWidth),
                 Px(APLwAPP::kHeight), SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut();
}

// Within each container the first control created lies on top, except that the controls the
// keyboard reaches take their places among themselves in tab-index order: the system's dialog
// navigation walks the z-order. None of them overlaps another, so nothing looks different.
void MainWindow::ApplyZOrder() {
    std::map<HWND, std::vector<HWND>> stacks; // per parent, top first
    std::map<HWND, std::vector<const Control*>> stops;
    for (const auto& c : app_.Controls()) {
        HWND w = WindowOf(*c);
        if (!w)
            continue;
        HWND parent = GetParent(w);
        stacks[parent].push_back(w);
        if (GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP)
            stops[parent].push_back(c.get());
    }
    for (auto& [parent, list] : stops) {
        std::vector<std::size_t> slots;
        auto& stack = stacks[parent];
        for (std::size_t i = 0; i < stack.size(); ++i)
            if (GetWindowLongPtrW(stack[i], GWL_STYLE) & WS_TABSTOP)
                slots.push_back(i);
        // No tab index (the option's picture): after the others of its container.
        auto key = [](const Control* c) { return c->TabIndex() < 0 ? 1000 : c->TabIndex(); };
        std::stable_sort(list.begin(), list.end(),
                         [&](const Control* a, const Control* b) { return key(a) < key(b); });
        for (std::size_t i = 0; i < slots.size(); ++i)
            stack[slots[i]] = WindowOf(*list[i]);
    }
    // A label that names a field stands just before it: Windows names an edit control after the
    // label before it. Labels take no focus, so the tab order stays.
    for (const auto& c : app_.Controls()) {
        const Control* field = c->Settings().labelFor;
        HWND label = WindowOf(*c);
        if (!field || !label || GetParent(label) != GetParent(WindowOf(*field)))
            continue;
        auto& stack = stacks[GetParent(label)];
        stack.erase(std::find(stack.begin(), stack.end(), label));
        stack.insert(std::find(stack.begin(), stack.end(), WindowOf(*field)), label);
    }
    for (auto& [parent, stack] : stacks) {
        HWND after = HWND_TOP;
        for (HWND w : stack) {
            // Most are in place already, in the order they were made, and are not moved: the
            // first of a stack has nothing before it (HWND_TOP is null), each other the one above.
            if (GetWindow(w, GW_HWNDPREV) != after)
                SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = w;
        }
    }
}

std::wstring MainWindow::WindowText(const Control& c) {
    const std::string& name = c.Settings().accessibleName;
    return ToWide(name.empty() ? c.Caption() : name);
}

void MainWindow::OnGetObject() {
    std::vector<std::pair<const Control*, HWND>> controls;
    for (const auto& [c, w] : windows_)
        controls.emplace_back(c, w);
    annotations_.Ensure(controls);
}

HFONT MainWindow::FontFor(const Control& c, int percent) {
    auto it = fonts_.find({&c, percent});
    if (it != fonts_.end())
        return it->second.get();
    const FontSpec& f = c.Settings().font;
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(f.points * dpi_ / 72.0 * percent / 100.0));
    lf.lfWeight = f.weight;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, ToWide(f.face).c_str(), LF_FACESIZE);
    return fonts_.emplace(FontKey{&c, percent}, CreateFontIndirectW(&lf)).first->second.get();
}

HBRUSH MainWindow::SolidBrush(COLORREF colour) {
    auto it = brushes_.find(colour);
    if (it == brushes_.end())
        it = brushes_.emplace(colour, CreateSolidBrush(colour)).first;
    return it->second.get();
}

Control* MainWindow::ControlOf(HWND child) const {
    auto it = controls_.find(child);
    return it == controls_.end() ? nullptr : it->second;
}

HWND MainWindow::WindowOf(const Control& c) const {
    auto it = windows_.find(&c);
    return it == windows_.end() ? nullptr : it->second;
}

void MainWindow::Changed(const Control& c, Prop what) {
    HWND w = WindowOf(c);
    if (!w)
        return;
    switch (what) {
    case Prop::Caption:
        SetWindowTextW(w, WindowText(c).c_str());
        InvalidateRect(w, nullptr, FALSE);
        // Screen readers follow a label's text by these; a live region's is spoken as it comes.
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, w, OBJID_CLIENT, CHILDID_SELF);
        if (c.Settings().liveRegion)
            NotifyWinEvent(kLiveRegionChanged, w, OBJID_CLIENT, CHILDID_SELF);
        break;
    case Prop::Tag:
        if (!c.Settings().checkedTag.empty())
            NotifyWinEvent(EVENT_OBJECT_STATECHANGE, w, OBJID_CLIENT, CHILDID_SELF);
        break;
    case Prop::ForeColor:
    case Prop::BorderColor:
        InvalidateRect(w, nullptr, FALSE);
        break;
    case Prop::Enabled:
        LeaveIfFocused(w, c.Enabled());
        EnableWindow(w, c.Enabled());
        if (!c.Settings().checkedTag.empty())
            NotifyWinEvent(EVENT_OBJECT_STATECHANGE, w, OBJID_CLIENT, CHILDID_SELF);
        break;
    case Prop::Visible:
        LeaveIfFocused(w, c.Visible());
        ShowWindow(w, c.Visible() ? SW_SHOWNA : SW_HIDE);
        break;
    case Prop::Picture:
        InvalidateRect(w, nullptr, FALSE);
        break;
    case Prop::Selection:
        SendMessageW(w, EM_SETSEL, static_cast<WPARAM>(c.SelStart()),
                     static_cast<LPARAM>(c.SelStart() + c.SelLength()));
        break;
    case Prop::Geometry: {
        RECT r = PixelRect(c);
        MoveWindow(w, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        break;
    }
    case Prop::MousePointer:
        break; // read at WM_SETCURSOR
    }
}

// A control that hides or goes out of use gives up the keyboard focus, with everything inside
// it: a hidden button that kept the focus would still take Space and Enter.
void MainWindow::LeaveIfFocused(HWND w, bool stays) {
    HWND focus = GetFocus();
    if (!stays && focus && (focus == w || IsChild(w, focus)))
        SetFocus(hwnd_);
}

void MainWindow::RepaintNow(const Control& c) {
    if (HWND w = WindowOf(c))
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void MainWindow::Focus(const Control& c) {
    if (HWND w = WindowOf(c))
        SetFocus(w);
}

// The request may come from inside a control's own message (a click): the window goes once
// that message has been handled, never under the control's feet.
void MainWindow::Destroy() {
    if (hwnd_)
        PostMessageW(hwnd_, kUnloadMessage, 0, 0);
}

void MainWindow::ShowNow() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void MainWindow::Hide() {
    if (hwnd_)
        ShowWindow(hwnd_, SW_HIDE);
}

void MainWindow::ShowProgressLine(const ProgressLine& line) {
    line_ = line;
    if (progressPanel_) {
        const RECT r = ProgressLineRect();
        InvalidateRect(progressPanel_, &r, TRUE);
    }
}

void MainWindow::DragByCaption() {
    // Anchored where the button went down, so that the window follows the pointer by the whole
    // way it has moved, also when moves came faster than they were seen.
    POINT p = pressPoint_;
    if (!pressed_) {
        const DWORD at = GetMessagePos();
        p = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    }
    ReleaseCapture();
    SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));
    pressed_ = nullptr; // the move has ended with the button's release
}

// The keyboard goes through the system's dialog navigation, which moves the focus in z-order
// (see ApplyZOrder) and skips hidden and disabled controls. Enter presses the focused button
// (or sets the option) and Escape does nothing, here rather than there: the navigation would
// send them on as the commands of dialog buttons this window does not have.
bool MainWindow::PreTranslate(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)))
        return false;
    if (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) {
        const bool down = msg.message == WM_KEYDOWN;
        if (msg.wParam == (down ? VK_RETURN : L'\r') || msg.wParam == (down ? VK_ESCAPE : 27)) {
            HWND focus = GetFocus();
            if (down && msg.wParam == VK_RETURN && focus && IsWindowVisible(focus) &&
                IsWindowEnabled(focus)) {
                const Control* c = ControlOf(focus);
                if (c && c->Kind() == ControlKind::Button)
                    SendMessageW(focus, BM_CLICK, 0, 0);
                else if (c && c->Kind() == ControlKind::ImageBox)
                    c->RaiseClick();
            }
            return true;
        }
        if (down && msg.wParam == VK_TAB)
            keyboardCues_ = true;
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void MainWindow::OnClose() {
    if (app_.QueryClose())
        Destroy();
}

LRESULT MainWindow::OnCommand(HWND child, int code) {
    Control* c = ControlOf(child);
    if (!c)
        return 0;
    switch (c->Kind()) {
    case ControlKind::Button:
        // A quick second click arrives as a double click: it is a click all the same.
        if (code == BN_CLICKED || code == BN_DOUBLECLICKED)
            c->RaiseClick();
        break;
    case ControlKind::TextBox:
        if (code == EN_CHANGE) {
            int n = GetWindowTextLengthW(child);
            std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
            GetWindowTextW(child, text.data(), n + 1);
            text.resize(static_cast<std::size_t>(n));
            c->TextEditedByUser(FromWide(text));
        } else if (code == EN_SETFOCUS) {
            c->RaiseGotFocus();
        } else if (code == EN_KILLFOCUS) {
            c->RaiseLostFocus();
        }
        break;
    case ControlKind::ImageBox:
    case ControlKind::Label:
        if (code == STN_CLICKED || code == STN_DBLCLK)
            c->RaiseClick();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT MainWindow::OnCtlColor(HDC dc, HWND child) {
    Control* c = ControlOf(child);
    if (!c)
        return 0;
    COLORREF back = c->BackColor();
    SetTextColor(dc, c->ForeColor());
    SetBkColor(dc, back);
    return reinterpret_cast<LRESULT>(SolidBrush(back));
}

bool MainWindow::OnSetCursor(HWND over) {
    if (shell_.Pointer() == ptr::Hourglass) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return true;
    }
    Control* c = ControlOf(over);
    if (c && c->MousePointer() == ptr::Custom && c->MouseIcon() == "curHand") {
        SetCursor(pictures_.Hand(GetSystemMetrics(SM_CXCURSOR)));
        return true;
    }
    return false;
}

LRESULT MainWindow::WindowProcBody(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    MainWindow* self = Self(hwnd);
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == TaskbarButton::CreatedMessage()) {
        self->taskbar_.Created();
        return 0;
    }
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, self->SolidBrush(palette::kWindowBack));
        return 1;
    }
    case WM_GETOBJECT:
        self->OnGetObject();
        break;
    case WM_COMMAND:
        return self->OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return self->OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        if (self->OnSetCursor(reinterpret_cast<HWND>(wParam)))
            return TRUE;
        break;
    case WM_DRAWITEM:
        self->OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DPICHANGED:
        self->OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        self->OnClose();
        return 0;
    case kUnloadMessage: {
        int cancel = 0;
        self->app_.Form_Unload(cancel);
        if (!cancel)
            DestroyWindow(hwnd);
        return 0;
    }
    case kFailureMessage:
        MessageBoxW(hwnd, reinterpret_cast<const wchar_t*>(lParam), ToWide(APLwAPP::kTitle).c_str(),
                    MB_OK | MB_ICONERROR);
        return 0;
    case WM_DESTROY:
        self->hwnd_ = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Panels pass their children's notifications on to the window, where the handlers live.
LRESULT MainWindow::FrameProcBody(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (NothingOutsideToPaint(hwnd, msg))
        return 0;
    MainWindow* self = Self(hwnd);
    if (self) {
        switch (msg) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_DRAWITEM:
        case WM_SETCURSOR:
            return SendMessageW(self->hwnd_, msg, wParam, lParam);
        case WM_ERASEBKGND:
            if (Control* c = self->ControlOf(hwnd)) {
                RECT r;
                GetClientRect(hwnd, &r);
                if (c->Settings().progressLine)
                    self->PaintProgressPanel(reinterpret_cast<HDC>(wParam), *c, r);
                else
                    FillRect(reinterpret_cast<HDC>(wParam), &r, self->SolidBrush(c->BackColor()));
                return 1;
            }
            break;
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT MainWindow::ShapeProcBody(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MainWindow* self = Self(hwnd);
    if (self && msg == WM_PAINT) {
        self->PaintShapeWindow(hwnd);
        return 0;
    }
    if (msg == WM_ERASEBKGND)
        return 1;
    if (NothingOutsideToPaint(hwnd, msg))
        return 0;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// What the system's child controls do not tell their parent: mouse moves (to the controls that
// handle them, and as hover over the buttons), where the left button went down, focus changes
// and Space on the option picture. The controls' own procedures do the rest.
LRESULT MainWindow::ChildProcBody(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MainWindow* self = Self(hwnd); // set before ChildProc was put in place
    const auto own = self->controlProcs_.find(hwnd);
    if (own == self->controlProcs_.end())
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (NothingOutsideToPaint(hwnd, msg))
        return 0;
    const Control* c = self->ControlOf(hwnd);
    if (!c)
        return CallWindowProcW(own->second, hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_GETOBJECT:
        self->OnGetObject();
        break;
    case WM_MOUSEMOVE:
        if (c->HasMouseMove()) {
            self->OnMouseMove(hwnd, *c, wParam, lParam);
            return 0;
        }
        if (c->Kind() == ControlKind::Button && !self->hovered_.count(c)) {
            self->hovered_.insert(c);
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&tme);
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        if (self->pressed_ == hwnd)
            self->pressed_ = nullptr;
        if (self->hovered_.erase(c))
            InvalidateRect(hwnd, nullptr, FALSE);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        self->keyboardCues_ = false;
        self->pressed_ = hwnd;
        self->pressPoint_ = {static_cast<short>(LOWORD(lParam)),
                             static_cast<short>(HIWORD(lParam))};
        ClientToScreen(hwnd, &self->pressPoint_);
        break;
    case WM_LBUTTONUP:
        self->pressed_ = nullptr;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (c->Kind() == ControlKind::ImageBox)
            InvalidateRect(hwnd, nullptr, FALSE);
        break;
    case WM_KEYDOWN:
        // Space acts on the option's picture as on a check box.
        if (wParam == VK_SPACE && c->Kind() == ControlKind::ImageBox && IsWindowVisible(hwnd) &&
            IsWindowEnabled(hwnd)) {
            c->RaiseClick();
            return 0;
        }
        break;
    case WM_NCDESTROY: {
        const WNDPROC last = own->second;
        self->controlProcs_.erase(own);
        return CallWindowProcW(last, hwnd, msg, wParam, lParam);
    }
    }
    return CallWindowProcW(own->second, hwnd, msg, wParam, lParam);
}

void MainWindow::OnMouseMove(HWND child, const Control& c, WPARAM keys, LPARAM at) {
    // The left button counts only for a press that began on this control, as when the press
    // captures the mouse for the control under it.
    const WPARAM held = keys & MK_LBUTTON;
    if (pressed_ != child)
        keys &= ~WPARAM{MK_LBUTTON};
    if (!held)
        pressed_ = nullptr;
    const float x = static_cast<short>(LOWORD(at)) * 1440.0f / dpi_;
    const float y = static_cast<short>(HIWORD(at)) * 1440.0f / dpi_;
    c.RaiseMouseMove(ButtonState(keys), ShiftState(keys), x, y);
}

// No exception may cross into the system's code that called a window procedure: the message
// counts as handled and the user is told once it has been.
LRESULT MainWindow::Failed(HWND hwnd, const char* what) noexcept {
    static wchar_t text[512];
    constexpr wchar_t head[] = L"Ha ocurrido un error interno del programa.\r\n\r\n";
    constexpr std::size_t n = std::size(head) - 1;
    std::wmemcpy(text, head, n);
    if (MultiByteToWideChar(CP_UTF8, 0, what, -1, text + n,
                            static_cast<int>(std::size(text) - n)) <= 0)
        text[n] = L'\0';
    if (HWND top = GetAncestor(hwnd, GA_ROOT))
        PostMessageW(top, kFailureMessage, 0, reinterpret_cast<LPARAM>(text));
    return 0;
}

#define VQX_GUARDED(call)                                                                          \
    try {                                                                                          \
        return call;                                                                               \
    } catch (const std::exception& e) {                                                            \
        return Failed(hwnd, e.what());                                                             \
    } catch (...) {                                                                                \
        return Failed(hwnd, "?");                                                                  \
    }

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    VQX_GUARDED(WindowProcBody(hwnd, msg, wParam, lParam));
}

LRESULT CALLBACK MainWindow::FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    VQX_GUARDED(FrameProcBody(hwnd, msg, wParam, lParam));
}

LRESULT CALLBACK MainWindow::ShapeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    VQX_GUARDED(ShapeProcBody(hwnd, msg, wParam, lParam));
}

LRESULT CALLBACK MainWindow::ChildProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    VQX_GUARDED(ChildProcBody(hwnd, msg, wParam, lParam));
}

#undef VQX_GUARDED

int MainWindow::Run() {
    if (!Create()) {
        const DWORD error = GetLastError();
        if (hwnd_)
            DestroyWindow(hwnd_);
        const std::wstring text = L"No se pudo crear la ventana del programa.\r\n\r\n" +
                                  ToWide(Win32Error(error, "").description);
        MessageBoxW(nullptr, text.c_str(), ToWide(APLwAPP::kTitle).c_str(), MB_OK | MB_ICONERROR);
        return 1;
    }
    app_.Form_Load();
    if (hwnd_ && !IsWindowVisible(hwnd_))
        ShowWindow(hwnd_, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunProgram(HINSTANCE instance) {
    const std::vector<FontMemory> fonts = LoadCarriedFonts(instance);
    Win32Shell shell;
    APLwAPP app(
        []() -> Result<std::unique_ptr<FileSystem>> {
            return std::unique_ptr<FileSystem>(new Win32FileSystem);
        },
        shell);
    MainWindow window(app, shell, instance);
    return window.Run();
}

} // namespace vqx::win32
