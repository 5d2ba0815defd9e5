#include "tests/e2e/FolderDialog.h"

#include <cwctype>

namespace vqx::e2e {
namespace {

constexpr UINT kTimeoutMs = 5000;

// Sends a message that carries no pointer; its result, or none when the window did not answer.
std::optional<LRESULT> Ask(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kTimeoutMs,
                             &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

// "C:\a\b\" -> {"C:", "a", "b"}.
std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Memory in another process, freed on leaving.
class RemoteMemory {
public:
    RemoteMemory(DWORD processId, std::size_t size)
        : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId)),
          size_(size) {
        if (process_)
            address_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                      PAGE_READWRITE);
    }
    ~RemoteMemory() {
        if (address_)
            VirtualFreeEx(process_.get(), address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool Ok() const { return address_ != nullptr; }
    char* At(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               WriteProcessMemory(process_.get(), At(offset), data, size, &done) && done == size;
    }
    bool Read(const void* remote, void* data, std::size_t size) const {
        SIZE_T done = 0;
        return ReadProcessMemory(process_.get(), remote, data, size, &done) && done == size;
    }

private:
    win32::Handle process_; // closed after the memory is freed
    void* address_ = nullptr;
    std::size_t size_;
};

} // namespace

std::optional<FolderDialog> FolderDialog::WaitFor(const App& app, Ms deadline) {
    std::optional<FolderDialog> found;
    WaitUntil(
        [&] {
            for (HWND hwnd : app.TopLevelWindows()) {
                if (ClassName(hwnd) != L"#32770")
                    continue;
                HWND tree = GetDlgItem(hwnd, kTreeId);
                if (tree && ClassName(tree) == L"SysTreeView32") {
                    found = FolderDialog(hwnd, tree, app.ProcessId());
                    return true;
                }
            }
            return !app.Running();
        },
        deadline);
    return found;
}

std::vector<std::wstring> FolderDialog::StaticTexts() const {
    std::vector<std::wstring> texts;
    for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassName(child) == L"Static")
            texts.push_back(WindowText(child).value_or(L""));
    return texts;
}

HTREEITEM FolderDialog::Next(HTREEITEM item, UINT relation) const {
    auto result = Ask(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item));
    return result ? reinterpret_cast<HTREEITEM>(*result) : nullptr;
}

bool FolderDialog::Expand(HTREEITEM item) const {
    // The dialog fills an item's children when the tree tells it that the item opens.
    return Ask(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item)).has_value();
}

std::vector<HTREEITEM> FolderDialog::Children(HTREEITEM item) const {
    std::vector<HTREEITEM> children;
    if (!Expand(item))
        return children;
    for (HTREEITEM child = Next(item, TVGN_CHILD); child; child = Next(child, TVGN_NEXT))
        children.push_back(child);
    return children;
}

std::optional<std::wstring> FolderDialog::ItemText(HTREEITEM item) const {
    constexpr int kChars = 1024;
    RemoteMemory memory(processId_, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
    if (!memory.Ok())
        return std::nullopt;
    TVITEMW tv{};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(TVITEMW)));
    tv.cchTextMax = kChars;
    const wchar_t nothing = L'\0';
    if (!memory.Write(0, &tv, sizeof tv) ||
        !memory.Write(sizeof(TVITEMW), &nothing, sizeof nothing))
        return std::nullopt;
    auto ok = Ask(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.At(0)));
    if (!ok || !*ok)
        return std::nullopt;
    // The tree may point the record at a text of its own: follow whatever it holds now.
    TVITEMW back{};
    if (!memory.Read(memory.At(0), &back, sizeof back) || !back.pszText)
        return std::nullopt;
    // A piece at a time, so that a short text near the end of its memory is read as well.
    std::wstring text;
    wchar_t piece[32];
    for (const wchar_t* at = back.pszText; text.size() < kChars; at += 32) {
        if (!memory.Read(at, piece, sizeof piece))
            return text.empty() ? std::nullopt : std::optional<std::wstring>(text);
        for (wchar_t c : piece) {
            if (c == L'\0')
                return text;
            text += c;
        }
    }
    return text;
}

// The drive lies one level below a desktop item ("My Computer"); the labels of drives may be
// blank, so the drive letter is what identifies it.
std::pair<HTREEITEM, HTREEITEM> FolderDialog::FindDrive(wchar_t letter) const {
    const std::wstring tag =
        L"(" + std::wstring(1, static_cast<wchar_t>(std::towupper(letter))) + L":)";
    HTREEITEM desktop = Next(nullptr, TVGN_ROOT);
    if (!desktop)
        return {};
    for (HTREEITEM place : Children(desktop))
        for (HTREEITEM drive : Children(place)) {
            auto text = ItemText(drive);
            if (text && text->find(tag) != std::wstring::npos)
                return {place, drive};
        }
    return {};
}

::testing::AssertionResult FolderDialog::SelectItem(HTREEITEM item, const std::wstring& what) {
    Ask(tree_, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    Ask(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    if (!WaitUntil([&] { return Next(nullptr, TVGN_CARET) == item; }, 3s))
        return ::testing::AssertionFailure()
               << "the tree's selection did not become " << Narrow(what);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FolderDialog::Select(const std::wstring& path) {
    const std::vector<std::wstring> parts = Components(path);
    if (parts.empty() || parts[0].size() != 2 || parts[0][1] != L':')
        return ::testing::AssertionFailure() << "not a path with a drive: " << Narrow(path);
    HTREEITEM at = FindDrive(parts[0][0]).second;
    if (!at)
        return ::testing::AssertionFailure() << "no drive " << Narrow(parts[0]) << " in the tree";

    std::wstring walked = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        HTREEITEM next = nullptr;
        std::vector<std::wstring> seen;
        for (HTREEITEM child : Children(at)) {
            auto text = ItemText(child);
            if (text == parts[i]) {
                next = child;
                break;
            }
            seen.push_back(text.value_or(L"?"));
        }
        if (!next) {
            auto failure = ::testing::AssertionFailure();
            failure << "no folder \"" << Narrow(parts[i]) << "\" under " << Narrow(walked)
                    << " in the tree; it shows:";
            for (const auto& name : seen)
                failure << " \"" << Narrow(name) << "\"";
            return failure;
        }
        at = next;
        walked += L"\\" + parts[i];
    }
    return SelectItem(at, walked);
}

::testing::AssertionResult FolderDialog::SelectComputer() {
    HTREEITEM computer = FindDrive(L'C').first;
    if (!computer)
        return ::testing::AssertionFailure() << "no item holding the drive C: in the tree";
    return SelectItem(computer, ItemText(computer).value_or(L"the computer"));
}

std::optional<std::wstring> FolderDialog::SelectedText() const {
    HTREEITEM selected = Next(nullptr, TVGN_CARET);
    if (!selected)
        return std::nullopt;
    return ItemText(selected);
}

bool FolderDialog::MoveAside(const RECT& uncovered, Ms deadline) {
    RECT r{};
    if (!GetWindowRect(dialog_, &r))
        return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const POINT places[] = {{uncovered.right + 8, r.top},
                            {uncovered.left - 8 - width, r.top},
                            {r.left, uncovered.bottom + 8},
                            {r.left, uncovered.top - 8 - height}};
    for (POINT p : places) {
        RECT to{p.x, p.y, p.x + width, p.y + height}, overlap{};
        if (to.left < 0 || to.top < 0 || to.right > screenWidth || to.bottom > screenHeight ||
            IntersectRect(&overlap, &to, &uncovered))
            continue;
        SetWindowPos(dialog_, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return WaitUntil(
            [&] {
                RECT now{};
                return GetWindowRect(dialog_, &now) && now.left == p.x && now.top == p.y;
            },
            deadline);
    }
    return false;
}

bool FolderDialog::Press(int buttonId, Ms deadline) {
    // Posted: the dialog's own loop handles it and the dialog ends.
    HWND button = GetDlgItem(dialog_, buttonId);
    if (!button || !IsWindowEnabled(button) ||
        !PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)))
        return false;
    return WaitUntil([&] { return !Open(); }, deadline);
}

bool FolderDialog::CanConfirm() const {
    HWND ok = GetDlgItem(dialog_, IDOK);
    return ok && IsWindowEnabled(ok);
}

bool FolderDialog::Confirm(Ms deadline) {
    return Press(IDOK, deadline);
}

bool FolderDialog::Cancel(Ms deadline) {
    return Press(IDCANCEL, deadline);
}

} // namespace vqx::e2e
