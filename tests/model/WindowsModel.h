// Windows' own rules for the file code, where Wine does not enforce them or does not have the
// cost. Installed through the file calls' table (platform/win32/FileCalls.h) for its lifetime,
// it holds every call of Win32FileSystem to:
//   - unbuffered access in whole, aligned sectors;
//   - one call at a time on a synchronous handle;
//   - Win32 path normalisation of a path without the "\\?\" prefix;
// and, where a test or the bench asks for them, to a device with its own speed behind a
// modelled system cache, and to the errors and blocked calls of a failing device.
// The real call still happens, so every file and byte is real.
#pragma once

#include "platform/win32/FileCalls.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vqx::model {

// The entries of the table, to name a call in a fault or a violation.
enum class Call {
    CreateFileW,
    ReadFile,
    WriteFile,
    FlushFileBuffers,
    SetFilePointerEx,
    GetFileSizeEx,
    GetFileInformationByHandleEx,
    SetFileInformationByHandle,
    CloseHandle,
    CancelSynchronousIo,
    GetFileAttributesW,
    GetFileAttributesExW,
    SetFileAttributesW,
    DeleteFileW,
    CreateDirectoryW,
    FindFirstFileExW,
    FindNextFileW,
    FindClose,
    GetDiskFreeSpaceExW,
    GetVolumeInformationByHandleW,
};
const char* NameOf(Call call);

// A volume with a speed of its own: files under `root` live on it.
struct Device {
    std::string root;          // a full path, UTF-8
    double writeBytesPerS = 0; // what the device writes...
    double readBytesPerS = 0;  // ...and reads, per second
    // Opens with FILE_FLAG_NO_BUFFERING fail with ERROR_INVALID_PARAMETER, as on file systems
    // and redirectors that do not support unbuffered access.
    bool refusesUnbuffered = false;
};

// A failure on demand.
struct Fault {
    Call call;
    unsigned long error = 0; // the Win32 code the call fails with
    // Only calls on a path under this one (for a handle, the path it was opened with, or last
    // renamed to); empty: any.
    std::string under;
    // Only the n-th matching call from now (1 for the next); 0: every matching call from now.
    int nth = 0;
    // Only calls of this FILE_INFO_BY_HANDLE_CLASS (FileRenameInfo...), for the two calls that
    // take one; negative: any.
    int infoClass = -1;
    // The call takes effect, then reports the error (a reply lost on the network).
    bool afterEffect = false;
    // The call waits until CancelSynchronousIo names its thread, then fails with
    // ERROR_OPERATION_ABORTED (a share that stopped answering); `error` is not used.
    bool block = false;
};

// A call that broke one of Windows' rules, and what it broke.
struct Violation {
    Call call;
    std::string path;
    std::string rule;
};

class WindowsModel {
public:
    // Installs the model in the table; one at a time.
    WindowsModel();
    // Puts the table back as it was. No file call may be under way.
    ~WindowsModel();
    WindowsModel(const WindowsModel&) = delete;
    WindowsModel& operator=(const WindowsModel&) = delete;

    void SetDevice(const Device& device);
    void Inject(const Fault& fault);
    void ClearFaults();

    // The violations so far, which the model then forgets.
    std::vector<Violation> TakeViolations();
    // Calls that had to wait because another thread's call on the same synchronous handle was
    // under way, and the longest such wait; the model then starts counting afresh.
    struct Waits {
        int calls = 0;
        double longestSeconds = 0;
        std::string example; // "WriteFile waited for FlushFileBuffers"
    };
    Waits TakeSerialisedWaits();
    // Calls waiting now for another's on the same synchronous handle.
    int WaitingCalls() const;
    // The bytes the device has written (unbuffered, written through, or from the cache) and
    // read (unbuffered: a cached read costs it nothing).
    struct DeviceBytes {
        std::uint64_t written = 0, read = 0;
    };
    DeviceBytes DeviceIo() const;
    // Opens refused because the device does not take unbuffered access.
    int RefusedUnbuffered() const;
    // Calls blocked now by a fault, waiting for CancelSynchronousIo.
    int BlockedCalls() const;
    // Lets every blocked call go, as if cancelled (a test that failed to, ending).
    void ReleaseBlockedCalls();

    // The calls of the table, as the model does them (public for the table only).
    struct Calls;

private:
    using Clock = std::chrono::steady_clock;
    struct FileState; // a file's bytes in the modelled cache
    struct HandleState;

    std::shared_ptr<HandleState> HandleOf(void* handle) const;
    void Forget(void* handle);

    win32::FileCalls saved_;   // the table before, and the system's functions to call
    mutable std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    std::map<void*, std::shared_ptr<HandleState>> handles_;
    std::map<std::wstring, std::shared_ptr<FileState>> files_;
    std::vector<Fault> faults_;
    std::vector<int> faultCounts_;
    std::vector<Violation> violations_;
    Waits waits_;
    int waiting_ = 0;
    int refused_ = 0;
    DeviceBytes deviceBytes_;
    struct Blocked {
        unsigned long thread;
        bool cancelled = false;
    };
    std::list<Blocked> blocked_;
    // The device and its cache.
    Device device_;
    bool hasDevice_ = false;
    Clock::time_point deviceFree_{}; // the device is busy until then
    std::uint64_t dirty_ = 0, writing_ = 0;
    std::deque<std::shared_ptr<FileState>> dirtyFiles_;
    bool ending_ = false;
    std::thread lazyWriter_;
};

} // namespace vqx::model
