// Drives the real program from another Windows process: lays out a data folder, starts the
// program there, finds and reads its windows, clicks and types like a user, answers its
// message boxes, reads pixels and closes it. Every wait polls a condition against a deadline.
#pragma once

#include "platform/win32/WinHandles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vqx::e2e {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// The usual deadline of a wait.
constexpr Ms kDeadline = 10s;

// Polls `done` until it holds or `deadline` passes; true when it held. Dispatches the calling
// thread's messages meanwhile (for windows of the driver itself).
bool WaitUntil(const std::function<bool()>& done, Ms deadline = kDeadline);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// The program under test: VQX_E2E_PROGRAM from the environment, else the one built with the
// driver. A Linux path (under Wine) is turned into its DOS form.
std::wstring ProgramPath();
std::wstring ProgramFileName(); // "Zorvantec UTL-RS.exe"

// What a fresh data folder holds besides the program.
struct Layout {
    struct File {
        std::wstring path; // relative to the data folder, "\" separators
        std::string bytes;
        bool hidden = false;
    };
    std::optional<std::string> database = std::string(64 * 1024, '\x5A'); // "VQX Datos.mdb"
    std::vector<std::wstring> folders;                                    // relative paths
    std::vector<File> files;                                              // parents made too
    std::optional<std::string> rsLog; // raw bytes of RS.log; none: no file

    // The data centre with its four sub-folders, a few files in each (some with accented
    // names), a hidden file and a nested folder, as an office would have it.
    static Layout Typical();
};

// A fresh folder under %TEMP% holding a copy of the program and a Layout; removed on
// destruction.
class DataFolder {
public:
    explicit DataFolder(const Layout& layout = Layout::Typical());
    ~DataFolder();
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    const std::wstring& Path() const { return path_; } // without a trailing "\"
    std::wstring Program() const;                      // full path of the copied program
    std::wstring Full(const std::wstring& relative) const;

    void WriteFile(const std::wstring& relative, const std::string& bytes, bool hidden = false);
    void MakeFolder(const std::wstring& relative); // with its parents
    bool IsFile(const std::wstring& relative) const;
    bool IsFolder(const std::wstring& relative) const;
    std::optional<std::string> ReadFile(const std::wstring& relative) const;
    // Names in a folder (files and folders, without "." and ".."), sorted.
    std::vector<std::wstring> List(const std::wstring& relative) const;

private:
    std::wstring path_;
};

// One child window of the program, as another process sees it.
struct Child {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring className;
    std::wstring text;
    RECT rect{}; // screen coordinates
    bool visible = false;
    bool enabled = false;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text; // the STATIC with id 0xFFFF
};

// Visible top-level windows of a process.
std::vector<HWND> TopLevelWindowsOf(DWORD pid);
// The descendant of `window` with that control id; null when there is none. Sends nothing to
// the window: answers at once, also while its program is busy.
HWND ChildById(HWND window, int id);
// Message boxes of a process: its visible top-level "#32770" windows.
std::vector<MessageBoxInfo> MessageBoxesOf(DWORD pid);
// Answers a box with a button id (IDOK, IDYES, IDNO...) and waits for the box to go.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId, Ms deadline = kDeadline);

// Reads a window's text across processes without blocking on a hung window.
std::optional<std::wstring> WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);

// Input as a user gives it (SendInput), to whatever window is in the foreground or under the
// mouse. Each returns false when the input was not taken.
bool BringToFront(HWND hwnd, Ms deadline = kDeadline);
// Moves the pointer as a user would (SendInput) and waits until it is there.
bool MovePointer(POINT screen, Ms deadline = kDeadline);
bool ClickAt(POINT screen); // left button; waits until the pointer is there
bool Type(const std::wstring& text);
bool PressKeys(const std::vector<WORD>& keys); // down in order, up in reverse: a chord

// ---- The desktop every case starts from --------------------------------------------------

// Where the pointer rests when a case begins: a corner of the screen that the program's centred
// window and its boxes never cover.
constexpr POINT kRestingPoint{2, 2};

// Brings the shared desktop (one screen, pointer, keyboard and Wine server for every case)
// into the state a case starts from, whatever ran before: no program of an earlier case still
// running, no mouse button or key held down, the pointer at kRestingPoint. A fatal failure
// when it cannot.
void ResetDesktop();

// Removes a LogPixels other than 96 from HKCU\Control Panel\Desktop: the cases at 144 dpi set
// it for the programs they start and put it back when they end, but a driver stopped half-way
// leaves it for every later one. A process reads its dpi when it starts: the driver's main
// calls this first.
void RemoveLeftoverDpi();

// Calls ResetDesktop before every case (the driver's main installs it): before the case's
// fixture starts the program, so the program's window never appears under a pointer that an
// earlier case left there.
class KnownDesktop : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { ResetDesktop(); }
};

// The colour on the screen at a point, as the user sees it.
COLORREF ScreenPixel(POINT screen);

// A picture of part of the screen: 24-bit rows, bottom row first, each padded to 4 bytes.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bottomUpBgr;
    bool Empty() const { return bottomUpBgr.empty(); }
    bool Uniform() const; // a single colour: nothing drawn yet
    bool operator==(const Image&) const = default;
};
// The header of a 24-bit DIB of that size, rows bottom-up, as Image and BMP files keep them.
BITMAPINFO Bgr24Info(int width, int height);
Image Capture(const RECT& screenRect);
bool SaveBmp(const Image& image, const std::wstring& file); // makes the file's folder
bool SaveScreenshot(const RECT& screenRect, const std::wstring& file);
// "e2e-failures" beside the driver program (in the build tree), whatever the working directory.
std::wstring FailurePicturesFolder();

// The running program.
class App {
public:
    App() = default;
    ~App(); // ends a program still running (TerminateProcess)
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Starts the program of `folder` with that folder as its working directory.
    bool Start(const DataFolder& folder, const std::wstring& arguments = L"");
    DWORD ProcessId() const { return processId_; }
    bool Running() const;

    // The visible top-level window of the program that no other window owns and that is no
    // dialog box ("#32770"); waits for it, or fails the case (also when the program ends).
    HWND WaitForMainWindow(Ms deadline = kDeadline);
    HWND MainWindow() const { return main_; }
    // Every visible top-level window of the process (the main window, boxes, dialogs).
    std::vector<HWND> TopLevelWindows() const;

    // All descendants of the main window, in z-order of EnumChildWindows.
    std::vector<Child> Children() const;
    std::optional<Child> FindChild(const std::function<bool(const Child&)>& match) const;
    std::optional<Child> FindChildByText(const std::wstring& text) const;

    // Brings the main window to the foreground, then gives the input there.
    bool ClickAt(POINT client);     // a point of the main window's client area
    bool Click(const Child& child); // at its centre
    bool Type(const std::wstring& text);
    bool PressKeys(const std::vector<WORD>& keys);

    // Message boxes: top-level "#32770" windows of the process.
    std::vector<MessageBoxInfo> MessageBoxes() const;
    std::optional<MessageBoxInfo> WaitForMessageBox(Ms deadline = kDeadline);
    // Answers with a button id (IDOK, IDYES, IDNO...) and waits for the box to go.
    bool Answer(const MessageBoxInfo& box, int buttonId, Ms deadline = kDeadline);

    // Colour on the screen at a point of the main window's client area.
    COLORREF PixelAt(POINT client) const;

    // The screen rectangle covering all of the program's visible top-level windows.
    RECT WindowsRect() const;
    // Waits until the program's windows show a drawing that holds still between two looks
    // (a window that has only just appeared is blank until it paints).
    bool WaitUntilPainted(Ms deadline = kDeadline) const;
    // Saves the part of the screen covering the program's windows as a 24-bit BMP, once
    // painted (or after a short deadline).
    bool SaveScreenshot(const std::wstring& file) const;

    // Posts WM_CLOSE to the main window and waits for the process to end.
    bool RequestClose(Ms deadline = kDeadline);
    // Waits for the process to end; its exit code, or none at the deadline.
    std::optional<DWORD> WaitForExit(Ms deadline = kDeadline);
    // Ends the program however it takes: WM_CLOSE, then TerminateProcess as a last resort.
    // The exit code when it ended by itself; none when it had to be terminated.
    std::optional<DWORD> Close(Ms deadline = kDeadline);
    std::optional<DWORD> ExitCode() const;

private:
    // What CreateProcessW gave back; both handles are closed with the App.
    win32::Handle process_, thread_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// A case with a fresh data folder and the program started in it. TearDown saves a
// screenshot of a failed case in FailurePicturesFolder(), closes the program and expects exit
// code 0.
class AppTest : public ::testing::Test {
protected:
    // Override to change the data folder of a suite's cases.
    virtual Layout MakeLayout() { return Layout::Typical(); }

    void SetUp() override;
    void TearDown() override;

    // A control of the program's window by its id (its creation order); a failure when none.
    Child Control(int id) const;
    std::wstring Text(int id) const;
    // The control that has the keyboard focus in the program (0: none of its controls).
    int FocusedId() const;

    std::optional<DataFolder> folder;
    App app;
    HWND window = nullptr;
    bool expectCleanExit = true; // a case that ends the program otherwise clears it
};

} // namespace vqx::e2e
