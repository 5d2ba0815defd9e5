// Drawing of the custom parts: shapes, labels, buttons and the option picture. Each is drawn
// into an off-screen bitmap first and copied in one step, so nothing flickers when a caption
// changes during a run.
#include "window/Look.h"
#include "window/Palette.h"
#include "window/win32/MainWindow.h"

#include "platform/win32/WinText.h"

#include <algorithm>
#include <optional>
#include <string>

namespace vqx::win32 {
namespace {

// A 32-bit bitmap to draw a control in before it goes to the screen. A DIB section rather than a
// bitmap compatible with the window's DC: under Wine, making and selecting one of those asks the
// server about the displays each time.
HBITMAP DrawingBitmap(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// An off-screen copy of a rectangle of a DC, copied back when it goes.
class OffScreen {
public:
    OffScreen(HDC target, const RECT& area)
        : target_(target), area_(area), dc_(CreateCompatibleDC(target)),
          bitmap_(DrawingBitmap(Width(), Height())) {
        bitmapIn_.emplace(dc_.get(), bitmap_.get());
        SetViewportOrgEx(dc_.get(), -area.left, -area.top, nullptr);
    }
    ~OffScreen() {
        SetViewportOrgEx(dc_.get(), 0, 0, nullptr);
        BitBlt(target_, area_.left, area_.top, Width(), Height(), dc_.get(), 0, 0, SRCCOPY);
    }
    OffScreen(const OffScreen&) = delete;
    OffScreen& operator=(const OffScreen&) = delete;
    HDC dc() const { return dc_.get(); }

private:
    int Width() const { return area_.right - area_.left; }
    int Height() const { return area_.bottom - area_.top; }
    HDC target_;
    RECT area_;
    MemoryDc dc_;
    Bitmap bitmap_;
    std::optional<Selection> bitmapIn_; // goes first: the bitmap leaves the DC before either goes
};

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

bool Intersects(const Control& a, const Control& b) {
    return a.Left() < b.Left() + b.Width() && b.Left() < a.Left() + a.Width() &&
           a.Top() < b.Top() + b.Height() && b.Top() < a.Top() + a.Height();
}

} // namespace

// What shows through a transparent control: its container's background and the shapes that
// lie beneath it there, drawn in their place.
void MainWindow::PaintBackdrop(HDC dc, const Control& c, const RECT& area) {
    const Control* container = c.Container();
    Fill(dc, area, container ? container->BackColor() : palette::kWindowBack);
    const auto& all = app_.Controls();
    for (auto it = all.rbegin(); it != all.rend(); ++it) { // bottom of the stack first
        const Control& o = **it;
        if (o.Order() <= c.Order() || o.Container() != container ||
            o.Kind() != ControlKind::Shape || !o.Visible() || !Intersects(o, c))
            continue;
        PaintShape(dc, o, area.left + Px(o.Left()) - Px(c.Left()),
                   area.top + Px(o.Top()) - Px(c.Top()));
    }
}

// A shape with its top-left corner at (x, y) of the DC.
void MainWindow::PaintShape(HDC dc, const Control& shape, int x, int y) {
    RECT r{x, y, x + Px(shape.Left() + shape.Width()) - Px(shape.Left()),
           y + Px(shape.Top() + shape.Height()) - Px(shape.Top())};
    if (shape.Settings().fill != Fill::Transparent)
        Fill(dc, r, shape.BackColor());
    if (shape.Settings().fill == Fill::Hatched) {
        // Upward diagonal lines in the hatch colour over the back colour.
        const int step = std::max(4, MulDiv(look::kHatchSpacing, static_cast<int>(dpi_), 96));
        const Region clip(CreateRectRgnIndirect(&r));
        const Pen pen(CreatePen(PS_SOLID, 1, palette::kTitleHatch));
        const SavedDc saved(dc);
        ExtSelectClipRgn(dc, clip.get(), RGN_AND);
        const Selection penIn(dc, pen.get());
        const int h = r.bottom - r.top;
        for (int k = r.left; k < r.right + h; k += step) {
            MoveToEx(dc, k, r.top, nullptr);
            LineTo(dc, k - h, r.bottom);
        }
    }
    Frame(dc, r, shape.BorderColor());
}

void MainWindow::PaintShapeWindow(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (Control* c = ControlOf(hwnd)) {
        RECT r;
        GetClientRect(hwnd, &r);
        OffScreen off(dc, r);
        if (c->Settings().fill == Fill::Transparent)
            PaintBackdrop(off.dc(), *c, r);
        PaintShape(off.dc(), *c, 0, 0);
    }
    EndPaint(hwnd, &ps);
}

void MainWindow::PaintLabel(HDC dc, const Control& c, const RECT& area) {
    if (c.Settings().fill == Fill::Transparent)
        PaintBackdrop(dc, c, area);
    else
        Fill(dc, area, c.BackColor());
    std::wstring text = ToWide(c.Caption());
    const int length = static_cast<int>(text.size());
    // A caption wider than its label wraps at word boundaries, as a standard label does, in
    // the label's own font. Only what then still does not fit is drawn smaller: a word wider
    // than the label, or more lines than its height holds. The last line may lose the part
    // below its baseline, where capitals have nothing, as it would in a standard label.
    const UINT how =
        DT_NOPREFIX | DT_WORDBREAK | (c.Settings().align == Align::Center ? DT_CENTER : DT_LEFT);
    auto fits = [&](int percent) {
        const Selection font(dc, FontFor(c, percent));
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        RECT need = area;
        DrawTextW(dc, text.c_str(), length, &need, how | DT_CALCRECT);
        return need.right - need.left <= area.right - area.left &&
               need.bottom - tm.tmDescent <= area.bottom;
    };
    int percent = 100;
    while (percent > 50 && !fits(percent))
        percent -= 5;
    const Selection font(dc, FontFor(c, percent));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, c.ForeColor());
    RECT r = area;
    DrawTextW(dc, text.c_str(), length, &r, how);
}

void MainWindow::PaintButton(HDC dc, const Control& c, const RECT& area, UINT state) {
    look::ButtonState s;
    s.hover = hovered_.count(&c) > 0;
    s.pressed = (state & ODS_SELECTED) != 0;
    s.enabled = (state & ODS_DISABLED) == 0;
    s.focused = (state & ODS_FOCUS) != 0;
    s.focusCue = keyboardCues_;
    const look::ButtonLook l = look::Button(c.Settings().button, s);
    Fill(dc, area, l.face);
    const std::string& picture = c.Settings().button.picn;
    if (!picture.empty()) {
        const int size = MulDiv(24, static_cast<int>(dpi_), 96);
        if (HICON icon = pictures_.Icon(picture, size))
            DrawIconEx(dc, (area.left + area.right - size) / 2, (area.top + area.bottom - size) / 2,
                       icon, size, size, 0, nullptr, DI_NORMAL);
    }
    std::wstring text = ToWide(c.Caption());
    if (!text.empty()) {
        const Selection font(dc, FontFor(c));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, l.text);
        RECT r = area;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (l.focusFrame) {
        const int inset = MulDiv(3, static_cast<int>(dpi_), 96);
        RECT f{area.left + inset, area.top + inset, area.right - inset, area.bottom - inset};
        Frame(dc, f, l.focusColour);
    }
}

void MainWindow::PaintImage(HDC dc, const Control& c, const RECT& area, bool focused) {
    PaintBackdrop(dc, c, area);
    const int size = Px(480);
    if (HICON icon = pictures_.Icon(c.Picture(), size))
        DrawIconEx(dc, area.left, area.top, icon, size, size, 0, nullptr, DI_NORMAL);
    if (focused && keyboardCues_)
        Frame(dc, area, palette::kFocusFrame);
}

RECT MainWindow::ProgressLineRect() const {
    using namespace look;
    return {Px(kLineLeft), Px(kLineTop), Px(kLineLeft + kLineWidth), Px(kLineTop + kLineHeight)};
}

void MainWindow::PaintProgressPanel(HDC dc, const Control& panel, const RECT& area) {
    const SavedDc saved(dc);
    if (line_.shown) {
        const RECT line = ProgressLineRect();
        RECT done = line;
        done.right = line.left + MulDiv(line.right - line.left, line_.share, 1000);
        RECT rest = line;
        rest.left = done.right;
        Fill(dc, done, palette::kProgressDone);
        Fill(dc, rest, palette::kProgressTrack);
        // The background around it, never over it: the line does not flicker as it grows.
        ExcludeClipRect(dc, line.left, line.top, line.right, line.bottom);
    }
    Fill(dc, area, panel.BackColor());
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    Control* c = ControlOf(item.hwndItem);
    if (!c)
        return;
    OffScreen off(item.hDC, item.rcItem);
    switch (c->Kind()) {
    case ControlKind::Button:
        PaintButton(off.dc(), *c, item.rcItem, item.itemState);
        break;
    case ControlKind::ImageBox:
        PaintImage(off.dc(), *c, item.rcItem, GetFocus() == item.hwndItem);
        break;
    default:
        PaintLabel(off.dc(), *c, item.rcItem);
        break;
    }
}

} // namespace vqx::win32
