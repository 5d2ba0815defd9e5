// What the fault cases share beyond the backup helpers: files reached by any path length,
// pictures of a folder tree to compare before and after, the program held still or ended
// without warning, text pasted into a field, and the table of cases printed at the end.
#pragma once

#include "platform/win32/WinHandles.h"
#include "tests/e2e/BackupSupport.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vqx::e2e {

// ---- Files by full path, also over 260 characters (through "\\?\") -------------------------

std::wstring Extended(const std::wstring& full);
bool ExistsAt(const std::wstring& full);
bool IsFileAt(const std::wstring& full);
bool IsFolderAt(const std::wstring& full);
std::optional<std::string> ReadAt(const std::wstring& full);
bool WriteAt(const std::wstring& full, const std::string& bytes); // makes the parents
bool MakeFoldersAt(const std::wstring& full);
bool RemoveTreeAt(const std::wstring& full); // a file, or a folder with everything in it
bool EmptyFolderAt(const std::wstring& full);
// Names in a folder (files and folders, hidden ones too), sorted.
std::vector<std::wstring> ListAt(const std::wstring& full);
// The plain files directly in a folder: neither folders nor hidden or system files, sorted.
std::vector<std::wstring> PlainFilesIn(const std::wstring& full);
// Every file below a folder, as paths relative to it, sorted.
std::vector<std::wstring> FilesUnder(const std::wstring& full);
// The copy's temporaries below a folder, relative to it.
std::vector<std::wstring> TemporariesUnder(const std::wstring& full);
// The copy's temporary beside a target (the target's name and a temporary's ending); empty
// when there is none.
std::wstring TemporaryOf(const std::wstring& target);
std::uint64_t FileSizeAt(const std::wstring& full);
// Whether two files hold the same bytes (read in pieces: fit for big files).
::testing::AssertionResult SameBytes(const std::wstring& copy, const std::wstring& original);
// Whether a file holds exactly these bytes.
::testing::AssertionResult Holds(const std::wstring& full, const std::string& bytes);
// Free bytes on the volume of a path.
std::uint64_t FreeBytes(const std::wstring& full);

// Everything below a folder, each file by size and a hash of its bytes (a file nobody may read
// as "unreadable"): two pictures differ exactly when something was added, removed or changed.
using TreePicture = std::map<std::wstring, std::string>;
TreePicture Picture(const std::wstring& full);
::testing::AssertionResult Unchanged(const TreePicture& before, const TreePicture& after);

// ---- The program held still, ended, fed -----------------------------------------------------

// Which threads of the program a Frozen holds: all of them, or all but the window's (the run's
// worker and its helpers stand still while the window goes on answering and painting).
enum class Threads { All, Workers };

// Every thread of the program suspended while this lives: the driver looks at the disk and
// acts while the program stands still wherever it was.
class Frozen {
public:
    explicit Frozen(HWND window, Threads which = Threads::All);
    ~Frozen();
    Frozen(const Frozen&) = delete;
    Frozen& operator=(const Frozen&) = delete;
    bool Held() const { return suspended_; }

private:
    std::vector<win32::Handle> threads_; // suspended; resumed, then closed
    bool suspended_ = false;
};

// Waits until `ready` holds while the program stands still, then runs `act` before it moves on.
// False when `ready` never held before the deadline.
bool ActWhileFrozen(HWND window, const std::function<bool()>& ready,
                    const std::function<void()>& act, Ms deadline = kDeadline);

// Ends the program's process at once, as a crash or a power cut would.
bool Kill(const App& app);

// Replaces the whole text of an edit box as a paste does (EM_REPLACESEL: the length limit
// applies).
bool PasteIntoEdit(const App& app, int id, const std::wstring& text);
bool SetClipboardText(const std::wstring& text);

// ---- The table of cases ---------------------------------------------------------------------

// Records what the running case checks; the table printed at the end of the run shows it.
void Checks(const std::string& what);

} // namespace vqx::e2e
