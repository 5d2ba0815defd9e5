// The Win32 realisation of the window model: every control a real child window, whose system
// notifications become the control's own events, and model changes applied to the child
// windows. It knows the controls by their kind and settings only, never by name.
#pragma once

#include "platform/win32/Win32Shell.h"
#include "platform/win32/WinHandles.h"
#include "platform/win32/WinInclude.h"
#include "window/APLwAPP.h"
#include "window/win32/Annotations.h"
#include "window/win32/Pictures.h"
#include "window/win32/TaskbarButton.h"

#include <map>
#include <set>
#include <vector>

namespace vqx::win32 {

class MainWindow : public WindowHost {
public:
    MainWindow(APLwAPP& app, Win32Shell& shell, HINSTANCE instance);
    ~MainWindow() override;

    // Creates the window and its controls, runs the load step, shows the window and runs the
    // message loop. Returns the program's exit code.
    int Run();

    // WindowHost
    void Changed(const Control& control, Prop what) override;
    void RepaintNow(const Control& control) override;
    void Focus(const Control& control) override;
    void Destroy() override;
    void ShowNow() override;
    void Hide() override;
    std::uintptr_t Handle() const override { return reinterpret_cast<std::uintptr_t>(hwnd_); }
    void DragByCaption() override;
    void ShowProgressLine(const ProgressLine& line) override;
    void ShowTaskbarProgress(const TaskbarProgress& progress) override { taskbar_.Show(progress); }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK FrameProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ShapeProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ChildProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT WindowProcBody(HWND, UINT, WPARAM, LPARAM);
    static LRESULT FrameProcBody(HWND, UINT, WPARAM, LPARAM);
    static LRESULT ShapeProcBody(HWND, UINT, WPARAM, LPARAM);
    static LRESULT ChildProcBody(HWND, UINT, WPARAM, LPARAM);
    static LRESULT Failed(HWND hwnd, const char* what) noexcept;

    bool Create();
    bool CreateControl(Control& c);
    void ApplyZOrder();
    void LayOut(); // sizes, fonts and pictures for the current DPI
    RECT PixelRect(const Control& c) const;
    int Px(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), 1440); }
    HFONT FontFor(const Control& c, int percent = 100);
    HBRUSH SolidBrush(COLORREF colour);
    Control* ControlOf(HWND child) const;
    HWND WindowOf(const Control& c) const;
    // What a screen reader asks first: the windows are annotated then (Annotations).
    void OnGetObject();
    // The text a control's window carries: what a screen reader reads.
    static std::wstring WindowText(const Control& c);

    LRESULT OnCommand(HWND child, int code);
    // The mouse over a control that handles its moves (the title text, which drags the window).
    void OnMouseMove(HWND child, const Control& c, WPARAM keys, LPARAM at);
    LRESULT OnCtlColor(HDC dc, HWND child);
    bool OnSetCursor(HWND over);
    void OnClose();
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    bool PreTranslate(MSG& msg);
    void LeaveIfFocused(HWND w, bool stays);

    // Painting (MainWindowPaint.cpp). Custom parts are drawn off screen, then copied at once.
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    void PaintShapeWindow(HWND shape);
    void PaintBackdrop(HDC dc, const Control& c, const RECT& area);
    void PaintShape(HDC dc, const Control& shape, int x, int y);
    void PaintLabel(HDC dc, const Control& c, const RECT& area);
    void PaintButton(HDC dc, const Control& c, const RECT& area, UINT state);
    void PaintImage(HDC dc, const Control& c, const RECT& area, bool focused);
    // The status panel's background, with the progress line on it while that shows.
    void PaintProgressPanel(HDC dc, const Control& panel, const RECT& area);
    RECT ProgressLineRect() const; // in the status panel

    APLwAPP& app_;
    Win32Shell& shell_;
    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    std::map<const Control*, HWND> windows_;
    std::map<HWND, Control*> controls_;
    std::map<HWND, WNDPROC> controlProcs_; // the controls' own procedures, behind ChildProc
    HWND progressPanel_ = nullptr;         // the panel that shows the progress line
    using FontKey = std::pair<const Control*, int>; // the control and a percentage of its size
    std::map<FontKey, Font> fonts_;
    std::map<COLORREF, Brush> brushes_;
    std::set<const Control*> hovered_;
    bool keyboardCues_ = false; // focus cues show once the keyboard has moved the focus
    HWND pressed_ = nullptr;    // the child the left button went down on
    POINT pressPoint_{};        // where, on the screen
    Pictures pictures_;
    Annotations annotations_;
    ProgressLine line_;
    TaskbarButton taskbar_;
};

// Loads the fonts the program carries, privately, then creates the main window, runs its
// message loop and returns the program's exit code.
int RunProgram(HINSTANCE instance);

} // namespace vqx::win32
