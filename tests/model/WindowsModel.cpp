#include "tests/model/WindowsModel.h"

#include "platform/win32/WinText.h"

#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cwctype>
#include <stdexcept>
#include <utility>

namespace vqx::model {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Unbuffered access goes in whole sectors; 4096 bytes is the largest sector of current disks.
constexpr std::uint64_t kSector = 4096;
// Windows' cache manager makes writers wait once this much is dirty (it scales with memory;
// this is a small machine's figure).
constexpr std::uint64_t kDirtyLimit = 64ull << 20;
// What the lazy writer writes at a time.
constexpr std::uint64_t kLazyWrite = 1ull << 20;

WindowsModel* installed = nullptr;

bool StartsWith(const std::wstring& s, const wchar_t* prefix) {
    return s.compare(0, std::wcslen(prefix), prefix) == 0;
}

// A path as the model compares paths: without the "\\?\" form, "\" only, in upper case.
std::wstring Key(std::wstring path) {
    if (StartsWith(path, L"\\\\?\\UNC\\"))
        path = L"\\\\" + path.substr(8);
    else if (StartsWith(path, L"\\\\?\\"))
        path = path.substr(4);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    for (wchar_t& c : path)
        c = static_cast<wchar_t>(std::towupper(c));
    return path;
}

bool IsUnder(const std::wstring& key, const std::wstring& root) {
    if (root.empty() || key.compare(0, root.size(), root) != 0)
        return false;
    return key.size() == root.size() || key[root.size()] == L'\\' || root.back() == L'\\';
}

// Win32 path normalisation, as Windows applies it to a full path without the "\\?\" form
// (documented under "File path formats on Windows systems"): such a path is limited to
// MAX_PATH characters; runs of separators collapse; "." and ".." are resolved; a segment
// that ends in a single period loses it; and unless the path ends in a separator, its
// trailing periods and spaces go. The result is handed on in the "\\?\" form, so that Wine,
// whose own normalisation differs in places, adds nothing. Any other path passes as it is.
// Returns the error Windows would give, or 0.
DWORD Normalise(const wchar_t* in, std::wstring& out) {
    out = in ? in : L"";
    if (StartsWith(out, L"\\\\?\\") || StartsWith(out, L"\\\\.\\"))
        return ERROR_SUCCESS;
    std::replace(out.begin(), out.end(), L'/', L'\\');
    const bool drive = out.size() >= 3 && out[1] == L':' && out[2] == L'\\';
    const bool unc = out.size() >= 3 && out[0] == L'\\' && out[1] == L'\\' && out[2] != L'\\';
    if (!drive && !unc)
        return ERROR_SUCCESS;
    if (out.size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    const std::wstring root = drive ? out.substr(0, 3) : L"\\\\";
    const bool endsInSeparator = out.back() == L'\\';
    std::vector<std::wstring> segments;
    std::size_t at = root.size();
    while (at <= out.size()) {
        std::size_t end = out.find(L'\\', at);
        if (end == std::wstring::npos)
            end = out.size();
        std::wstring segment = out.substr(at, end - at);
        at = end + 1;
        if (segment.empty() || segment == L".")
            continue;
        if (segment == L"..") {
            if (!segments.empty())
                segments.pop_back();
            continue;
        }
        if (segment.back() == L'.' && (segment.size() < 2 || segment[segment.size() - 2] != L'.'))
            segment.pop_back();
        segments.push_back(segment);
    }
    std::wstring path = root;
    for (std::size_t i = 0; i < segments.size(); ++i)
        path += (i ? L"\\" : L"") + segments[i];
    if (endsInSeparator && !segments.empty())
        path += L'\\';
    else
        while (path.size() > root.size() && (path.back() == L'.' || path.back() == L' '))
            path.pop_back();
    out = unc ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
    return ERROR_SUCCESS;
}

std::uint64_t Offset(const OVERLAPPED& overlapped) {
    return (static_cast<std::uint64_t>(overlapped.OffsetHigh) << 32) | overlapped.Offset;
}

} // namespace

const char* NameOf(Call call) {
    switch (call) {
    case Call::CreateFileW:
        return "CreateFileW";
    case Call::ReadFile:
        return "ReadFile";
    case Call::WriteFile:
        return "WriteFile";
    case Call::FlushFileBuffers:
        return "FlushFileBuffers";
    case Call::SetFilePointerEx:
        return "SetFilePointerEx";
    case Call::GetFileSizeEx:
        return "GetFileSizeEx";
    case Call::GetFileInformationByHandleEx:
        return "GetFileInformationByHandleEx";
    case Call::SetFileInformationByHandle:
        return "SetFileInformationByHandle";
    case Call::CloseHandle:
        return "CloseHandle";
    case Call::CancelSynchronousIo:
        return "CancelSynchronousIo";
    case Call::GetFileAttributesW:
        return "GetFileAttributesW";
    case Call::GetFileAttributesExW:
        return "GetFileAttributesExW";
    case Call::SetFileAttributesW:
        return "SetFileAttributesW";
    case Call::DeleteFileW:
        return "DeleteFileW";
    case Call::CreateDirectoryW:
        return "CreateDirectoryW";
    case Call::FindFirstFileExW:
        return "FindFirstFileExW";
    case Call::FindNextFileW:
        return "FindNextFileW";
    case Call::FindClose:
        return "FindClose";
    case Call::GetDiskFreeSpaceExW:
        return "GetDiskFreeSpaceExW";
    case Call::GetVolumeInformationByHandleW:
        return "GetVolumeInformationByHandleW";
    }
    return "?";
}

// A file's bytes in the modelled cache, under the path it was first opened by.
struct WindowsModel::FileState {
    std::uint64_t dirty = 0;   // written into the cache, not yet on the device
    std::uint64_t writing = 0; // on their way to the device
};

struct WindowsModel::HandleState {
    std::wstring path; // as Key() gives it
    bool unbuffered = false, synchronous = true, writeThrough = false, onDevice = false;
    std::shared_ptr<FileState> file;
    // Windows lets one call at a time through a synchronous handle (the file object's lock).
    std::mutex io;
    std::atomic<Call> inside = Call::CloseHandle; // the call holding `io`, for the record
};

// Each call of the table: the path rule, a fault where one is due, the handle's lock, the
// unbuffered rule, the device's time, then the system's own call.
struct WindowsModel::Calls {
    // The fault due to a call, if any: decided (or waited out, for a blocking one) when the
    // gate is made, before the call.
    class Gate {
    public:
        Gate(Call call, const std::wstring& path, int infoClass = -1) {
            WindowsModel& m = *installed;
            std::unique_lock lock(m.mutex_);
            for (std::size_t i = 0; i < m.faults_.size(); ++i) {
                const Fault& f = m.faults_[i];
                if (f.call != call || (f.infoClass >= 0 && f.infoClass != infoClass) ||
                    (!f.under.empty() && !IsUnder(path, Key(win32::ToWide(f.under)))))
                    continue;
                const int count = ++m.faultCounts_[i];
                if (f.nth != 0 && count != f.nth)
                    continue;
                fails_ = true;
                if (f.block) {
                    const auto me = m.blocked_.insert(m.blocked_.end(), {GetCurrentThreadId()});
                    m.changed_.notify_all();
                    m.changed_.wait(lock, [me] { return me->cancelled; });
                    m.blocked_.erase(me);
                    error_ = ERROR_OPERATION_ABORTED;
                    return;
                }
                error_ = f.error;
                afterEffect_ = f.afterEffect;
                return;
            }
        }
        // True when the call is to fail without taking place; the error is set.
        bool FailsBefore() const {
            if (fails_ && !afterEffect_)
                SetLastError(error_);
            return fails_ && !afterEffect_;
        }
        // The call took place with `result`: what its caller sees.
        template <class R> R After(R result, R failed) const {
            if (!fails_ || !afterEffect_ || result == failed)
                return result;
            SetLastError(error_);
            return failed;
        }

    private:
        bool fails_ = false, afterEffect_ = false;
        DWORD error_ = 0;
    };

    // The lock of a synchronous handle, held through the call; waits are counted.
    class Serialised {
    public:
        Serialised(HandleState* h, Call call) : h_(h) {
            if (!h_ || !h_->synchronous)
                return;
            std::unique_lock lock(h_->io, std::try_to_lock);
            if (!lock) {
                const Call holder = h_->inside;
                WindowsModel& m = *installed;
                {
                    std::lock_guard guard(m.mutex_);
                    ++m.waiting_;
                }
                const auto start = Clock::now();
                lock.lock();
                const double waited = Seconds(Clock::now() - start).count();
                std::lock_guard guard(m.mutex_);
                --m.waiting_;
                ++m.waits_.calls;
                if (waited >= m.waits_.longestSeconds) {
                    m.waits_.longestSeconds = waited;
                    m.waits_.example = std::string(NameOf(call)) + " waited for " + NameOf(holder);
                }
            }
            h_->inside = call;
            lock_ = std::move(lock);
        }

    private:
        HandleState* h_;
        std::unique_lock<std::mutex> lock_;
    };

    // The rights a handle was opened with, as the system keeps them.
    static ACCESS_MASK GrantedAccess(HANDLE handle) {
        using Query = LONG(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
        static const auto query =
            win32::Entry<Query>(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
        PUBLIC_OBJECT_BASIC_INFORMATION info{};
        if (!query || query(handle, ObjectBasicInformation, &info, sizeof info, nullptr) < 0)
            return 0;
        return info.GrantedAccess;
    }

    static WindowsModel& M() { return *installed; }
    static const win32::FileCalls& Real() { return installed->saved_; }

    static void Violate(Call call, const std::wstring& path, const char* rule) {
        std::lock_guard lock(M().mutex_);
        M().violations_.push_back({call, win32::FromWide(path), rule});
    }

    // The device writes or reads `bytes` after what it does already; sleeps until done.
    enum class Io { Write, Read };
    static void Occupy(std::uint64_t bytes, Io io) {
        if (bytes == 0)
            return;
        Clock::time_point done;
        {
            std::lock_guard lock(M().mutex_);
            DeviceBytes& counted = M().deviceBytes_;
            (io == Io::Write ? counted.written : counted.read) += bytes;
            const double rate =
                io == Io::Write ? M().device_.writeBytesPerS : M().device_.readBytesPerS;
            const double seconds = rate > 0 ? static_cast<double>(bytes) / rate : 0;
            done = std::max(M().deviceFree_, Clock::now()) +
                   std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
            M().deviceFree_ = done;
        }
        std::this_thread::sleep_until(done);
    }

    // Unbuffered access: the buffer's address, the length and the offset (the explicit one, or
    // the handle's position) in whole sectors. Windows may refuse anything else with
    // ERROR_INVALID_PARAMETER; the model always does, and records it.
    static bool Aligned(Call call, HANDLE file, HandleState& h, LPCVOID buffer, DWORD length,
                        const OVERLAPPED* overlapped) {
        std::uint64_t offset = 0;
        if (overlapped) {
            offset = Offset(*overlapped);
        } else {
            LARGE_INTEGER zero{}, position{};
            Real().SetFilePointerEx(file, zero, &position, FILE_CURRENT);
            offset = static_cast<std::uint64_t>(position.QuadPart);
        }
        const char* broken = nullptr;
        if (reinterpret_cast<std::uintptr_t>(buffer) % kSector != 0)
            broken = "unbuffered access from memory not aligned to a sector";
        else if (length % kSector != 0)
            broken = "unbuffered access of a length that is not whole sectors";
        else if (offset % kSector != 0)
            broken = "unbuffered access at an offset that is not a sector boundary";
        if (!broken)
            return true;
        Violate(call, h.path, broken);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }

    // A cached write of a file on the device: into the cache at once, unless the cache holds
    // too much already; then the writer waits, as Windows' cache manager makes it wait
    // (CcCanIWrite), for the lazy writer to catch up.
    static void IntoCache(const std::shared_ptr<FileState>& file, std::uint64_t bytes) {
        WindowsModel& m = M();
        std::unique_lock lock(m.mutex_);
        m.changed_.wait(lock, [&m] { return m.dirty_ + m.writing_ < kDirtyLimit || m.ending_; });
        if (file->dirty == 0)
            m.dirtyFiles_.push_back(file);
        file->dirty += bytes;
        m.dirty_ += bytes;
        m.changed_.notify_all();
    }

    // The device's time for a flush: the file's dirty bytes, written now, and those the lazy
    // writer has under way.
    static void Flush(FileState& file) {
        WindowsModel& m = M();
        std::unique_lock lock(m.mutex_);
        const std::uint64_t bytes = file.dirty;
        file.dirty = 0;
        m.dirty_ -= bytes;
        file.writing += bytes;
        m.writing_ += bytes;
        lock.unlock();
        Occupy(bytes, Io::Write);
        lock.lock();
        file.writing -= bytes;
        m.writing_ -= bytes;
        m.changed_.notify_all();
        m.changed_.wait(lock, [&file] { return file.writing == 0; });
    }

    static std::shared_ptr<HandleState> Opened(const std::wstring& path, DWORD flags) {
        auto h = std::make_shared<HandleState>();
        h->path = Key(path);
        h->unbuffered = (flags & FILE_FLAG_NO_BUFFERING) != 0;
        h->synchronous = (flags & FILE_FLAG_OVERLAPPED) == 0;
        h->writeThrough = (flags & FILE_FLAG_WRITE_THROUGH) != 0;
        std::lock_guard lock(M().mutex_);
        h->onDevice = M().hasDevice_ && IsUnder(h->path, Key(win32::ToWide(M().device_.root)));
        auto& file = M().files_[h->path];
        if (!file)
            file = std::make_shared<FileState>();
        h->file = file;
        return h;
    }

    // --- The entries ---

    static HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                     HANDLE templateFile) {
        std::wstring path;
        if (const DWORD err = Normalise(name, path)) {
            SetLastError(err);
            return INVALID_HANDLE_VALUE;
        }
        const Gate gate(Call::CreateFileW, Key(path));
        if (gate.FailsBefore())
            return INVALID_HANDLE_VALUE;
        {
            std::lock_guard lock(M().mutex_);
            if ((flags & FILE_FLAG_NO_BUFFERING) && M().hasDevice_ &&
                M().device_.refusesUnbuffered &&
                IsUnder(Key(path), Key(win32::ToWide(M().device_.root)))) {
                ++M().refused_;
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
        }
        HANDLE file = Real().CreateFileW(path.c_str(), access, share, security, disposition, flags,
                                         templateFile);
        const DWORD err = GetLastError();
        if (file == INVALID_HANDLE_VALUE)
            return file;
        if (gate.After(file, INVALID_HANDLE_VALUE) == INVALID_HANDLE_VALUE) {
            const DWORD failure = GetLastError();
            Real().CloseHandle(file); // made, then reported as failed: nobody holds it
            SetLastError(failure);
            return INVALID_HANDLE_VALUE;
        }
        auto state = Opened(path, flags);
        {
            std::lock_guard lock(M().mutex_);
            M().handles_[file] = std::move(state);
        }
        SetLastError(err);
        return file;
    }

    // What a read or a write goes through before the system's call: the handle's lock (held
    // until the transfer ends), the faults, and the unbuffered rule.
    class Transfer {
    public:
        Transfer(Call call, HANDLE file, LPCVOID buffer, DWORD length, const OVERLAPPED* at)
            : h(M().HandleOf(file)), serialised_(h.get(), call), gate(call, h ? h->path : L"") {
            refused_ = gate.FailsBefore() ||
                       (h && h->unbuffered && !Aligned(call, file, *h, buffer, length, at));
        }
        // The call is not to happen; the error is set.
        bool Refused() const { return refused_; }

        const std::shared_ptr<HandleState> h;

    private:
        Serialised serialised_;

    public:
        const Gate gate;

    private:
        bool refused_ = false;
    };

    static BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD got,
                                LPOVERLAPPED overlapped) {
        const Transfer t(Call::ReadFile, file, buffer, length, overlapped);
        if (t.Refused())
            return FALSE;
        const BOOL ok = Real().ReadFile(file, buffer, length, got, overlapped);
        const DWORD err = GetLastError();
        if (ok && t.h && t.h->onDevice && t.h->unbuffered && got)
            Occupy((*got + kSector - 1) / kSector * kSector, Io::Read);
        SetLastError(err);
        return t.gate.After(ok, FALSE);
    }

    static BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD put,
                                 LPOVERLAPPED overlapped) {
        const Transfer t(Call::WriteFile, file, buffer, length, overlapped);
        if (t.Refused())
            return FALSE;
        if (t.h && t.h->onDevice) {
            if (t.h->unbuffered || t.h->writeThrough)
                Occupy(length, Io::Write);
            else
                IntoCache(t.h->file, length);
        }
        return t.gate.After(Real().WriteFile(file, buffer, length, put, overlapped), FALSE);
    }

    static BOOL WINAPI FlushFileBuffers(HANDLE file) {
        auto h = M().HandleOf(file);
        Serialised serialised(h.get(), Call::FlushFileBuffers);
        const Gate gate(Call::FlushFileBuffers, h ? h->path : L"");
        if (gate.FailsBefore())
            return FALSE;
        if (h && h->onDevice)
            Flush(*h->file);
        return gate.After(Real().FlushFileBuffers(file), FALSE);
    }

    // A call on a handle with nothing of its own to model: the handle's lock and the faults.
    template <Call call, auto Entry, class... Args>
    static BOOL WINAPI OnHandle(HANDLE file, Args... args) {
        auto h = M().HandleOf(file);
        Serialised serialised(h.get(), call);
        const Gate gate(call, h ? h->path : L"");
        if (gate.FailsBefore())
            return FALSE;
        return gate.After((Real().*Entry)(file, args...), BOOL{FALSE});
    }

    // A call with a class of information: the faults may ask for one class only.
    template <Call call, auto Entry>
    static BOOL OnInfo(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
        auto h = M().HandleOf(file);
        Serialised serialised(h.get(), call);
        const Gate gate(call, h ? h->path : L"", kind);
        if (gate.FailsBefore())
            return FALSE;
        return gate.After((Real().*Entry)(file, kind, info, size), BOOL{FALSE});
    }

    static BOOL WINAPI GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                                    LPVOID info, DWORD size) {
        return OnInfo<Call::GetFileInformationByHandleEx,
                      &win32::FileCalls::GetFileInformationByHandleEx>(file, kind, info, size);
    }

    static BOOL WINAPI SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                                  LPVOID info, DWORD size) {
        const BOOL ok =
            OnInfo<Call::SetFileInformationByHandle, &win32::FileCalls::SetFileInformationByHandle>(
                file, kind, info, size);
        // A rename, even one reported as failed, may have moved the file: the handle is asked.
        if (kind == FileRenameInfo) {
            const DWORD err = GetLastError();
            if (auto h = M().HandleOf(file)) {
                std::wstring now(MAX_PATH, L'\0');
                for (;;) {
                    const DWORD n = GetFinalPathNameByHandleW(file, now.data(),
                                                              static_cast<DWORD>(now.size()), 0);
                    if (n == 0)
                        break;
                    if (n < now.size()) {
                        now.resize(n);
                        std::lock_guard lock(M().mutex_);
                        h->path = Key(now);
                        break;
                    }
                    now.resize(n + 1);
                }
            }
            SetLastError(err);
        }
        return ok;
    }

    static BOOL WINAPI CloseHandle(HANDLE handle) {
        // Forgotten before it is closed: once closed, another thread may get the same value.
        M().Forget(handle);
        return Real().CloseHandle(handle);
    }

    // Windows cancels only through a handle that may end the thread (THREAD_TERMINATE).
    static BOOL WINAPI CancelSynchronousIo(HANDLE thread) {
        if (!(GrantedAccess(thread) & THREAD_TERMINATE)) {
            Violate(Call::CancelSynchronousIo, L"", "a thread handle without THREAD_TERMINATE");
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        const DWORD id = GetThreadId(thread);
        {
            std::lock_guard lock(M().mutex_);
            for (Blocked& b : M().blocked_) {
                if (b.thread == id && !b.cancelled) {
                    b.cancelled = true;
                    M().changed_.notify_all();
                    return TRUE;
                }
            }
        }
        return Real().CancelSynchronousIo(thread);
    }

    // A call on a path: the path rule and the faults. `Failed` is the call's failure value.
    template <Call call, auto Entry, auto Failed, class R, class... Args>
    static R OnPath(LPCWSTR name, Args... args) {
        std::wstring path;
        if (const DWORD err = Normalise(name, path)) {
            SetLastError(err);
            return Failed;
        }
        const Gate gate(call, Key(path));
        if (gate.FailsBefore())
            return Failed;
        return gate.After((Real().*Entry)(path.c_str(), args...), static_cast<R>(Failed));
    }

    static DWORD WINAPI GetFileAttributesW(LPCWSTR name) {
        return OnPath<Call::GetFileAttributesW, &win32::FileCalls::GetFileAttributesW,
                      INVALID_FILE_ATTRIBUTES, DWORD>(name);
    }
    static BOOL WINAPI GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level,
                                            LPVOID info) {
        return OnPath<Call::GetFileAttributesExW, &win32::FileCalls::GetFileAttributesExW, FALSE,
                      BOOL>(name, level, info);
    }
    static BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes) {
        return OnPath<Call::SetFileAttributesW, &win32::FileCalls::SetFileAttributesW, FALSE, BOOL>(
            name, attributes);
    }
    static BOOL WINAPI DeleteFileW(LPCWSTR name) {
        return OnPath<Call::DeleteFileW, &win32::FileCalls::DeleteFileW, FALSE, BOOL>(name);
    }
    static BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
        return OnPath<Call::CreateDirectoryW, &win32::FileCalls::CreateDirectoryW, FALSE, BOOL>(
            name, security);
    }
    static BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR name, PULARGE_INTEGER available,
                                           PULARGE_INTEGER total, PULARGE_INTEGER free) {
        return OnPath<Call::GetDiskFreeSpaceExW, &win32::FileCalls::GetDiskFreeSpaceExW, FALSE,
                      BOOL>(name, available, total, free);
    }

    static HANDLE WINAPI FindFirstFileExW(LPCWSTR name, FINDEX_INFO_LEVELS level, LPVOID data,
                                          FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
        std::wstring path;
        if (const DWORD err = Normalise(name, path)) {
            SetLastError(err);
            return INVALID_HANDLE_VALUE;
        }
        const Gate gate(Call::FindFirstFileExW, Key(path));
        if (gate.FailsBefore())
            return INVALID_HANDLE_VALUE;
        HANDLE found = Real().FindFirstFileExW(path.c_str(), level, data, search, filter, flags);
        if (found == INVALID_HANDLE_VALUE)
            return found;
        if (gate.After(found, INVALID_HANDLE_VALUE) == INVALID_HANDLE_VALUE) {
            const DWORD failure = GetLastError();
            Real().FindClose(found);
            SetLastError(failure);
            return INVALID_HANDLE_VALUE;
        }
        auto state = std::make_shared<HandleState>();
        state->path = Key(path);
        state->synchronous = false; // an enumeration is no file object
        std::lock_guard lock(M().mutex_);
        M().handles_[found] = std::move(state);
        return found;
    }
    static BOOL WINAPI FindNextFileW(HANDLE found, LPWIN32_FIND_DATAW data) {
        return OnHandle<Call::FindNextFileW, &win32::FileCalls::FindNextFileW>(found, data);
    }
    static BOOL WINAPI FindClose(HANDLE found) {
        M().Forget(found);
        return Real().FindClose(found);
    }
};

WindowsModel::WindowsModel() {
    if (installed)
        throw std::logic_error("one WindowsModel at a time");
    saved_ = win32::os;
    installed = this;
    win32::FileCalls& os = win32::os;
    os.CreateFileW = &Calls::CreateFileW;
    os.ReadFile = &Calls::ReadFile;
    os.WriteFile = &Calls::WriteFile;
    os.FlushFileBuffers = &Calls::FlushFileBuffers;
    os.SetFilePointerEx =
        &Calls::OnHandle<Call::SetFilePointerEx, &win32::FileCalls::SetFilePointerEx, LARGE_INTEGER,
                         PLARGE_INTEGER, DWORD>;
    os.GetFileSizeEx =
        &Calls::OnHandle<Call::GetFileSizeEx, &win32::FileCalls::GetFileSizeEx, PLARGE_INTEGER>;
    os.GetFileInformationByHandleEx = &Calls::GetFileInformationByHandleEx;
    os.SetFileInformationByHandle = &Calls::SetFileInformationByHandle;
    os.CloseHandle = &Calls::CloseHandle;
    os.CancelSynchronousIo = &Calls::CancelSynchronousIo;
    os.GetFileAttributesW = &Calls::GetFileAttributesW;
    os.GetFileAttributesExW = &Calls::GetFileAttributesExW;
    os.SetFileAttributesW = &Calls::SetFileAttributesW;
    os.DeleteFileW = &Calls::DeleteFileW;
    os.CreateDirectoryW = &Calls::CreateDirectoryW;
    os.FindFirstFileExW = &Calls::FindFirstFileExW;
    os.FindNextFileW = &Calls::FindNextFileW;
    os.FindClose = &Calls::FindClose;
    os.GetDiskFreeSpaceExW = &Calls::GetDiskFreeSpaceExW;
    os.GetVolumeInformationByHandleW =
        &Calls::OnHandle<Call::GetVolumeInformationByHandleW,
                         &win32::FileCalls::GetVolumeInformationByHandleW, LPWSTR, DWORD, LPDWORD,
                         LPDWORD, LPDWORD, LPWSTR, DWORD>;
}

WindowsModel::~WindowsModel() {
    ReleaseBlockedCalls();
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (lazyWriter_.joinable())
        lazyWriter_.join();
    win32::os = saved_;
    installed = nullptr;
}

void WindowsModel::SetDevice(const Device& device) {
    {
        std::lock_guard lock(mutex_);
        device_ = device;
        hasDevice_ = true;
    }
    if (lazyWriter_.joinable())
        return;
    // The lazy writer: the cache's dirty bytes go to the device at its speed, oldest first.
    lazyWriter_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return ending_ || !dirtyFiles_.empty(); });
            if (ending_)
                return;
            std::shared_ptr<FileState> file = dirtyFiles_.front();
            const std::uint64_t bytes = std::min(file->dirty, kLazyWrite);
            file->dirty -= bytes;
            dirty_ -= bytes;
            if (file->dirty == 0)
                dirtyFiles_.pop_front();
            file->writing += bytes;
            writing_ += bytes;
            lock.unlock();
            Calls::Occupy(bytes, Calls::Io::Write);
            lock.lock();
            file->writing -= bytes;
            writing_ -= bytes;
            changed_.notify_all();
        }
    });
}

void WindowsModel::Inject(const Fault& fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
    faultCounts_.push_back(0);
}

void WindowsModel::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    faultCounts_.clear();
}

std::vector<Violation> WindowsModel::TakeViolations() {
    std::lock_guard lock(mutex_);
    return std::exchange(violations_, {});
}

WindowsModel::Waits WindowsModel::TakeSerialisedWaits() {
    std::lock_guard lock(mutex_);
    return std::exchange(waits_, {});
}

int WindowsModel::WaitingCalls() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

WindowsModel::DeviceBytes WindowsModel::DeviceIo() const {
    std::lock_guard lock(mutex_);
    return deviceBytes_;
}

int WindowsModel::RefusedUnbuffered() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

int WindowsModel::BlockedCalls() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(blocked_.begin(), blocked_.end(),
                                          [](const Blocked& b) { return !b.cancelled; }));
}

void WindowsModel::ReleaseBlockedCalls() {
    {
        std::lock_guard lock(mutex_);
        for (Blocked& b : blocked_)
            b.cancelled = true;
    }
    changed_.notify_all();
}

std::shared_ptr<WindowsModel::HandleState> WindowsModel::HandleOf(void* handle) const {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

void WindowsModel::Forget(void* handle) {
    std::lock_guard lock(mutex_);
    handles_.erase(handle);
}

} // namespace vqx::model
