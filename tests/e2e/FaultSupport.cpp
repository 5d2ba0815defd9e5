#include "tests/e2e/FaultSupport.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <utility>

namespace vqx::e2e {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kPiece = 1u << 20;
constexpr UINT kMessageTimeoutMs = 5000;

std::wstring Parent(const std::wstring& full) {
    const auto pos = full.find_last_of(L'\\');
    return pos == std::wstring::npos ? std::wstring() : full.substr(0, pos);
}

bool IsRoot(const std::wstring& full) {
    return full.size() <= 3 && full.size() >= 2 && full[1] == L':';
}

// "X:" and "X:\" both mean the root; other paths lose a trailing separator.
std::wstring Clean(std::wstring full) {
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    if (full.size() == 2 && full[1] == L':')
        full += L'\\';
    return full;
}

std::wstring Inside(const std::wstring& folder, const std::wstring& name) {
    const std::wstring clean = Clean(folder);
    return clean.back() == L'\\' ? clean + name : clean + L'\\' + name;
}

DWORD AttributesAt(const std::wstring& full) {
    return GetFileAttributesW(Extended(Clean(full)).c_str());
}

struct Found {
    std::wstring name;
    DWORD attributes;
};

std::vector<Found> Entries(const std::wstring& full) {
    std::vector<Found> found;
    WIN32_FIND_DATAW fd;
    const win32::FindHandle find{FindFirstFileW(Extended(Inside(full, L"*")).c_str(), &fd)};
    if (!find)
        return found;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..")
            found.push_back({name, fd.dwFileAttributes});
    } while (FindNextFileW(find.get(), &fd));
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
    return found;
}

void CollectFiles(const std::wstring& root, const std::wstring& relative,
                  std::vector<std::wstring>& out) {
    for (const Found& e : Entries(relative.empty() ? root : Inside(root, relative))) {
        const std::wstring inside = relative.empty() ? e.name : relative + L"\\" + e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectFiles(root, inside, out);
        else
            out.push_back(inside);
    }
}

win32::File OpenForReading(const std::wstring& full) {
    return win32::File{CreateFileW(Extended(Clean(full)).c_str(), GENERIC_READ, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
}

// FNV-1a over the whole file; none when it cannot be read.
std::optional<std::uint64_t> HashOf(const std::wstring& full) {
    const win32::File file = OpenForReading(full);
    if (!file)
        return std::nullopt;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    std::uint64_t hash = 0xcbf29ce484222325ull;
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file.get(), buffer.get(), kPiece, &got, nullptr) != FALSE) && got > 0)
        for (DWORD i = 0; i < got; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 0x100000001b3ull;
    if (!ok)
        return std::nullopt;
    return hash;
}

void PictureInto(const std::wstring& root, const std::wstring& relative, TreePicture& out) {
    for (const Found& e : Entries(relative.empty() ? root : Inside(root, relative))) {
        const std::wstring inside = relative.empty() ? e.name : relative + L"\\" + e.name;
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[inside] = "folder";
            PictureInto(root, inside, out);
            continue;
        }
        const std::wstring full = Inside(root, inside);
        auto hash = HashOf(full);
        char text[96];
        if (hash)
            std::snprintf(text, sizeof text, "file of %llu bytes, hash %016llx",
                          static_cast<unsigned long long>(FileSizeAt(full)),
                          static_cast<unsigned long long>(*hash));
        else
            std::snprintf(text, sizeof text, "unreadable file of %llu bytes",
                          static_cast<unsigned long long>(FileSizeAt(full)));
        out[inside] = text;
    }
}

} // namespace

// ---- Files ----------------------------------------------------------------------------------

std::wstring Extended(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool ExistsAt(const std::wstring& full) {
    return AttributesAt(full) != INVALID_FILE_ATTRIBUTES;
}

bool IsFileAt(const std::wstring& full) {
    const DWORD a = AttributesAt(full);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolderAt(const std::wstring& full) {
    const DWORD a = AttributesAt(full);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadAt(const std::wstring& full) {
    const win32::File file = OpenForReading(full);
    if (!file)
        return std::nullopt;
    std::string out;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer.get(), kPiece, &got, nullptr) && got > 0)
        out.append(buffer.get(), got);
    return out;
}

bool WriteAt(const std::wstring& full, const std::string& bytes) {
    if (!MakeFoldersAt(Parent(Clean(full))))
        return false;
    const std::wstring path = Extended(Clean(full));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    win32::File file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file)
        return false;
    DWORD written = 0;
    const bool ok =
        bytes.empty() || (::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                      &written, nullptr) &&
                          written == bytes.size());
    return win32::CloseFile(file) && ok;
}

bool MakeFoldersAt(const std::wstring& full) {
    const std::wstring path = Clean(full);
    if (path.empty() || IsRoot(path))
        return true;
    const DWORD a = AttributesAt(path);
    if (a != INVALID_FILE_ATTRIBUTES)
        return (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!MakeFoldersAt(Parent(path)))
        return false;
    return CreateDirectoryW(Extended(path).c_str(), nullptr) ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

bool EmptyFolderAt(const std::wstring& full) {
    bool ok = true;
    for (const Found& e : Entries(full))
        ok = RemoveTreeAt(Inside(full, e.name)) && ok;
    return ok;
}

bool RemoveTreeAt(const std::wstring& full) {
    const DWORD a = AttributesAt(full);
    if (a == INVALID_FILE_ATTRIBUTES)
        return true;
    const std::wstring path = Extended(Clean(full));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) != FALSE;
    const bool emptied = EmptyFolderAt(full);
    return RemoveDirectoryW(path.c_str()) && emptied;
}

std::vector<std::wstring> ListAt(const std::wstring& full) {
    std::vector<std::wstring> names;
    for (const Found& e : Entries(full))
        names.push_back(e.name);
    return names;
}

std::vector<std::wstring> PlainFilesIn(const std::wstring& full) {
    std::vector<std::wstring> names;
    for (const Found& e : Entries(full))
        if (!(e.attributes &
              (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            names.push_back(e.name);
    return names;
}

std::vector<std::wstring> FilesUnder(const std::wstring& full) {
    std::vector<std::wstring> files;
    CollectFiles(full, L"", files);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::wstring> TemporariesUnder(const std::wstring& full) {
    std::vector<std::wstring> found;
    for (const std::wstring& file : FilesUnder(full))
        if (IsCopyTemporary(file.substr(file.find_last_of(L'\\') + 1)))
            found.push_back(file);
    return found;
}

std::wstring TemporaryOf(const std::wstring& target) {
    const std::size_t sep = target.find_last_of(L'\\');
    const std::wstring folder = target.substr(0, sep), name = target.substr(sep + 1);
    for (const std::wstring& entry : ListAt(folder))
        if (entry.size() == name.size() + 20 && StartsWith(entry, name) && IsCopyTemporary(entry))
            return folder + L"\\" + entry;
    return {};
}

std::uint64_t FileSizeAt(const std::wstring& full) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Extended(Clean(full)).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

::testing::AssertionResult SameBytes(const std::wstring& copy, const std::wstring& original) {
    const std::string name = Narrow(copy);
    if (!IsFileAt(copy))
        return ::testing::AssertionFailure() << name << " is not a file";
    const std::uint64_t size = FileSizeAt(copy), expected = FileSizeAt(original);
    if (size != expected)
        return ::testing::AssertionFailure()
               << name << " holds " << size << " bytes, its source " << expected;
    const win32::File a = OpenForReading(copy), b = OpenForReading(original);
    std::unique_ptr<char[]> x(new char[kPiece]), y(new char[kPiece]);
    std::uint64_t at = 0;
    bool same = a && b, readable = same;
    while (same) {
        DWORD gotA = 0, gotB = 0;
        if (!::ReadFile(a.get(), x.get(), kPiece, &gotA, nullptr) ||
            !::ReadFile(b.get(), y.get(), kPiece, &gotB, nullptr) || gotA != gotB) {
            same = readable = false;
            break;
        }
        if (gotA == 0)
            break;
        if (std::memcmp(x.get(), y.get(), gotA) != 0) {
            same = false;
            break;
        }
        at += gotA;
    }
    if (!readable)
        return ::testing::AssertionFailure() << name << " or its source cannot be read";
    if (!same)
        return ::testing::AssertionFailure()
               << name << " differs from its source in the MiB from byte " << at;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Holds(const std::wstring& full, const std::string& bytes) {
    const std::string name = Narrow(full);
    if (!IsFileAt(full))
        return ::testing::AssertionFailure() << name << " is not a file";
    const auto read = ReadAt(full);
    if (!read)
        return ::testing::AssertionFailure() << name << " cannot be read";
    if (read->size() != bytes.size())
        return ::testing::AssertionFailure()
               << name << " holds " << read->size() << " bytes, not " << bytes.size();
    const auto differ = std::mismatch(read->begin(), read->end(), bytes.begin());
    if (differ.first != read->end())
        return ::testing::AssertionFailure()
               << name << " differs from byte " << (differ.first - read->begin()) << " on";
    return ::testing::AssertionSuccess();
}

std::uint64_t FreeBytes(const std::wstring& full) {
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(Clean(full).c_str(), &free, nullptr, nullptr))
        return 0;
    return free.QuadPart;
}

TreePicture Picture(const std::wstring& full) {
    TreePicture picture;
    if (IsFileAt(full)) {
        picture[L""] = "a file, " + std::to_string(FileSizeAt(full)) + " bytes";
        return picture;
    }
    if (IsFolderAt(full))
        PictureInto(full, L"", picture);
    else
        picture[L""] = "nothing";
    return picture;
}

::testing::AssertionResult Unchanged(const TreePicture& before, const TreePicture& after) {
    std::ostringstream out;
    for (const auto& [path, what] : before) {
        auto it = after.find(path);
        if (it == after.end())
            out << "\n  gone:    " << Narrow(path) << " (" << what << ")";
        else if (it->second != what)
            out << "\n  changed: " << Narrow(path) << " (" << what << " -> " << it->second << ")";
    }
    for (const auto& [path, what] : after)
        if (!before.count(path))
            out << "\n  added:   " << Narrow(path) << " (" << what << ")";
    if (out.str().empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the folder changed:" << out.str();
}

// ---- The program ----------------------------------------------------------------------------

Frozen::Frozen(HWND window, Threads which) {
    DWORD process = 0;
    const DWORD windowThread = GetWindowThreadProcessId(window, &process);
    if (windowThread == 0)
        return;
    // Every thread: the window's and the worker of a run, which does the file work.
    HANDLE made = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (made == INVALID_HANDLE_VALUE)
        return;
    const win32::Handle snapshot{made}; // a failed snapshot is INVALID_HANDLE_VALUE, not null
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool all = true;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != process ||
            (which == Threads::Workers && entry.th32ThreadID == windowThread))
            continue;
        win32::Handle thread{
            OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, entry.th32ThreadID)};
        if (thread && SuspendThread(thread.get()) != static_cast<DWORD>(-1))
            threads_.push_back(std::move(thread));
        else
            all = false;
    }
    suspended_ = all && !threads_.empty();
    // A suspension takes effect a moment later; reading the registers waits until it has.
    for (const win32::Handle& thread : threads_) {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(thread.get(), &context);
    }
}

Frozen::~Frozen() {
    for (const win32::Handle& thread : threads_)
        ResumeThread(thread.get());
}

bool ActWhileFrozen(HWND window, const std::function<bool()>& ready,
                    const std::function<void()>& act, Ms deadline) {
    constexpr int kTriesInARow = 50;
    return WaitUntil(
        [&] {
            // A look at the running program first; then again with the program held, where it
            // counts. A miss while the first look holds is tried again at once: the moment
            // sought may be short.
            for (int tries = 0; tries < kTriesInARow && ready(); ++tries) {
                Frozen frozen(window);
                if (frozen.Held() && ready()) {
                    act();
                    return true;
                }
            }
            return false;
        },
        deadline);
}

bool Kill(const App& app) {
    const win32::Handle process{
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, app.ProcessId())};
    if (!process)
        return false;
    return TerminateProcess(process.get(), 137) &&
           WaitForSingleObject(process.get(), static_cast<DWORD>(kDeadline.count())) ==
               WAIT_OBJECT_0;
}

bool PasteIntoEdit(const App& app, int id, const std::wstring& text) {
    auto c = ControlById(app, id);
    DWORD_PTR result = 0;
    return c &&
           SendMessageTimeoutW(c->hwnd, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               kMessageTimeoutMs, &result) &&
           SendMessageTimeoutW(c->hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &result);
}

bool SetClipboardText(const std::wstring& text) {
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }))
        return false;
    bool ok = EmptyClipboard() != FALSE;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ok ? GlobalAlloc(GMEM_MOVEABLE, bytes) : nullptr;
    if (memory) {
        if (void* data = GlobalLock(memory)) {
            std::memcpy(data, text.c_str(), bytes);
            GlobalUnlock(memory);
            ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        } else {
            ok = false;
        }
        if (!ok)
            GlobalFree(memory);
    } else {
        ok = false;
    }
    return CloseClipboard() && ok;
}

// ---- The table of cases ---------------------------------------------------------------------

void Checks(const std::string& what) {
    ::testing::Test::RecordProperty("checks", what);
}

namespace {

// After the run, one line for each fault case that ran: its name, what it checked, its
// result. It goes to the output, so the log of every run (ctest's too) carries it.
class FaultCaseTable : public ::testing::Environment {
public:
    void TearDown() override {
        const auto* unit = ::testing::UnitTest::GetInstance();
        std::ostringstream table;
        int rows = 0;
        for (int i = 0; i < unit->total_test_suite_count(); ++i) {
            const auto* suite = unit->GetTestSuite(i);
            if (std::string(suite->name()).rfind("Fault", 0) != 0)
                continue;
            for (int j = 0; j < suite->total_test_count(); ++j) {
                const auto* info = suite->GetTestInfo(j);
                if (!info->should_run())
                    continue;
                const auto* result = info->result();
                std::string checks = "-";
                for (int k = 0; k < result->test_property_count(); ++k)
                    if (std::string(result->GetTestProperty(k).key()) == "checks")
                        checks = result->GetTestProperty(k).value();
                const char* outcome = result->Skipped()  ? "skipped"
                                      : result->Failed() ? "FAILED"
                                                         : "passed";
                table << "  " << outcome << "  " << suite->name() << "." << info->name() << " ("
                      << result->elapsed_time() << " ms)\n      checked: " << checks << "\n";
                ++rows;
            }
        }
        if (rows > 0)
            std::cout << "\nFault cases (" << rows << "):\n" << table.str() << std::flush;
    }
};

[[maybe_unused]] ::testing::Environment* const kFaultCaseTable =
    ::testing::AddGlobalTestEnvironment(new FaultCaseTable);

} // namespace
} // namespace vqx::e2e
