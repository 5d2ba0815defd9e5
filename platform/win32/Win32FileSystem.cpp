#include "platform/win32/Win32FileSystem.h"

#include "platform/CopyPool.h"
#include "platform/win32/CopyPipeline.h"
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#include <chrono>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

namespace vqx::win32 {
namespace {

// The threads that copy the files of a batch side by side, and how many copies may wait for
// them. Under Wine most of a small file's copy is name look-ups and the flush, which overlap.
constexpr std::size_t kCopyThreads = 8;
constexpr std::size_t kUnfinishedMost = 32;

// Told to give up, the service lets the calls under way end by themselves for this long (a
// temporary is removed where the device still answers), then cancels any still blocked, and
// again this often, for one that blocks later.
constexpr auto kCancelGrace = std::chrono::milliseconds(500);
constexpr auto kCancelEvery = std::chrono::milliseconds(20);

} // namespace

void Win32FileSystem::Workers::Cancel() noexcept {
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

Status Win32FileSystem::CopyFile(const std::string& source, const std::string& target,
                                 bool overwrite, const CopyProgress& progress) {
    constexpr const char* op = "CopyFile";
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, op);
    // An existing target file is the answer whatever the state of the source: "already
    // there". A folder, or another file whose alias the name is, is refused as such.
    const std::wstring dst = ToWinPath(target);
    if (TooLongForATemporary(dst))
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, op);
    std::wstring holder;
    if (const DWORD held = NameHolder(dst, holder);
        held != ERROR_SUCCESS && (held != ERROR_FILE_EXISTS || !overwrite))
        return CopyError(held, holder);

    SweepOnce(dst.substr(0, dst.find_last_of(L'\\')));
    WrittenCopy copy(dst, *buffers_);
    const GoOn goOn = [&] { return !progress || progress(copy.size(), copy.size()); };
    if (const DWORD err = copy.Make(ToWinPath(source), readBack_, progress, goOn))
        return Win32Error(err, op);

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
        if (TooLongForATemporary(dst))
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
            const CopyProgress progress = [&goOn](std::uint64_t, std::uint64_t) {
                return !goOn || goOn();
            };
            DWORD err = copy.Make(source, fs.readBack_, progress, goOn);
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

Error Win32FileSystem::PlatformError(std::int32_t number, const std::string& source) const {
    // The numbers are HRESULTs of Win32 codes: the code is their low word.
    return Win32Error(static_cast<std::uint32_t>(number) & 0xFFFFu, source.c_str());
}

Error Win32FileSystem::FileNotFound(const std::string& source) const {
    return Win32Error(ERROR_FILE_NOT_FOUND, source.c_str());
}

} // namespace vqx::win32
