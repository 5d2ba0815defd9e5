#include "platform/win32/TempFile.h"

#include "platform/CopyTemporary.h"
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace vqx::win32 {
namespace {

// The longest name of one path element.
constexpr std::size_t kLongestName = 255;
// Names tried for a temporary before giving up; another is needed only when one is taken.
constexpr int kTemporaryNameTries = 8;
// A virus scanner or a sync client often opens a file for a moment just after it was written,
// and a rename onto it fails meanwhile: it is tried again after these pauses (about a second
// in all) before the failure counts.
constexpr DWORD kRenamePausesMs[] = {50, 100, 200, 300, 400};
// A pause before a rename is tried again looks this often whether the copy is to stop.
constexpr DWORD kPauseStepMs = 10;

// Waits about `ms`, asking `goOn` every few milliseconds; false once it says stop.
bool Pause(DWORD ms, const GoOn& goOn) {
    for (DWORD waited = 0; waited < ms; waited += kPauseStepMs) {
        Sleep(kPauseStepMs);
        if (goOn && !goOn())
            return false;
    }
    return true;
}

// The 16 hex digits of a temporary's name: this process's id and a serial number, which
// starts somewhere different in each process, since ids are reused.
std::wstring TemporaryDigits() {
    static std::atomic<DWORD> serial{[] {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<DWORD>(static_cast<ULONGLONG>(now.QuadPart) * 2654435761u);
    }()};
    ULONGLONG value = (static_cast<ULONGLONG>(GetCurrentProcessId()) << 32) | serial++;
    std::wstring digits(kTemporaryDigits, L'0');
    for (std::size_t i = digits.size(); i-- > 0; value >>= 4)
        digits[i] = L"0123456789abcdef"[value & 15];
    return digits;
}

// The target's path with its name turned into a temporary's. A name near the length limit
// gives up its end (never half of a surrogate pair) to make room for the mark and the digits.
std::wstring TemporaryPath(const std::wstring& target) {
    const std::size_t nameStart = target.find_last_of(L'\\') + 1;
    const std::size_t room = kLongestName - kTemporaryMark.size() - kTemporaryDigits;
    std::size_t keep = std::min(target.size() - nameStart, room);
    if (keep < target.size() - nameStart && keep > 0 &&
        IS_HIGH_SURROGATE(target[nameStart + keep - 1]))
        --keep;
    return target.substr(0, nameStart + keep) +
           std::wstring(kTemporaryMark.begin(), kTemporaryMark.end()) + TemporaryDigits();
}

} // namespace

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring LastElement(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

std::wstring CurrentName(HANDLE file) {
    constexpr std::size_t kBytes = sizeof(FILE_NAME_INFO) + kLongestPathLength * sizeof(wchar_t);
    std::unique_ptr<ULONGLONG[]> block(new (std::nothrow) ULONGLONG[kBytes / sizeof(ULONGLONG)]);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(block.get());
    if (!info || !os.GetFileInformationByHandleEx(file, FileNameInfo, info, kBytes))
        return {};
    return LastElement(std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)));
}

DWORD TempCopy::Create(const std::wstring& target) {
    unbuffered_ = true;
    for (int tries = 0; tries < kTemporaryNameTries; ++tries) {
        path_ = TemporaryPath(target);
        // Past the system's cache, each write is on the device when it returns: no long
        // flush at the end for a stop to wait for, and the read-back asks the device. A
        // file system that has no unbuffered access (some network redirectors) refuses it
        // with ERROR_INVALID_PARAMETER; there each write goes through the cache to the
        // device before it returns.
        const DWORD flags = FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT |
                            (unbuffered_ ? FILE_FLAG_NO_BUFFERING
                                         : FILE_FLAG_WRITE_THROUGH | FILE_FLAG_SEQUENTIAL_SCAN);
        // Readers are let in for the copy's own check, which may read it back by name.
        file_ = OpenFile(path_, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW,
                         flags);
        if (file_) {
            owned_ = true;
            return ERROR_SUCCESS;
        }
        const DWORD err = GetLastError();
        if (err == ERROR_INVALID_PARAMETER && unbuffered_) {
            unbuffered_ = false;
            continue;
        }
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
            return err;
    }
    return ERROR_FILE_EXISTS;
}

DWORD TempCopy::Rename(const std::wstring& target, bool replace, const GoOn& goOn) {
    const auto nameBytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    // The structure ends in room for one character: the terminating NUL.
    const std::size_t size = sizeof(FILE_RENAME_INFO) + nameBytes;
    const std::size_t words = (size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG);
    std::unique_ptr<ULONGLONG[]> block(new (std::nothrow) ULONGLONG[words]());
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.get());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::memcpy(info->FileName, target.c_str(), nameBytes);
    for (std::size_t pause = 0;; ++pause) {
        if (os.SetFileInformationByHandle(file_.get(), FileRenameInfo, info,
                                          static_cast<DWORD>(words * sizeof(ULONGLONG)))) {
            owned_ = false;
            return ERROR_SUCCESS;
        }
        const DWORD err = GetLastError();
        if ((err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) ||
            pause == std::size(kRenamePausesMs))
            return Renamed(target) ? ERROR_SUCCESS : err;
        if (!Pause(kRenamePausesMs[pause], goOn))
            return ERROR_REQUEST_ABORTED;
    }
}

bool TempCopy::Renamed(const std::wstring& target) {
    const std::wstring now = CurrentName(file_.get());
    if (now.empty()) {
        uncertain_ = true;
        return false;
    }
    if (!SameName(now, LastElement(target)))
        return false;
    owned_ = false;
    return true;
}

void TempCopy::Discard() {
    if (!owned_)
        return;
    // Through the handle, which finds the file wherever its folder has gone meanwhile;
    // by its name where the system cannot, or where the handle may hold the real name.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool marked =
        !uncertain_ && os.SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition,
                                                     sizeof disposition);
    file_.reset();
    if (!marked)
        os.DeleteFileW(path_.c_str());
    owned_ = false;
}

} // namespace vqx::win32
