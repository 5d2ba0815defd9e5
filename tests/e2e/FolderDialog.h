// Drives the shell's folder dialog ("browse for folder") that the program under test shows:
// finds it, reads its texts, selects a folder by walking its tree as a user would (drive,
// then one folder after another), and confirms or cancels it. The tree lives in the other
// process: item texts are read through memory lent in that process.
#pragma once

#include "tests/driver/Harness.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vqx::e2e {

class FolderDialog {
public:
    static constexpr int kTreeId = 0x3741;

    // The program's visible folder dialog: a top-level "#32770" of its process holding the
    // folder tree. Waits for it; none at the deadline (or when the program ended).
    static std::optional<FolderDialog> WaitFor(const App& app, Ms deadline = kDeadline);

    HWND Handle() const { return dialog_; }
    HWND Tree() const { return tree_; }
    bool Open() const { return IsWindow(dialog_) && IsWindowVisible(dialog_); }
    // Texts of the dialog's static controls, its instruction text among them.
    std::vector<std::wstring> StaticTexts() const;

    // Selects the folder with this full path ("C:\", "C:\a\b", no trailing "\" needed) by
    // expanding the tree from the desktop down: the drive is the item under a desktop item
    // whose text holds "(C:)", then each folder by its exact name. Fails, saying where, when
    // an item is missing or the tree's selection does not become that item.
    ::testing::AssertionResult Select(const std::wstring& path);
    // Selects the desktop item that holds the drives ("My Computer"): a folder of the shell
    // without a file-system path.
    ::testing::AssertionResult SelectComputer();
    // Text of the tree's selected item.
    std::optional<std::wstring> SelectedText() const;

    // Moves the dialog, as a user drags it, to where it does not cover `uncovered` (screen
    // co-ordinates); false when it fits nowhere on the screen beside it.
    bool MoveAside(const RECT& uncovered, Ms deadline = kDeadline);

    // Whether OK can be pressed now.
    bool CanConfirm() const;
    // Presses OK or Cancel and waits for the dialog to go.
    bool Confirm(Ms deadline = kDeadline);
    bool Cancel(Ms deadline = kDeadline);

private:
    FolderDialog(HWND dialog, HWND tree, DWORD processId)
        : dialog_(dialog), tree_(tree), processId_(processId) {}

    HTREEITEM Next(HTREEITEM item, UINT relation) const;
    bool Expand(HTREEITEM item) const;
    std::vector<HTREEITEM> Children(HTREEITEM item) const; // expands it first
    std::optional<std::wstring> ItemText(HTREEITEM item) const;
    // The desktop item holding a drive, and the drive's item; null items when not found.
    std::pair<HTREEITEM, HTREEITEM> FindDrive(wchar_t letter) const;
    ::testing::AssertionResult SelectItem(HTREEITEM item, const std::wstring& what);
    bool Press(int buttonId, Ms deadline);

    HWND dialog_ = nullptr;
    HWND tree_ = nullptr;
    DWORD processId_ = 0;
};

} // namespace vqx::e2e
