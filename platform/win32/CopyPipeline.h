// One file on its way to its target, the same way for the database and for each file of the
// data centre: the source read into a temporary beside the target, flushed, read back from the
// device and compared, then given the target's name. The policy around it (progress, stopping,
// what an existing target means) is the caller's.
#pragma once

#include "platform/FileSystem.h"
#include "platform/win32/TempFile.h"
#include "platform/win32/WinHandles.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vqx::win32 {

// Page-aligned pieces of memory for the copies, kept for the file system's life: a copy borrows
// one and gives it back, so the copying threads reuse the same few pieces instead of an
// allocation, its zero-filled pages and their release for every file.
class CopyBuffers {
public:
    struct PagesFree {
        void operator()(std::byte* pages) const;
    };
    using Piece = std::unique_ptr<std::byte[], PagesFree>;

    // kCopyPieceMost bytes; empty when memory is short.
    Piece Borrow();
    void GiveBack(Piece piece);

private:
    std::mutex mutex_; // guards free_
    std::vector<Piece> free_;
};

// Whether a target's path leaves no room for a temporary's name beside it.
bool TooLongForATemporary(const std::wstring& target);

// What holds a name in its folder: nothing (0); a folder (ERROR_ACCESS_DENIED: it is not a
// copy of anything); a file of that very name (ERROR_FILE_EXISTS); or a file of another name
// whose short (8.3) alias it is, as on FAT sticks (kNameTaken, with its name in `holder`): a
// copy under that name would never exist.
DWORD NameHolder(const std::wstring& path, std::wstring& holder);

// A copy's failure as the caller sees it: a name held as another file's alias says which.
Error CopyError(DWORD code, const std::wstring& holder);

// One file on its way (`Make`), then given the target's name and the source's attributes
// (`Name`). Until then it keeps the hidden mark, so a run killed at any moment leaves nothing
// visible and the next one recognises the leftover; it is deleted again unless it got its name.
class WrittenCopy {
public:
    WrittenCopy(std::wstring dst, CopyBuffers& buffers);
    ~WrittenCopy();
    WrittenCopy(const WrittenCopy&) = delete;
    WrittenCopy& operator=(const WrittenCopy&) = delete;

    // The source into the temporary, on the device, read back (unless `readBack` is false) and
    // compared; a stop asked for meanwhile still cancels it, since nothing has its name yet.
    // `progress` is called between pieces and may cancel; `goOn` while reading back. Returns
    // the Win32 error or 0; ERROR_CRC when the device gave back other data.
    DWORD Make(const std::wstring& source, bool readBack, const CopyProgress& progress,
               const GoOn& goOn);

    // Gives the copy its name, then its final attributes; the Win32 error or 0. `renamed`
    // tells whether it has its name, error or not: a copy with its name is in place for good.
    DWORD Name(bool replace, const GoOn& goOn, bool& renamed);

    // The file that holds the target's name as its alias, after kNameTaken.
    const std::wstring& holder() const { return holder_; }
    ULONGLONG size() const { return size_; }

private:
    class Hash; // of the data written, then of the data read back

    DWORD Write(const std::wstring& source, const CopyProgress& progress);
    DWORD Flush();
    DWORD Verify(const GoOn& goOn);

    std::wstring dst_;
    CopyBuffers& buffers_;
    CopyBuffers::Piece buffer_; // from Write to the end of Verify
    std::unique_ptr<Hash> hash_;
    TempCopy tmp_;
    ULONGLONG size_ = 0;
    DWORD attributes_ = 0;
    std::wstring holder_;
};

} // namespace vqx::win32
