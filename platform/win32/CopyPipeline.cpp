#include "platform/win32/CopyPipeline.h"

#include "platform/CopyTemporary.h"
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace vqx::win32 {
namespace {

// A copy is written without the system's cache, and read back the same way: in whole sectors,
// from memory aligned to them. A page is a whole number of sectors of every current disk, and
// aligned to them. The copy goes in pieces large enough to amortise the calls (writes of 1 MiB
// and more are up to 5 times slower on some machines); the read-back in larger ones: fewer
// calls, the same device time.
constexpr DWORD kSector = 4096;
constexpr DWORD kCopyChunk = 256u << 10;
constexpr DWORD kVerifyChunk = 1u << 20;
constexpr DWORD kCopyPieceMost = std::max(kCopyChunk, kVerifyChunk);
static_assert(kCopyChunk % kSector == 0 && kVerifyChunk % kSector == 0);

// The attributes a copy may carry over; compression, encryption, sparseness and the like
// belong to the source's volume, not to the data.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The size of the pieces a file of `size` bytes is copied or read back in: whole sectors, at
// most `most`.
DWORD PieceSize(ULONGLONG size, DWORD most) {
    return static_cast<DWORD>(
        std::clamp<ULONGLONG>((size + kSector - 1) / kSector * kSector, kSector, most));
}

} // namespace

void CopyBuffers::PagesFree::operator()(std::byte* pages) const {
    ::operator delete[](pages, std::align_val_t(kSector));
}

CopyBuffers::Piece CopyBuffers::Borrow() {
    {
        std::lock_guard lock(mutex_);
        if (!free_.empty()) {
            Piece piece = std::move(free_.back());
            free_.pop_back();
            return piece;
        }
    }
    return Piece(new (std::align_val_t(kSector), std::nothrow) std::byte[kCopyPieceMost]);
}

void CopyBuffers::GiveBack(Piece piece) {
    if (!piece)
        return;
    std::lock_guard lock(mutex_);
    try {
        free_.push_back(std::move(piece));
    } catch (const std::bad_alloc&) {
        // Not kept: freed here.
    }
}

bool TooLongForATemporary(const std::wstring& target) {
    return target.size() + kTemporaryMark.size() + kTemporaryDigits > kLongestPathLength;
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

class WrittenCopy::Hash {
public:
    Hash() : state(XXH3_createState()) {}
    ~Hash() { XXH3_freeState(state); }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    XXH3_state_t* state; // null when memory was short
};

WrittenCopy::WrittenCopy(std::wstring dst, CopyBuffers& buffers)
    : dst_(std::move(dst)), buffers_(buffers), hash_(std::make_unique<Hash>()) {}

WrittenCopy::~WrittenCopy() {
    buffers_.GiveBack(std::move(buffer_));
}

DWORD WrittenCopy::Make(const std::wstring& source, bool readBack, const CopyProgress& progress,
                        const GoOn& goOn) {
    if (const DWORD err = Write(source, progress))
        return err;
    if (const DWORD err = Flush())
        return err;
    if (const DWORD err = readBack ? Verify(goOn) : ERROR_SUCCESS)
        return err;
    return goOn && !goOn() ? ERROR_REQUEST_ABORTED : ERROR_SUCCESS;
}

// The rename is durable only with the data under it on the device, and no rename flushes the
// file itself: this writes what the system still holds of it (its size and times, after
// unbuffered writes) and has the device empty its own cache.
DWORD WrittenCopy::Flush() {
    return os.FlushFileBuffers(tmp_.handle()) ? ERROR_SUCCESS : GetLastError();
}

DWORD WrittenCopy::Write(const std::wstring& source, const CopyProgress& progress) {
    // Reading shared with readers only: nobody can change the source while it is copied.
    File src =
        OpenFile(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!src)
        return GetLastError();
    // Not GetFileInformationByHandle: it also asks for the volume's serial number, which
    // under Wine is a round trip to its mount manager, longer than copying a small file.
    FILE_BASIC_INFO info;
    FILE_STANDARD_INFO standard;
    if (!os.GetFileInformationByHandleEx(src.get(), FileBasicInfo, &info, sizeof info) ||
        !os.GetFileInformationByHandleEx(src.get(), FileStandardInfo, &standard, sizeof standard))
        return GetLastError();
    size_ = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
    attributes_ = info.FileAttributes & kCopiedAttributes;

    if (!buffer_)
        buffer_ = buffers_.Borrow();
    std::byte* const buffer = buffer_.get();
    if (!buffer || !hash_->state || XXH3_64bits_reset(hash_->state) != XXH_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    if (const DWORD err = tmp_.Create(dst_))
        return err;

    // Pieces no larger than the file: a read or write touches all the memory it is given
    // (Windows locks it for unbuffered access), and a small file need not touch more.
    const DWORD chunk = PieceSize(size_, kCopyChunk);
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
        XXH3_64bits_update(hash_->state, buffer, filled);
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

// Reads the copy back from its device, past the system's cache, and compares it with what was
// read from the source: a device that accepts writes and returns other data (a worn or
// fake-capacity stick) shows here, not on the day the backup is needed. Once flushed only.
DWORD WrittenCopy::Verify(const GoOn& goOn) {
    const XXH64_hash_t written = XXH3_64bits_digest(hash_->state);
    // Written unbuffered, the copy's own handle reads from the device. Otherwise a handle
    // of its own, by the temporary's name, which nobody can take meanwhile (the copy shares
    // neither writing nor deleting): unbuffered where the file system allows that for
    // reading, else through the cache, which then proves what the file system returns
    // rather than what the device holds. Not ReOpenFile: some redirectors refuse it.
    File own;
    HANDLE back = tmp_.handle();
    if (!tmp_.unbuffered()) {
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
    if (!buffer || XXH3_64bits_reset(hash_->state) != XXH_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    // Whole pieces from the start. The piece that comes back short holds the end: a
    // further read would start at the end of the file, not on a sector boundary, which
    // unbuffered access forbids.
    const LARGE_INTEGER start{};
    if (!os.SetFilePointerEx(back, start, nullptr, FILE_BEGIN))
        return GetLastError();
    const DWORD chunk = PieceSize(size_, kVerifyChunk);
    ULONGLONG read = 0;
    for (;;) {
        DWORD got = 0;
        if (!os.ReadFile(back, buffer, chunk, &got, nullptr))
            return GetLastError();
        XXH3_64bits_update(hash_->state, buffer, got);
        read += got;
        if (goOn && !goOn())
            return ERROR_REQUEST_ABORTED;
        if (got < chunk)
            break;
    }
    // Not needed any more: another copy may have it while this one is named.
    buffers_.GiveBack(std::move(buffer_));
    if (read != size_ || XXH3_64bits_digest(hash_->state) != written)
        return ERROR_CRC;
    return ERROR_SUCCESS;
}

DWORD WrittenCopy::Name(bool replace, const GoOn& goOn, bool& renamed) {
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

} // namespace vqx::win32
