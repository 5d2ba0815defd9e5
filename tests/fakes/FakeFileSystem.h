// An in-memory file system for host tests, with failures injected per operation and path.
#pragma once

#include "platform/FileSystem.h"

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vqx::fake {

enum class Op {
    Exists,
    NextMatch,
    ListFiles,
    CopyFile,
    Flush, // a copy's data on its way to the disk: fails before the copy takes its name
    MakeFolder,
    CreateTextFile,
    OpenTextFile,
    WriteLine
};

class FakeFileSystem : public FileSystem {
public:
    struct Entry {
        std::string path; // as created (case kept)
        bool dir = false;
        bool hidden = false;
        bool system = false;
        bool locked = false; // open elsewhere without sharing
        std::string data;
    };

    // Tree set-up; parents are created as needed.
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, const std::string& data, bool hidden = false,
                 bool system = false);
    void Remove(const std::string& path);
    void Lock(const std::string& path, bool locked = true);

    const Entry* Find(const std::string& path) const;
    bool IsFile(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string Read(const std::string& path) const; // contents of a file, "" when absent
    std::vector<std::string> List() const;           // every path, sorted

    // The operation fails with `error` when its (first) path equals `path`, ignoring case.
    void FailOn(Op op, const std::string& path, Error error);
    // A copy calls its progress this many times; with `cancelAfter` set, a copy is also made to
    // fail with this error after that many progress calls (a disk that fills up mid-copy).
    void SetCopyChunks(int chunks) { copyChunks_ = chunks; }
    // With `times`, only the first so many copies fail.
    void FailCopyMidway(const std::string& target, int afterChunks, Error error, int times = -1);
    // The volume: free bytes and file-system name; unset, the system "cannot say".
    void SetFreeSpace(std::uint64_t bytes) { freeSpace_ = bytes; }
    void SetFileSystem(std::string name) { fileSystem_ = std::move(name); }
    // The size a file reports, for files too large to hold (4 GiB); its data stays as given.
    void SetSize(const std::string& path, std::uint64_t bytes) { sizes_[Key(path)] = bytes; }
    // A device that changes a byte on the way: the copy to `target` reads back other data.
    void CorruptOnTheWay(const std::string& target) { corrupt_.insert(Key(target)); }
    // A callback run when a given operation on a given path starts (to change the tree meanwhile).
    void OnCopy(std::function<void(const std::string& source)> hook) { onCopy_ = std::move(hook); }

    // Every call, as "Op path [path]".
    std::vector<std::string> calls;
    // The calls made on `windowThread` while `windowBusy` holds: the window's thread makes
    // none while a run is going, all of a run's file work being its worker's.
    std::thread::id windowThread;
    std::function<bool()> windowBusy;
    std::vector<std::string> windowCalls;

    static Error MakeError(std::int32_t number, const std::string& source);

    Result<std::string> Exists(const std::string& pathOrPattern, Attr attr) override;
    Result<std::string> NextMatch() override;
    Status CopyFile(const std::string& source, const std::string& target, bool overwrite,
                    const CopyProgress& progress) override;
    Result<std::vector<std::string>> ListFiles(const std::string& folder) override;
    Result<std::unique_ptr<CopyBatch>> StartBatch() override;
    Status MakeFolder(const std::string& path) override;
    Result<std::unique_ptr<TextStream>> CreateTextFile(const std::string& path) override;
    Result<std::unique_ptr<TextStream>> OpenTextFile(const std::string& path) override;
    Result<std::uint64_t> FileSize(const std::string& path) override;
    Result<std::uint64_t> FreeSpace(const std::string& folder) override;
    Result<std::string> FileSystemName(const std::string& folder) override;
    // A folder the tree no longer holds.
    bool Gone(const std::string& folder) override;
    void CancelCalls() override { cancelled = true; }
    // Whether CancelCalls was called (from any thread).
    std::atomic<bool> cancelled = false;
    Error FileNotFound(const std::string& source) const override;
    Error PlatformError(std::int32_t number, const std::string& source) const override;

private:
    friend class FakeTextStream;
    friend class FakeBatch;
    // A copy up to its last part: checks, then the source's data, calling progress per chunk.
    Result<std::string> Write(const std::string& source, const std::string& target, bool overwrite,
                              const CopyProgress& progress);
    // ASCII case folded; trailing spaces and dots stay, as the system keeps them in the
    // "\\?\" form of a path: "a " and "a" are two names.
    static std::string Key(const std::string& path);
    static std::string Parent(const std::string& path);
    void Record(std::string call);
    std::optional<Error> Injected(Op op, const std::string& path) const;
    // Removes the leftover temporaries of killed copies, the first time a copy writes there.
    void SweepOnce(const std::string& folder);

    std::map<std::string, Entry> entries_; // by Key(path)
    struct Fault {
        Op op;
        std::string key;
        Error error;
    };
    std::vector<Fault> faults_;
    struct Midway {
        std::string key;
        int after;
        Error error;
        int times; // failures left; negative: every copy
    };
    std::vector<Midway> midway_;
    int copyChunks_ = 1;
    std::function<void(const std::string&)> onCopy_;
    std::vector<std::string> pending_; // names left in the current enumeration
    std::set<std::string> swept_;      // folders (by Key) SweepOnce has seen
    std::optional<std::uint64_t> freeSpace_;
    std::optional<std::string> fileSystem_;
    std::map<std::string, std::uint64_t> sizes_; // by Key(path)
    std::set<std::string> corrupt_;              // targets, by Key
    bool enumerating_ = false;
};

} // namespace vqx::fake
