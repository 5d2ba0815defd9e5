// The file operations on real Windows files, through the wide-character API only.
#pragma once

#include "platform/FileSystem.h"
#include "platform/win32/WinHandles.h"

#include <memory>
#include <set>
#include <string>

namespace vqx::win32 {

class CopyBuffers;

class Win32FileSystem : public FileSystem {
public:
    // `readBack` false leaves out reading each copy back from its device, for the bench's
    // measure of what that costs; the program always reads back.
    explicit Win32FileSystem(bool readBack = true);
    ~Win32FileSystem() override;
    Win32FileSystem(const Win32FileSystem&) = delete;
    Win32FileSystem& operator=(const Win32FileSystem&) = delete;

    Result<std::string> Exists(const std::string& pathOrPattern, Attr attr) override;
    Result<std::string> NextMatch() override;
    Status CopyFile(const std::string& source, const std::string& target, bool overwrite,
                    const CopyProgress& progress = {}) override;
    Result<std::vector<std::string>> ListFiles(const std::string& folder) override;
    Result<std::unique_ptr<CopyBatch>> StartBatch() override;
    Status MakeFolder(const std::string& path) override;
    Result<std::unique_ptr<TextStream>> CreateTextFile(const std::string& path) override;
    Result<std::unique_ptr<TextStream>> OpenTextFile(const std::string& path) override;
    Result<std::uint64_t> FileSize(const std::string& path) override;
    Result<std::uint64_t> FreeSpace(const std::string& folder) override;
    Result<std::string> FileSystemName(const std::string& folder) override;
    bool Gone(const std::string& folder) override;
    void CancelCalls() override;
    Error FileNotFound(const std::string& source) const override;
    Error PlatformError(std::int32_t number, const std::string& source) const override;

private:
    class Batch;
    struct Workers;
    class Working;
    // The next accepted name of the open enumeration; empty text (and closed) at its end.
    Result<std::string> Advance(const char* source);
    // Removes what killed copies left in a folder ("\\?\" form) the first time this object
    // writes there: hidden files with a temporary's name, and nothing else.
    void SweepOnce(const std::wstring& folder);

    FindHandle find_; // the pattern NextMatch continues
    Attr findAttr_ = Attr::Normal;
    std::set<std::wstring> swept_;         // the folders SweepOnce has seen
    std::unique_ptr<CopyBuffers> buffers_; // memory the copies reuse
    std::unique_ptr<Workers> workers_;     // the threads at work for it, for CancelCalls
    bool readBack_;
};

} // namespace vqx::win32
