// What the start-up and backup cases share beyond the harness: the program's controls by id,
// their colours on the screen, message-box icons and buttons, the outcome of a run, files held
// open by the driver, big files, the copy's temporaries, and the bytes of "RS.log".
#pragma once

#include "platform/win32/WinHandles.h"
#include "tests/driver/ControlIds.h"
#include "tests/driver/Harness.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vqx::e2e {

// Colours the program gives its controls (COLORREF, as the screen shows them).
constexpr COLORREF kRed = RGB(246, 90, 91);
constexpr COLORREF kGreen = RGB(125, 180, 97);
constexpr COLORREF kFocusedBorder = RGB(128, 128, 128);
constexpr COLORREF kDisabledBorder = RGB(240, 240, 240);

// The application's titles.
inline const std::wstring kAppTitle = L"Zorvantec VQX - Respaldo de seguridad";
inline const std::wstring kLoadTitle = L"Respaldo de seguridad VQX\u00ae";

// The control with that id among the main window's descendants.
std::optional<Child> ControlById(const App& app, int id);
// Its handle, found without a message to the program: at once, also while it is busy.
HWND HandleOf(const App& app, int id);
// Its window text; empty when there is no such control or it does not answer.
std::wstring TextOf(const App& app, int id);
// The text as the system keeps it for the window, read without a message to the program:
// answers at once while the program is busy.
std::wstring StoredText(HWND hwnd);
bool WaitForText(const App& app, int id, const std::wstring& text, Ms deadline = kDeadline);
// Clicks the control at its centre, as a user would.
bool ClickControl(App& app, int id);
// Replaces the text of an edit box as WM_SETTEXT does (the box reports the change).
bool SetEditText(const App& app, int id, const std::wstring& text);

// The colour of a border shape: its top-left pixel on the screen.
COLORREF BorderOf(const App& app, int id);
bool WaitForBorder(const App& app, int id, COLORREF colour, Ms deadline = kDeadline);
// Whether some pixel of the control's rectangle on the screen has exactly that colour.
bool ShowsColour(const App& app, int id, COLORREF colour);
bool WaitForColour(const App& app, int id, COLORREF colour, Ms deadline = kDeadline);
// The control's rectangle as the screen shows it.
Image CaptureControl(const App& app, int id);

// Waits until the program's thread has handled the messages sent to it so far (a WM_NULL
// round trip); false when it does not answer within the deadline.
bool RoundTrip(const App& app, Ms deadline = kDeadline);
// Every "#32770" top-level window of the program, shown or not yet shown.
std::vector<HWND> Dialogs(const App& app);

// ---- The outcome of a run -------------------------------------------------------------------

inline const std::wstring kSuccess = L"COMPLETADO CON EXITO";
inline const std::wstring kCopyingDatabase = L"COPIANDO BASE DE DATOS";
inline const std::wstring kErrorTitle = L"Ha ocurrido un error";
// How long a run may take, big files included.
constexpr Ms kRunDeadline = 60s;

// No message box, once the program has handled what was sent to it so far.
void ExpectNoMessage(App& app);
// The success line (":)" and "COMPLETADO CON EXITO") at the end of the run; in green too,
// unless a message follows it (it may cover the labels: they are looked at once it has been
// answered, with ExpectGreen).
enum class Then { Nothing, Message };
void ExpectSuccess(App& app, Then then = Then::Nothing);
void ExpectGreen(App& app);
// The six-line report of a failed run, naming the system's error `number` when given and the
// entry the run was at (`detail`; empty in the database stage; none: any); then the failure
// line in red, with the stage the run showed (by default the database's: "1/6", or "1/1"
// without the data centre), and no other message.
void ExpectFailure(App& app, std::optional<std::int32_t> number = std::nullopt,
                   const std::wstring& counter = L"1/6",
                   const std::wstring& caption = kCopyingDatabase,
                   const std::optional<std::wstring>& detail = std::wstring());

enum class BoxIcon { None, Stop, Exclamation, Question, Information, Unknown };
const char* Name(BoxIcon icon);
void PrintTo(BoxIcon icon, std::ostream* out); // for GoogleTest's messages
// The icon a message box shows, told by drawing each of the system's icons the same way.
BoxIcon IconOf(const MessageBoxInfo& box);
// The ids of the buttons the box shows (IDOK, IDYES, IDNO, ...), in id order.
std::vector<int> ButtonsOf(const MessageBoxInfo& box);
bool IsDefaultButton(const MessageBoxInfo& box, int id);

// A file held open by the driver with no sharing at all: no other process can open it while
// the lock lives (share modes are enforced between the processes of one Wine server).
class FileLock {
public:
    explicit FileLock(const std::wstring& path);
    bool Held() const { return static_cast<bool>(handle_); }

private:
    win32::File handle_;
};

// Pseudo-random bytes that depend on their position: nothing to compress, no holes.
std::string Pattern(std::size_t size, std::uint32_t seed);
// Writes a file of `size` bytes of Pattern-like content in 64 MiB chunks.
bool WriteBigFile(const std::wstring& path, std::uint64_t size, std::uint32_t seed);
std::uint64_t FileSize(const std::wstring& path);
// Whether a file of the data folder holds exactly these bytes; says briefly how it differs
// (never prints the contents, which may be large).
::testing::AssertionResult FileHolds(const DataFolder& folder, const std::wstring& relative,
                                     const std::string& bytes);

// "Respaldo VQX (dd-mm-yyyy)" for the local date now.
std::wstring DefaultName();
// A line as the program writes it to "RS.log": the ANSI code page when it holds every
// character, else UTF-8 behind a byte-order mark; CR LF at the end.
std::string LogLine(const std::wstring& line);
// Whether a name is one the program gives a copy's temporary: the target's name, ".~rs" and 16
// hex digits.
bool IsCopyTemporary(const std::wstring& name);
// The copy's temporaries in a folder, hidden as they are.
std::vector<std::wstring> Temporaries(const DataFolder& folder, const std::wstring& relative);

// A case whose data folder gets more than a Layout before the program starts: Prepare() runs
// between laying the folder out and starting the program.
class PreparedAppTest : public AppTest {
protected:
    virtual void Prepare() {}
    void SetUp() override;
};

// A data folder whose "RS.log" names an empty folder "Copias" in it: ready for a backup.
class ReadyToBackUpTest : public PreparedAppTest {
protected:
    void Prepare() override;
};

// The lines of a message text, split at CR LF.
std::vector<std::wstring> Lines(const std::wstring& text);
bool StartsWith(const std::wstring& text, const std::wstring& head);

} // namespace vqx::e2e
