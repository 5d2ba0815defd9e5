// A place with files in it, for running one behavioural suite against every FileSystem:
// set-up and inspection happen behind the file system's back, the suite only uses the
// FileSystem interface for the operations under test.
#pragma once

#include "platform/FileSystem.h"
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHandles.h"
#include "platform/win32/WinInclude.h"
#include "platform/win32/WinText.h"
#include "tests/model/WindowsModel.h"
#endif

namespace vqx::test {

// Keeps a file open without sharing for as long as it lives.
class FileHold {
public:
    virtual ~FileHold() = default;
};

class FsTestEnv {
public:
    virtual ~FsTestEnv() = default;
    virtual FileSystem& Fs() = 0;
    // A fresh, empty folder: full path, no trailing separator.
    virtual const std::string& Root() const = 0;
    // Set-up; the parent must exist.
    virtual void AddFolder(const std::string& path) = 0;
    virtual void AddFile(const std::string& path, const std::string& bytes, bool hidden = false,
                         bool system = false) = 0;
    // A file's bytes; nothing for a folder or a missing path.
    virtual std::optional<std::string> ReadBytes(const std::string& path) = 0;
    // Every name in a folder, hidden ones included, folders with a trailing "\", sorted.
    virtual std::vector<std::string> List(const std::string& folder) = 0;
    virtual std::unique_ptr<FileHold> HoldOpen(const std::string& path) = 0;
};

struct EnvFactory {
    std::string name;
    std::function<std::unique_ptr<FsTestEnv>()> make;
    friend void PrintTo(const EnvFactory& env, std::ostream* out) { *out << env.name; }
};

// --- The in-memory fake -------------------------------------------------------------------

class FakeEnv : public FsTestEnv {
public:
    FakeEnv() {
        fs_.AddFolder(root_);
        // Copies of the fake report progress three times, like a 2-3 MiB file on disk.
        fs_.SetCopyChunks(3);
    }
    FileSystem& Fs() override { return fs_; }
    const std::string& Root() const override { return root_; }
    void AddFolder(const std::string& path) override { fs_.AddFolder(path); }
    void AddFile(const std::string& path, const std::string& bytes, bool hidden = false,
                 bool system = false) override {
        fs_.AddFile(path, bytes, hidden, system);
    }
    std::optional<std::string> ReadBytes(const std::string& path) override {
        if (!fs_.IsFile(path))
            return std::nullopt;
        return fs_.Read(path);
    }
    std::vector<std::string> List(const std::string& folder) override {
        std::vector<std::string> names;
        const std::string prefix = folder + "\\";
        for (const std::string& path : fs_.List()) {
            if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string rest = path.substr(prefix.size());
            const std::size_t sep = rest.find('\\');
            if (sep == std::string::npos || sep == rest.size() - 1)
                names.push_back(rest);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::unique_ptr<FileHold> HoldOpen(const std::string& path) override {
        struct Hold : FileHold {
            Hold(fake::FakeFileSystem& owner, std::string locked)
                : fs(owner), path(std::move(locked)) {
                fs.Lock(path);
            }
            ~Hold() override {
                if (fs.Find(path))
                    fs.Lock(path, false);
            }
            fake::FakeFileSystem& fs;
            std::string path;
        };
        return std::make_unique<Hold>(fs_, path);
    }

private:
    fake::FakeFileSystem fs_;
    std::string root_ = "C:\\Pruebas VQX";
};

inline std::unique_ptr<FsTestEnv> MakeFakeEnv() {
    return std::make_unique<FakeEnv>();
}

#ifdef _WIN32
// --- Real files in a fresh folder under the temporary directory ----------------------------
// The file system under test keeps Windows' own rules here (tests/model): what Wine lets
// through and Windows would refuse fails the case.

class Win32Env : public FsTestEnv {
public:
    Win32Env() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        // The temporary path may come in 8.3 form; names must compare as the system returns them.
        std::wstring base(temp, n);
        std::wstring longBase(win32::kLongestPathLength + 1, L'\0');
        const DWORD m =
            GetLongPathNameW(base.c_str(), longBase.data(), static_cast<DWORD>(longBase.size()));
        if (m > 0 && m < longBase.size())
            base.assign(longBase.c_str(), m);
        if (!base.empty() && base.back() == L'\\')
            base.pop_back();
        static unsigned counter = 0;
        for (;;) {
            root_ = win32::FromWide(base) + "\\vqx-fs-" + std::to_string(GetCurrentProcessId()) +
                    "-" + std::to_string(++counter);
            if (CreateDirectoryW(Native(root_).c_str(), nullptr))
                break;
            if (GetLastError() != ERROR_ALREADY_EXISTS) {
                ADD_FAILURE() << "cannot create " << root_ << ": " << GetLastError();
                break;
            }
        }
    }
    ~Win32Env() override {
        fs_.reset(); // an enumeration left open would keep its folder from being removed
        RemoveTree(Native(root_));
        for (const model::Violation& v : model_.TakeViolations())
            ADD_FAILURE() << model::NameOf(v.call) << " on " << v.path << ": " << v.rule;
        const model::WindowsModel::Waits waits = model_.TakeSerialisedWaits();
        EXPECT_EQ(waits.calls, 0) << "calls on a synchronous handle overlapped: " << waits.example
                                  << ", " << waits.longestSeconds << " s at most";
    }

    FileSystem& Fs() override { return *fs_; }
    model::WindowsModel& Model() { return model_; }
    const std::string& Root() const override { return root_; }

    void AddFolder(const std::string& path) override {
        if (!CreateDirectoryW(Native(path).c_str(), nullptr))
            ADD_FAILURE() << "cannot create folder " << path << ": " << GetLastError();
    }
    void AddFile(const std::string& path, const std::string& bytes, bool hidden = false,
                 bool system = false) override {
        win32::File h{CreateFileW(Native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!h) {
            ADD_FAILURE() << "cannot create " << path << ": " << GetLastError();
            return;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD put = 0;
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
            if (!WriteFile(h.get(), bytes.data() + done, chunk, &put, nullptr) || put == 0) {
                ADD_FAILURE() << "cannot write " << path << ": " << GetLastError();
                break;
            }
            done += put;
        }
        h.reset(); // closed before the attributes change
        const DWORD attributes =
            (hidden ? FILE_ATTRIBUTE_HIDDEN : 0) | (system ? FILE_ATTRIBUTE_SYSTEM : 0);
        if (attributes && !SetFileAttributesW(Native(path).c_str(), attributes))
            ADD_FAILURE() << "cannot set attributes of " << path << ": " << GetLastError();
    }
    std::optional<std::string> ReadBytes(const std::string& path) override {
        const win32::File h{CreateFileW(Native(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!h)
            return std::nullopt;
        std::string bytes;
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        return bytes;
    }
    std::vector<std::string> List(const std::string& folder) override {
        std::vector<std::string> names;
        ForEach(Native(folder), [&](const WIN32_FIND_DATAW& entry) {
            const bool dir = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            names.push_back(win32::FromWide(entry.cFileName) + (dir ? "\\" : ""));
        });
        std::sort(names.begin(), names.end());
        return names;
    }
    std::unique_ptr<FileHold> HoldOpen(const std::string& path) override {
        struct Hold : FileHold {
            explicit Hold(win32::File held) : h(std::move(held)) {}
            win32::File h;
        };
        win32::File h{CreateFileW(Native(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!h)
            ADD_FAILURE() << "cannot hold " << path << ": " << GetLastError();
        return std::make_unique<Hold>(std::move(h));
    }

    // The long form of a full path, independent of the code under test.
    static std::wstring Native(const std::string& path) { return L"\\\\?\\" + win32::ToWide(path); }

private:
    template <class F> static void ForEach(const std::wstring& folder, F&& visit) {
        WIN32_FIND_DATAW entry;
        const win32::FindHandle h{FindFirstFileW((folder + L"\\*").c_str(), &entry)};
        if (!h)
            return;
        do {
            if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..")
                visit(entry);
        } while (FindNextFileW(h.get(), &entry));
    }
    static void RemoveTree(const std::wstring& folder) {
        ForEach(folder, [&](const WIN32_FIND_DATAW& entry) {
            const std::wstring path = folder + L"\\" + entry.cFileName;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        });
        RemoveDirectoryW(folder.c_str());
    }

    model::WindowsModel model_; // before the file system, which it outlives
    std::unique_ptr<win32::Win32FileSystem> fs_ = std::make_unique<win32::Win32FileSystem>();
    std::string root_;
};

inline std::unique_ptr<FsTestEnv> MakeWin32Env() {
    return std::make_unique<Win32Env>();
}
#endif

} // namespace vqx::test
