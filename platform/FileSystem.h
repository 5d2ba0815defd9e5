// The file operations the utility relies on. Paths are UTF-8 full paths with "\" separators,
// already normalised ("." and ".." resolved, no repeated separators): every name in them is
// taken exactly as written, so "a ", "b." and "a" are three different names.
#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vqx {

// Attribute values of the existence test.
enum class Attr : int {
    Normal = 0,     // plain files only (neither hidden nor system), never folders
    Directory = 16, // folders as well as plain files
    Archive = 32,   // same as Normal
};

// Called between chunks of a long copy with the bytes copied so far and the file's size, and
// while the copy waits for a busy target; return false to cancel the copy.
using CopyProgress = std::function<bool(std::uint64_t copied, std::uint64_t size)>;
// Asked while a piece of work waits or goes on; false gives it up.
using GoOn = std::function<bool()>;

// Copies into folders that the caller has listed, several at once on threads of the service's
// own, so that while one copy waits for the disk or a name look-up the others go on. Each copy
// is made as CopyFile makes it (on disk and read back before it takes its real name), and
// never takes the name of a file already there.
class CopyBatch {
public:
    struct Finished {
        std::string target;
        Status status; // errnum::FileExists when a file took the name first
    };
    // Copies not in place yet are stopped and discarded, leaving nothing behind; the batch
    // waits for those under way to stop.
    virtual ~CopyBatch() = default;
    // Hands over the copy of `source` to `target`, once the batch has room (asking `goOn`
    // meanwhile: false gives this copy up). A failure comes back here or from Collect.
    virtual Status Add(const std::string& source, const std::string& target, const GoOn& goOn) = 0;
    // The copies that have ended since the last call, in the order they ended. With
    // `all`, waits for every copy added so far, asking `goOn` every few milliseconds; once it
    // says false, returns what has ended.
    virtual std::vector<Finished> Collect(bool all, const GoOn& goOn) = 0;
};

// A text file opened for one line in or out; the destructor closes it.
class TextStream {
public:
    virtual ~TextStream() = default;
    // Writes the text and CR LF. The file is written in the system's ANSI code page when that
    // represents the text exactly, otherwise in UTF-8 with a byte-order mark.
    virtual Status WriteLine(const std::string& text) = 0;
    // Reads the first line, without its line break. Reads a bounded prefix of the file only and
    // stops at a NUL; accepts ANSI text, UTF-8 with a byte-order mark, and UTF-16 LE with a
    // byte-order mark (Notepad's "Unicode").
    virtual Result<std::string> ReadLine() = 0;
    virtual Status Close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The name part of the first entry that matches a path or a pattern ("*" and "?" in the
    // last element) with the attribute value; empty text when nothing matches. A pattern
    // starts the one enumeration that NextMatch continues.
    virtual Result<std::string> Exists(const std::string& pathOrPattern, Attr attr) = 0;
    // The next name of the last pattern; empty text at its end.
    virtual Result<std::string> NextMatch() = 0;

    // Copies one file. The target never holds a partial copy under its real name: the data
    // goes to a new hidden temporary file beside it, under a name no other file has, that takes
    // the real name only once it is complete, flushed and read back from the device equal to
    // what was read from the source (otherwise errnum::Crc); a target held open for a moment by
    // another program is waited for, briefly. The first copy into a folder removes the
    // temporaries that killed runs left there. overwrite=false fails when the target exists,
    // without reading the source, and leaves the target unchanged. progress is called between
    // chunks and while waiting, and may cancel.
    virtual Status CopyFile(const std::string& source, const std::string& target, bool overwrite,
                            const CopyProgress& progress = {}) = 0;

    // The names of the files in a folder (hidden and system ones too; no folders), in the
    // order the system gives them; none for a folder that does not exist.
    virtual Result<std::vector<std::string>> ListFiles(const std::string& folder) = 0;
    // A batch of copies into folders that the caller has listed.
    virtual Result<std::unique_ptr<CopyBatch>> StartBatch() = 0;

    // Creates one folder level; fails when it exists or its parent is missing.
    virtual Status MakeFolder(const std::string& path) = 0;

    // Creates or replaces a text file for writing.
    virtual Result<std::unique_ptr<TextStream>> CreateTextFile(const std::string& path) = 0;
    // Opens an existing file for reading as text.
    virtual Result<std::unique_ptr<TextStream>> OpenTextFile(const std::string& path) = 0;

    // The size of a file, in bytes.
    virtual Result<std::uint64_t> FileSize(const std::string& path) = 0;
    // The bytes this user may still write on the volume that holds `folder` (quotas count).
    virtual Result<std::uint64_t> FreeSpace(const std::string& folder) = 0;
    // The name of the file system of the volume that holds `folder`: "NTFS", "FAT32"...
    virtual Result<std::string> FileSystemName(const std::string& folder) = 0;

    // Whether a folder has gone: it is not found any more, or its device or share has gone
    // away (not ready, disconnected, the network name deleted). False while it is there, and
    // when the system cannot tell.
    virtual bool Gone(const std::string& folder) = 0;

    // From now on the calls of this service's threads give up: one blocked in the system (on a
    // share that stopped answering) returns as cancelled once a short grace has passed, as does
    // one that blocks later, and new operations fail at once. For a run that is ending. Safe
    // from any thread.
    virtual void CancelCalls() {}

    // The platform's own error for a file that does not exist.
    virtual Error FileNotFound(const std::string& source) const = 0;
    // The platform's own error for one of the numbers below (its description in the system's
    // words).
    virtual Error PlatformError(std::int32_t number, const std::string& source) const = 0;
};

// A file-system service is created for each piece of work and released at its end.
using FileSystemFactory = std::function<Result<std::unique_ptr<FileSystem>>()>;

// Well-known numbers: HRESULT_FROM_WIN32 of the Win32 code, as the platform reports them.
namespace errnum {
constexpr std::int32_t Win32(std::uint32_t code) {
    return static_cast<std::int32_t>(code == 0 ? 0u : (0x80070000u | (code & 0xFFFFu)));
}
constexpr std::int32_t FileNotFound = Win32(2);
constexpr std::int32_t PathNotFound = Win32(3);
constexpr std::int32_t AccessDenied = Win32(5);
constexpr std::int32_t SharingViolation = Win32(32);
constexpr std::int32_t FileExists = Win32(80);
constexpr std::int32_t Crc = Win32(23);
constexpr std::int32_t DiskFull = Win32(112);
constexpr std::int32_t FileTooLarge = Win32(223);
constexpr std::int32_t InvalidName = Win32(123);
constexpr std::int32_t AlreadyExists = Win32(183);
constexpr std::int32_t Cancelled = Win32(1235);
constexpr std::int32_t Aborted = Win32(995); // a call cancelled while under way
// A name that another file of the folder holds as its short (8.3) alias: the name exists, but
// is not that file's own.
constexpr std::int32_t NameTaken = Win32(698);
// A failure of the program itself (E_UNEXPECTED).
constexpr std::int32_t Internal = static_cast<std::int32_t>(0x8000FFFFu);
} // namespace errnum

} // namespace vqx
