#include "platform/win32/Win32FileSystem.h"

#include "platform/CopyPool.h"
#include "platform/CopyTemporary.h"
#include "platform/PathRules.h"

#include "platform/win32/FileCalls.h"
#include "platform/win32/WinHandles.h"
#include "platform/win32/WinText.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vqx::win32 {
namespace {

constexpr DWORD kCopyChunk = 256u << 10;  // large enough to amortise the calls; writes of 1 MiB
                                          // and more are up to 5 times slower on some machines
constexpr DWORD kReadLimit = 32u * 1024u; // a first line longer than this is not a line

// The longest name of one path element.
constexpr std::size_t kLongestName = 255;
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE"; // UTF-16 LE, Notepad's "Unicode"

// Told to give up, the service lets the calls under way end by themselves for this long (a
// temporary is removed where the device still answers), then cancels any still blocked, and
// again this often, for one that blocks later.
constexpr auto kCancelGrace = std::chrono::milliseconds(500);
constexpr auto kCancelEvery = std::chrono::milliseconds(20);
// A pause before a rename is tried again looks this often whether the copy is to stop.
constexpr DWORD kPauseStepMs = 10;

// A virus scanner or a sync client often opens a file for a moment just after it was written,
// and a rename onto it fails meanwhile: it is tried again after these pauses (about a second
// in all) before the failure counts.
constexpr DWORD kRenamePausesMs[] = {50, 100, 200, 300, 400};
// A copy is written without the system's cache, and read back the same way: in whole sectors,
// from memory aligned to them. A page is a whole number of sectors of every current disk, and
// aligned to them. The read-back goes in larger pieces: fewer calls, the same device time.
constexpr DWORD kSector = 4096;
constexpr DWORD kVerifyChunk = 1u << 20;

// The threads that copy the files of a batch side by side, and how many copies may wait for
// them. Under Wine most of a small file's copy is name look-ups and the flush, which overlap.
constexpr std::size_t kCopyThreads = 8;
constexpr std::size_t kUnfinishedMost = 32;
// Names tried for a temporary before giving up; another is needed only when one is taken.
constexpr int kTemporaryNameTries = 8;

// The attributes a copy may carry over; compression, encryption, sparseness and the like
// belong to the source's volume, not to the data.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

File OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return File(os.CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
}

// Writes every byte or reports why not.
bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > kCopyChunk ? kCopyChunk : static_cast<DWORD>(size);
        DWORD put = 0;
        if (!os.WriteFile(file, data, chunk, &put, nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += put;
        size -= put;
    }
    return true;
}

// The text in the ANSI code page, when that code page holds every character of it.
bool ToAnsiExactly(const std::wstring& text, std::string& out) {
    const UINT acp = GetACP();
    // A UTF-8 (or UTF-7) ANSI code page refuses these arguments and represents everything.
    const bool unicodeAcp = acp == CP_UTF8 || acp == CP_UTF7;
    const DWORD flags = unicodeAcp ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* used = unicodeAcp ? nullptr : &usedDefault;
    const int inLen = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, flags, text.data(), inLen, nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault)
        return false;
    out.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, flags, text.data(), inLen, out.data(), n, nullptr, used);
    // Not every code page reports a substitution; the way back proves the bytes.
    return FromAnsi(out) == text;
}

class Win32TextStream : public TextStream {
public:
    explicit Win32TextStream(File file) : file_(std::move(file)) {}

    Status WriteLine(const std::string& text) override {
        if (!file_)
            return Win32Error(ERROR_INVALID_HANDLE, "WriteLine");
        const std::wstring line = ToWide(text) + L"\r\n";
        std::string bytes;
        if (!utf8_ && ToAnsiExactly(line, bytes)) {
            if (!WriteAll(file_.get(), bytes.data(), bytes.size()))
                return Win32Error(GetLastError(), "WriteLine");
            written_ += line;
            return {};
        }
        if (!utf8_) {
            // The first line the ANSI code page cannot hold turns the whole file into UTF-8,
            // written again from the start behind a byte-order mark. The UTF-8 form is never
            // shorter than the ANSI one, so it covers every byte written before.
            utf8_ = true;
            bytes = std::string(kBom) + FromWide(written_ + line);
            written_.clear();
            LARGE_INTEGER start{};
            if (!os.SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
                return Win32Error(GetLastError(), "WriteLine");
        } else {
            bytes = FromWide(line);
        }
        if (!WriteAll(file_.get(), bytes.data(), bytes.size()))
            return Win32Error(GetLastError(), "WriteLine");
        return {};
    }

    Result<std::string> ReadLine() override {
        if (!file_)
            return Win32Error(ERROR_INVALID_HANDLE, "ReadLine");
        LARGE_INTEGER start{};
        if (!os.SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
            return Win32Error(GetLastError(), "ReadLine");
        std::string bytes(kReadLimit, '\0');
        DWORD have = 0;
        while (have < kReadLimit) {
            DWORD got = 0;
            if (!os.ReadFile(file_.get(), bytes.data() + have, kReadLimit - have, &got, nullptr))
                return Win32Error(GetLastError(), "ReadLine");
            if (got == 0)
                break;
            have += got;
        }
        bytes.resize(have);
        std::string_view view(bytes);
        if (view.substr(0, kUtf16Bom.size()) == kUtf16Bom) {
            // Cut in 16-bit units: the bytes of a CR, LF or NUL occur inside other characters.
            std::wstring line;
            for (std::size_t i = kUtf16Bom.size(); i + 1 < view.size(); i += 2) {
                const auto unit =
                    static_cast<wchar_t>(static_cast<unsigned char>(view[i]) |
                                         static_cast<unsigned char>(view[i + 1]) << 8);
                if (unit == L'\r' || unit == L'\n' || unit == L'\0')
                    break;
                line += unit;
            }
            return FromWide(line);
        }
        const bool utf8 = view.substr(0, kBom.size()) == kBom;
        if (utf8)
            view.remove_prefix(kBom.size());
        // CR, LF and NUL bytes never occur inside a multi-byte character of UTF-8 or of an
        // ANSI code page, so the line can be cut before decoding.
        view = view.substr(0, view.find_first_of(std::string_view("\r\n\0", 3)));
        // Through UTF-16 in both cases, so that malformed UTF-8 reaches the core as U+FFFD.
        return FromWide(utf8 ? ToWide(std::string(view)) : FromAnsi(view));
    }

    Status Close() override {
        if (!CloseFile(file_))
            return Win32Error(GetLastError(), "Close");
        return {};
    }

private:
    File file_;
    std::wstring written_; // the ANSI lines so far, in case a later one needs UTF-8
    bool utf8_ = false;
};

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

// ERROR_OBJECT_NAME_EXISTS, which not every SDK's headers name.
constexpr DWORD kNameTaken = 698;

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring LastElement(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

// The name a handle's file has now (its last element); empty when the system cannot say.
std::wstring CurrentName(HANDLE file) {
    constexpr std::size_t kBytes = sizeof(FILE_NAME_INFO) + kLongestPathLength * sizeof(wchar_t);
    std::unique_ptr<ULONGLONG[]> block(new (std::nothrow) ULONGLONG[kBytes / sizeof(ULONGLONG)]);
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(block.get());
    if (!info || !os.GetFileInformationByHandleEx(file, FileNameInfo, info, kBytes))
        return {};
    return LastElement(std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)));
}

// What holds a name in its folder: nothing (0); a folder (ERROR_ACCESS_DENIED: it is not a
// copy of anything); a file of that very name (ERROR_FILE_EXISTS); or a file of another name
// whose short (8.3) alias it is, as on FAT sticks (kNameTaken, with its name in
// `holder`): a copy under that name would never exist.
DWORD NameHolder(const std::wstring& path, std::wstring& holder) {
    WIN32_FIND_DATAW entry;
    const FindHandle found(os.FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry,
                                               FindExSearchNameMatch, nullptr, 0));
    if (!found)
        return ERROR_SUCCESS;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_ACCESS_DENIED;
    if (SameName(entry.cFileName, LastElement(path)))
        return ERROR_FILE_EXISTS;
    holder = entry.cFileName;
    return kNameTaken;
}

// A copy's failure as the caller sees it: a name held as another file's alias says which.
Error CopyError(DWORD code, const std::wstring& holder) {
    Error e = Win32Error(code, "CopyFile");
    if (code == kNameTaken)
        e.description = "En la carpeta de destino este nombre ya es el nombre corto (8.3) del "
                        "archivo \"" +
                        FromWide(holder) + "\": cambie el nombre del archivo para respaldarlo.";
    return e;
}

// The copy in progress beside its target, hidden, under a name of its own. It is created as a
// new file, so whatever stands at a name (a user's file, a hard or symbolic link) is never
// opened, truncated or followed. It stays open, shared with readers only, until it has the
// target's name: nobody can change, take or delete it meanwhile. Deleted again unless it got
// there.
class TempCopy {
public:
    TempCopy() = default;
    ~TempCopy() { Discard(); }
    TempCopy(const TempCopy&) = delete;
    TempCopy& operator=(const TempCopy&) = delete;

    // Creates the temporary beside `target`; returns the Win32 error or 0.
    DWORD Create(const std::wstring& target) {
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
            file_ = OpenFile(path_, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                             CREATE_NEW, flags);
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

    // Gives it the target's name through its own handle; a target held open for a moment is
    // waited for while `goOn` holds. Returns the Win32 error or 0.
    DWORD Rename(const std::wstring& target, bool replace, const GoOn& goOn) {
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

    HANDLE handle() const { return file_.get(); }
    const std::wstring& path() const { return path_; }
    // Written past the system's cache: in whole sectors, from aligned memory.
    bool unbuffered() const { return unbuffered_; }
    bool Close() { return CloseFile(file_); }

private:
    // After a rename reported as failed: whether it took place all the same. On a share the
    // reply can be lost after the server renamed (ERROR_NETNAME_DELETED, ERROR_UNEXP_NET_ERR),
    // so the handle is asked where its file is. When it cannot say, the file may have its real
    // name: from then on it is never deleted through the handle.
    bool Renamed(const std::wstring& target) {
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

    void Discard() {
        if (!owned_)
            return;
        // Through the handle, which finds the file wherever its folder has gone meanwhile;
        // by its name where the system cannot, or where the handle may hold the real name.
        FILE_DISPOSITION_INFO disposition{TRUE};
        const bool marked =
            !uncertain_ && os.SetFileInformationByHandle(file_.get(), FileDispositionInfo,
                                                         &disposition, sizeof disposition);
        file_.reset();
        if (!marked)
            os.DeleteFileW(path_.c_str());
        owned_ = false;
    }

    std::wstring path_;
    File file_;
    bool owned_ = false;
    bool unbuffered_ = true;
    bool uncertain_ = false; // a rename may have given it the real name
};

} // namespace

// Page-aligned pieces of memory for the copies, kept for the file system's life: a copy borrows
// one and gives it back, so the copying threads reuse the same few pieces instead of an
// allocation, its zero-filled pages and their release for every file.
class CopyBuffers {
public:
    static_assert(kVerifyChunk >= kCopyChunk && kCopyChunk % kSector == 0 &&
                  kVerifyChunk % kSector == 0);

    struct PagesFree {
        void operator()(std::byte* pages) const {
            ::operator delete[](pages, std::align_val_t(kSector));
        }
    };
    using Piece = std::unique_ptr<std::byte[], PagesFree>;

    // kVerifyChunk bytes; empty when memory is short.
    Piece Borrow() {
        {
            std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                Piece piece = std::move(free_.back());
                free_.pop_back();
                return piece;
            }
        }
        return Piece(new (std::align_val_t(kSector), std::nothrow) std::byte[kVerifyChunk]);
    }
    void GiveBack(Piece piece) {
        if (!piece)
            return;
        std::lock_guard lock(mutex_);
        try {
            free_.push_back(std::move(piece));
        } catch (const std::bad_alloc&) {
            // Not kept: freed here.
        }
    }

private:
    std::mutex mutex_; // guards free_
    std::vector<Piece> free_;
};

namespace {

// The size of the pieces a file of `size` bytes is copied or read back in: whole sectors, at
// most `most`.
DWORD Piece(ULONGLONG size, DWORD most) {
    return static_cast<DWORD>(
        std::clamp<ULONGLONG>((size + kSector - 1) / kSector * kSector, kSector, most));
}

// One file on its way: read into a temporary beside its target (`Write`), put on the disk
// (`Flush`), read back (`Verify`), then given the target's name and the source's attributes
// (`Name`). Until then it keeps the hidden mark, so a run killed at any moment leaves nothing
// visible and the next one recognises the leftover; it is deleted again unless it got its name.
class WrittenCopy {
public:
    WrittenCopy(std::wstring dst, CopyBuffers& buffers) : dst_(std::move(dst)), buffers_(buffers) {}
    ~WrittenCopy() { buffers_.GiveBack(std::move(buffer_)); }
    WrittenCopy(const WrittenCopy&) = delete;
    WrittenCopy& operator=(const WrittenCopy&) = delete;

    // Returns the Win32 error or 0. `progress` is called between chunks and may cancel.
    DWORD Write(const std::wstring& source, const CopyProgress& progress) {
        // Reading shared with readers only: nobody can change the source while it is copied.
        File src = OpenFile(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN);
        if (!src)
            return GetLastError();
        // Not GetFileInformationByHandle: it also asks for the volume's serial number, which
        // under Wine is a round trip to its mount manager, longer than copying a small file.
        FILE_BASIC_INFO info;
        FILE_STANDARD_INFO standard;
        if (!os.GetFileInformationByHandleEx(src.get(), FileBasicInfo, &info, sizeof info) ||
            !os.GetFileInformationByHandleEx(src.get(), FileStandardInfo, &standard,
                                             sizeof standard))
            return GetLastError();
        size_ = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
        attributes_ = info.FileAttributes & kCopiedAttributes;

        if (!buffer_)
            buffer_ = buffers_.Borrow();
        std::byte* const buffer = buffer_.get();
        if (!buffer || !hash_ || XXH3_64bits_reset(hash_.get()) != XXH_OK)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (const DWORD err = tmp_.Create(dst_))
            return err;

        // Pieces no larger than the file: a read or write touches all the memory it is given
        // (Windows locks it for unbuffered access), and a small file need not touch more.
        const DWORD chunk = Piece(size_, kCopyChunk);
        ULONGLONG copied = 0;
        for (bool end = false; !end;) {
            // A whole piece unless the source ends in it: every write but the last starts and
            // ends on a sector boundary.
            DWORD filled = 0;
            while (filled < chunk) {
                DWORD got = 0;
                if (!os.ReadFile(src.get(), buffer + filled, chunk - filled, &got, nullptr))
                    return GetLastError();
                if (got == 0) {
                    end = true;
                    break;
                }
                filled += got;
            }
            if (filled == 0)
                break;
            XXH3_64bits_update(hash_.get(), buffer, filled);
            DWORD length = filled;
            if (tmp_.unbuffered() && filled % kSector != 0) {
                // The last piece goes as whole sectors; the file's end is set after.
                length = (filled + kSector - 1) / kSector * kSector;
                std::memset(buffer + filled, 0, length - filled);
            }
            DWORD put = 0;
            if (!os.WriteFile(tmp_.handle(), buffer, length, &put, nullptr))
                return GetLastError();
            if (put != length)
                return ERROR_WRITE_FAULT;
            copied += filled;
            if (progress && !progress(copied, size_))
                return ERROR_REQUEST_ABORTED;
        }
        LARGE_INTEGER endSize{};
        if (!os.GetFileSizeEx(src.get(), &endSize))
            return GetLastError();
        if (copied != size_ || static_cast<ULONGLONG>(endSize.QuadPart) != size_)
            return ERROR_FILE_INVALID;
        if (tmp_.unbuffered() && copied % kSector != 0) {
            FILE_END_OF_FILE_INFO fileEnd{};
            fileEnd.EndOfFile.QuadPart = static_cast<LONGLONG>(copied);
            if (!os.SetFileInformationByHandle(tmp_.handle(), FileEndOfFileInfo, &fileEnd,
                                               sizeof fileEnd))
                return GetLastError();
        }

        // The source's time now, its attributes only with the real name.
        FILE_BASIC_INFO basic{};
        basic.LastWriteTime = info.LastWriteTime;
        basic.FileAttributes = FILE_ATTRIBUTE_HIDDEN;
        if (!os.SetFileInformationByHandle(tmp_.handle(), FileBasicInfo, &basic, sizeof basic))
            return GetLastError();
        return ERROR_SUCCESS;
    }

    // The rename is durable only with the data under it on the device, and no rename flushes
    // the file itself: this writes what the system still holds of it (its size and times, after
    // unbuffered writes) and has the device empty its own cache.
    DWORD Flush() { return os.FlushFileBuffers(tmp_.handle()) ? ERROR_SUCCESS : GetLastError(); }

    // Reads the copy back from its device, past the system's cache, and compares it with what
    // was read from the source: a device that accepts writes and returns other data (a worn or
    // fake-capacity stick) shows here, not on the day the backup is needed. Returns the Win32
    // error or 0; ERROR_CRC when the data differs. Once flushed only.
    DWORD Verify(const GoOn& goOn) {
        const XXH64_hash_t written = XXH3_64bits_digest(hash_.get());
        // Written unbuffered, the copy's own handle reads from the device. Otherwise a handle
        // of its own, by the temporary's name, which nobody can take meanwhile (the copy shares
        // neither writing nor deleting): unbuffered where the file system allows that for
        // reading, else through the cache, which then proves what the file system returns
        // rather than what the device holds. Not ReOpenFile: some redirectors refuse it.
        File own;
        HANDLE back = tmp_.handle();
        if (!tmp_.unbuffered()) {
            constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            own = OpenFile(tmp_.path(), GENERIC_READ, kShareAll, OPEN_EXISTING,
                           FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
            if (!own && GetLastError() == ERROR_INVALID_PARAMETER)
                own = OpenFile(tmp_.path(), GENERIC_READ, kShareAll, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN);
            if (!own)
                return GetLastError();
            back = own.get();
        }
        std::byte* const buffer = buffer_.get();
        if (!buffer || XXH3_64bits_reset(hash_.get()) != XXH_OK)
            return ERROR_NOT_ENOUGH_MEMORY;
        // Whole pieces from the start. The piece that comes back short holds the end: a
        // further read would start at the end of the file, not on a sector boundary, which
        // unbuffered access forbids.
        const LARGE_INTEGER start{};
        if (!os.SetFilePointerEx(back, start, nullptr, FILE_BEGIN))
            return GetLastError();
        const DWORD chunk = Piece(size_, kVerifyChunk);
        ULONGLONG read = 0;
        for (;;) {
            DWORD got = 0;
            if (!os.ReadFile(back, buffer, chunk, &got, nullptr))
                return GetLastError();
            XXH3_64bits_update(hash_.get(), buffer, got);
            read += got;
            if (goOn && !goOn())
                return ERROR_REQUEST_ABORTED;
            if (got < chunk)
                break;
        }
        // Not needed any more: another copy may have it while this one is named.
        buffers_.GiveBack(std::move(buffer_));
        if (read != size_ || XXH3_64bits_digest(hash_.get()) != written)
            return ERROR_CRC;
        return ERROR_SUCCESS;
    }

    // Gives the copy its name, then its final attributes; the Win32 error or 0. `renamed`
    // tells whether it has its name, error or not: a copy with its name is in place for good.
    DWORD Name(bool replace, const GoOn& goOn, bool& renamed) {
        renamed = false;
        if (DWORD err = tmp_.Rename(dst_, replace, goOn)) {
            // A name taken meanwhile: the same answer as when it was taken before.
            if (!replace && err == ERROR_ALREADY_EXISTS) {
                err = NameHolder(dst_, holder_);
                if (err == ERROR_SUCCESS) // gone again since
                    err = ERROR_FILE_EXISTS;
            }
            return err;
        }
        renamed = true;
        // Never left hidden: the attributes through the handle that still holds the file (they
        // reach this file and no other), else by its name.
        const DWORD attributes = attributes_ != 0 ? attributes_ : FILE_ATTRIBUTE_NORMAL;
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = attributes;
        const bool set =
            os.SetFileInformationByHandle(tmp_.handle(), FileBasicInfo, &basic, sizeof basic);
        tmp_.Close(); // the data is on the disk already: a failing close loses nothing
        if (!set && !os.SetFileAttributesW(dst_.c_str(), attributes))
            return GetLastError();
        return ERROR_SUCCESS;
    }

    // The file that holds the target's name as its alias, after kNameTaken.
    const std::wstring& holder() const { return holder_; }

    ULONGLONG size() const { return size_; }

private:
    struct HashFree {
        void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
    };

    std::wstring dst_;
    CopyBuffers& buffers_;
    CopyBuffers::Piece buffer_; // from Write to the end of Verify
    std::unique_ptr<XXH3_state_t, HashFree> hash_{XXH3_createState()}; // of the data written
    TempCopy tmp_;
    ULONGLONG size_ = 0;
    DWORD attributes_ = 0;
    std::wstring holder_;
};

// A text stream on the file at `path`, opened with these arguments of CreateFileW.
Result<std::unique_ptr<TextStream>> Stream(const std::string& path, DWORD access, DWORD share,
                                           DWORD disposition, DWORD flags, const char* source) {
    File file = OpenFile(ToWinPath(path), access, share, disposition, flags);
    if (!file)
        return Win32Error(GetLastError(), source);
    std::unique_ptr<TextStream> stream(new (std::nothrow) Win32TextStream(std::move(file)));
    if (!stream)
        return Win32Error(ERROR_NOT_ENOUGH_MEMORY, source);
    return stream;
}

bool IsPattern(const std::string& path) {
    const std::size_t sep = path.find_last_of("\\/");
    return path.find_first_of("*?", sep == std::string::npos ? 0 : sep + 1) != std::string::npos;
}

bool Accepts(const WIN32_FIND_DATAW& entry, Attr attr) {
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return false;
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0)
        return false;
    return !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || attr == Attr::Directory;
}

} // namespace

// The threads doing this service's work now, by id, so that CancelCalls reaches the calls
// they are blocked in; and the thread that cancels them once the service is to give up.
struct Win32FileSystem::Workers {
    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    std::multiset<DWORD> threads;
    bool cancelling = false, ending = false;
    std::thread canceller;

    void Cancel() noexcept {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, kCancelGrace, [this] { return ending; });
        while (!ending) {
            for (DWORD id : threads) {
                const Handle thread(
                    OpenThread(THREAD_TERMINATE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, id));
                if (thread)
                    os.CancelSynchronousIo(thread.get());
            }
            changed.wait_for(lock, kCancelEvery, [this] { return ending; });
        }
    }
};

// The calling thread works for the service while this lives.
class Win32FileSystem::Working {
public:
    explicit Working(Win32FileSystem& fs) : workers_(*fs.workers_) {
        std::lock_guard lock(workers_.mutex);
        cancelled_ = workers_.cancelling;
        at_ = workers_.threads.insert(GetCurrentThreadId());
    }
    ~Working() {
        std::lock_guard lock(workers_.mutex);
        workers_.threads.erase(at_);
    }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;
    // The service was told to give up before this work began.
    bool Cancelled() const { return cancelled_; }

private:
    Workers& workers_;
    std::multiset<DWORD>::iterator at_;
    bool cancelled_ = false;
};

Win32FileSystem::Win32FileSystem(bool readBack)
    : buffers_(std::make_unique<CopyBuffers>()), workers_(std::make_unique<Workers>()),
      readBack_(readBack) {}

Win32FileSystem::~Win32FileSystem() {
    {
        std::lock_guard lock(workers_->mutex);
        workers_->ending = true;
    }
    workers_->changed.notify_all();
    if (workers_->canceller.joinable())
        workers_->canceller.join();
}

void Win32FileSystem::CancelCalls() {
    Workers& w = *workers_;
    std::lock_guard lock(w.mutex);
    if (w.cancelling)
        return;
    w.cancelling = true;
    try {
        w.canceller = std::thread([&w] { w.Cancel(); });
    } catch (const std::system_error&) {
        // No thread to cancel with: the calls under way end as the system ends them.
    }
}

namespace {
// The length of the root of a "\\?\" path: "\\?\X:\" or "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& path) {
    constexpr std::wstring_view unc = L"\\\\?\\UNC\\";
    if (path.compare(0, unc.size(), unc) != 0)
        return std::min<std::size_t>(path.size(), 7);
    const std::size_t server = path.find(L'\\', unc.size());
    const std::size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
}
} // namespace

bool Win32FileSystem::Gone(const std::string& folder) {
    const Working working(*this);
    std::wstring path = ToWinPath(folder);
    // Without its last separator, except at the root of a drive or a share, which needs it.
    while (path.size() > RootLength(path) && path.back() == L'\\')
        path.pop_back();
    const DWORD attributes = os.GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:            // a card reader or drive without its medium
    case ERROR_DEVICE_NOT_CONNECTED: // a stick pulled out
    case ERROR_DEV_NOT_EXIST:        // a network resource or device no longer available
    case ERROR_NETNAME_DELETED:      // a share dropped
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
        return true;
    default:
        return false; // it answers, or the system cannot tell
    }
}

Result<std::string> Win32FileSystem::Exists(const std::string& pathOrPattern, Attr attr) {
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, "Exists");
    find_.reset();
    std::string path = pathOrPattern;
    // "C:\dir\" means the folder itself; the find functions want it without the separator.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    WIN32_FIND_DATAW entry;
    const std::wstring wide = ToWinPath(path);
    if (wide.size() > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, "Exists");
    FindHandle found(os.FindFirstFileExW(wide.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
    if (!found) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ||
            err == ERROR_NO_MORE_FILES)
            return std::string();
        return Win32Error(err, "Exists");
    }
    if (!IsPattern(path)) {
        // The find functions answer for a device name ("CON", "NUL.vqxdb") as if a file were
        // there; no file is.
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (IsDeviceName(name))
            return std::string();
        return Accepts(entry, attr) ? FromWide(entry.cFileName) : std::string();
    }
    find_ = std::move(found);
    findAttr_ = attr;
    if (Accepts(entry, attr))
        return FromWide(entry.cFileName);
    return Advance("Exists");
}

Result<std::string> Win32FileSystem::NextMatch() {
    const Working working(*this);
    if (!find_)
        return Win32Error(ERROR_INVALID_PARAMETER, "NextMatch");
    return Advance("NextMatch");
}

Result<std::string> Win32FileSystem::Advance(const char* source) {
    WIN32_FIND_DATAW entry;
    while (os.FindNextFileW(find_.get(), &entry)) {
        if (Accepts(entry, findAttr_))
            return FromWide(entry.cFileName);
    }
    const DWORD err = GetLastError();
    find_.reset();
    if (err == ERROR_NO_MORE_FILES)
        return std::string();
    return Win32Error(err, source);
}

Status Win32FileSystem::CopyFile(const std::string& source, const std::string& target,
                                 bool overwrite, const CopyProgress& progress) {
    constexpr const char* op = "CopyFile";
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, op);
    // An existing target file is the answer whatever the state of the source: "already
    // there". A folder, or another file whose alias the name is, is refused as such.
    const std::wstring dst = ToWinPath(target);
    if (dst.size() + kTemporaryMark.size() + kTemporaryDigits > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, op);
    std::wstring holder;
    if (const DWORD held = NameHolder(dst, holder);
        held != ERROR_SUCCESS && (held != ERROR_FILE_EXISTS || !overwrite))
        return CopyError(held, holder);

    SweepOnce(dst.substr(0, dst.find_last_of(L'\\')));
    WrittenCopy copy(dst, *buffers_);
    if (const DWORD err = copy.Write(ToWinPath(source), progress))
        return Win32Error(err, op);
    if (const DWORD err = copy.Flush())
        return Win32Error(err, op);
    const GoOn goOn = [&] { return !progress || progress(copy.size(), copy.size()); };
    if (const DWORD err = readBack_ ? copy.Verify(goOn) : ERROR_SUCCESS)
        return Win32Error(err, op);
    // A stop asked for during the last flush still cancels the copy: nothing has taken the
    // real name yet.
    if (!goOn())
        return Win32Error(ERROR_REQUEST_ABORTED, op);

    // The copy keeps the source's read-only mark, and Windows refuses to replace a read-only
    // file: an earlier backup of a read-only database would block every later one. The mark
    // comes off just for the replacement and goes back if it fails.
    const DWORD existing = overwrite ? os.GetFileAttributesW(dst.c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool unmarked = existing != INVALID_FILE_ATTRIBUTES &&
                          (existing & FILE_ATTRIBUTE_READONLY) &&
                          os.SetFileAttributesW(dst.c_str(), existing & ~FILE_ATTRIBUTE_READONLY);
    bool renamed = false;
    if (const DWORD err = copy.Name(overwrite, goOn, renamed)) {
        // The mark goes back on the earlier backup only, never on the copy that replaced it.
        if (unmarked && !renamed)
            os.SetFileAttributesW(dst.c_str(), existing);
        return CopyError(err, copy.holder());
    }
    return {};
}

// Copies into listed folders, several at once on the pool's threads.
class Win32FileSystem::Batch : public CopyBatch {
public:
    explicit Batch(Win32FileSystem& fs) : fs_(fs), pool_(kCopyThreads, kUnfinishedMost) {}

    Status Add(const std::string& source, const std::string& target, const GoOn& goOn) override {
        const Working working(fs_);
        if (working.Cancelled())
            return Win32Error(ERROR_OPERATION_ABORTED, "CopyFile");
        const std::wstring dst = ToWinPath(target);
        if (dst.size() + kTemporaryMark.size() + kTemporaryDigits > kLongestPathLength)
            return Win32Error(ERROR_FILENAME_EXCED_RANGE, "CopyFile");
        // Here, before any copy of the batch writes into the folder.
        fs_.SweepOnce(dst.substr(0, dst.find_last_of(L'\\')));
        if (!pool_.Add(target, std::make_unique<Job>(fs_, ToWinPath(source), dst), goOn))
            return Win32Error(ERROR_REQUEST_ABORTED, "CopyFile");
        return {};
    }

    std::vector<Finished> Collect(bool all, const GoOn& goOn) override {
        return pool_.Collect(all, goOn);
    }

private:
    struct Job : CopyPool::Job {
        Job(Win32FileSystem& fs, std::wstring source, const std::wstring& dst)
            : fs(fs), source(std::move(source)), copy(dst, *fs.buffers_) {}
        Status Run(const GoOn& goOn) override {
            const Working working(fs);
            if (working.Cancelled())
                return Win32Error(ERROR_OPERATION_ABORTED, "CopyFile");
            DWORD err = copy.Write(
                source, [&goOn](std::uint64_t, std::uint64_t) { return !goOn || goOn(); });
            if (!err)
                err = copy.Flush();
            if (!err && fs.readBack_)
                err = copy.Verify(goOn);
            if (!err && goOn && !goOn())
                err = ERROR_REQUEST_ABORTED;
            bool renamed = false;
            if (!err)
                err = copy.Name(false, goOn, renamed);
            if (err)
                return CopyError(err, copy.holder());
            return {};
        }
        Win32FileSystem& fs;
        std::wstring source;
        WrittenCopy copy;
    };

    Win32FileSystem& fs_;
    CopyPool pool_;
};

Result<std::unique_ptr<CopyBatch>> Win32FileSystem::StartBatch() {
    try {
        return std::unique_ptr<CopyBatch>(std::make_unique<Batch>(*this));
    } catch (const std::bad_alloc&) {
        return Win32Error(ERROR_NOT_ENOUGH_MEMORY, "CopyFile");
    }
}

Result<std::vector<std::string>> Win32FileSystem::ListFiles(const std::string& folder) {
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, "ListFiles");
    const std::wstring pattern = ToWinPath(folder) + L"\\*";
    if (pattern.size() > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, "ListFiles");
    WIN32_FIND_DATAW entry;
    FindHandle found(os.FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (!found) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return names;
        return Win32Error(err, "ListFiles");
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(FromWide(entry.cFileName));
    } while (os.FindNextFileW(found.get(), &entry));
    if (const DWORD err = GetLastError(); err != ERROR_NO_MORE_FILES)
        return Win32Error(err, "ListFiles");
    return names;
}

void Win32FileSystem::SweepOnce(const std::wstring& folder) {
    if (!swept_.insert(folder).second)
        return;
    const std::wstring mark(kTemporaryMark.begin(), kTemporaryMark.end());
    WIN32_FIND_DATAW entry;
    const FindHandle found(os.FindFirstFileExW((folder + L"\\*" + mark + L"*").c_str(),
                                               FindExInfoBasic, &entry, FindExSearchNameMatch,
                                               nullptr, 0));
    if (!found)
        return;
    // Never read-only, a folder or a link: the copy makes none of these. A temporary that a
    // running copy holds open shares nothing, so its delete fails, and it stays.
    constexpr DWORD kNotOurs =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(entry.dwFileAttributes & kNotOurs) && IsTemporaryName(FromWide(entry.cFileName)))
            os.DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
    } while (os.FindNextFileW(found.get(), &entry));
}

Status Win32FileSystem::MakeFolder(const std::string& path) {
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, "MakeFolder");
    const std::wstring wide = ToWinPath(path);
    if (wide.size() > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, "MakeFolder");
    if (!os.CreateDirectoryW(wide.c_str(), nullptr))
        return Win32Error(GetLastError(), "MakeFolder");
    return {};
}

Result<std::unique_ptr<TextStream>> Win32FileSystem::CreateTextFile(const std::string& path) {
    return Stream(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  "CreateTextFile");
}

Result<std::unique_ptr<TextStream>> Win32FileSystem::OpenTextFile(const std::string& path) {
    return Stream(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                  "OpenTextFile");
}

Result<std::uint64_t> Win32FileSystem::FileSize(const std::string& path) {
    const Working working(*this);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!os.GetFileAttributesExW(ToWinPath(path).c_str(), GetFileExInfoStandard, &data))
        return Win32Error(GetLastError(), "FileSize");
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Both checks reach the destination folder through the "\\?\" form: a folder deeper than
// MAX_PATH, or one whose name ends in a space or a dot, is asked about itself, not skipped or
// taken for its sibling.
Result<std::uint64_t> Win32FileSystem::FreeSpace(const std::string& folder) {
    const Working working(*this);
    std::wstring path = ToWinPath(folder);
    if (path.empty() || path.back() != L'\\')
        path += L'\\'; // a share is named with a trailing separator
    ULARGE_INTEGER available{};
    if (!os.GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr))
        return Win32Error(GetLastError(), "FreeSpace");
    return static_cast<std::uint64_t>(available.QuadPart);
}

Result<std::string> Win32FileSystem::FileSystemName(const std::string& folder) {
    const Working working(*this);
    // The volume of the folder itself, found through a handle: a folder can be a mounted
    // volume of its own, and the handle needs no path parsing.
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const File opened =
        OpenFile(ToWinPath(folder), 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    wchar_t name[MAX_PATH + 1] = {};
    if (!opened || !os.GetVolumeInformationByHandleW(opened.get(), nullptr, 0, nullptr, nullptr,
                                                     nullptr, name, MAX_PATH + 1))
        return Win32Error(GetLastError(), "FileSystemName");
    return FromWide(name);
}

Error Win32FileSystem::PlatformError(std::int32_t number, const std::string& source) const {
    // The numbers are HRESULTs of Win32 codes: the code is their low word.
    return Win32Error(static_cast<std::uint32_t>(number) & 0xFFFFu, source.c_str());
}

Error Win32FileSystem::FileNotFound(const std::string& source) const {
    return Win32Error(ERROR_FILE_NOT_FOUND, source.c_str());
}

} // namespace vqx::win32
