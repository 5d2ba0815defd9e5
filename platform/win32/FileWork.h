// What the sources of Win32FileSystem share: opening a file through the calls' table, and the
// record of the threads at work for the service, which CancelCalls reaches.
#pragma once

#include "platform/win32/FileCalls.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHandles.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace vqx::win32 {

// Readers, writers and deleters all let in: for a handle that only asks.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline File OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                     DWORD flags) {
    return File(os.CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
}

// The threads doing this service's work now, by id, so that CancelCalls reaches the calls
// they are blocked in; and the thread that cancels them once the service is to give up.
struct Win32FileSystem::Workers {
    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    std::multiset<DWORD> threads;
    bool cancelling = false, ending = false;
    std::thread canceller;

    // Cancels the calls of the working threads once the grace is over, and again and again
    // until the service goes.
    void Cancel() noexcept;
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

} // namespace vqx::win32
