// A file-system service that forwards to one that lives elsewhere, for callers that hand out
// a fresh service per piece of work over one shared implementation.
#pragma once

#include "platform/FileSystem.h"

namespace vqx::fake {

class BorrowedFileSystem : public FileSystem {
public:
    explicit BorrowedFileSystem(FileSystem& inner) : inner_(inner) {}
    Result<std::string> Exists(const std::string& p, Attr a) override {
        return inner_.Exists(p, a);
    }
    Result<std::string> NextMatch() override { return inner_.NextMatch(); }
    Status CopyFile(const std::string& s, const std::string& t, bool o,
                    const CopyProgress& p) override {
        return inner_.CopyFile(s, t, o, p);
    }
    Result<std::vector<std::string>> ListFiles(const std::string& f) override {
        return inner_.ListFiles(f);
    }
    Result<std::unique_ptr<CopyBatch>> StartBatch() override { return inner_.StartBatch(); }
    Status MakeFolder(const std::string& p) override { return inner_.MakeFolder(p); }
    Result<std::unique_ptr<TextStream>> CreateTextFile(const std::string& p) override {
        return inner_.CreateTextFile(p);
    }
    Result<std::unique_ptr<TextStream>> OpenTextFile(const std::string& p) override {
        return inner_.OpenTextFile(p);
    }
    Result<std::uint64_t> FileSize(const std::string& p) override { return inner_.FileSize(p); }
    Result<std::uint64_t> FreeSpace(const std::string& f) override { return inner_.FreeSpace(f); }
    Result<std::string> FileSystemName(const std::string& f) override {
        return inner_.FileSystemName(f);
    }
    bool Gone(const std::string& f) override { return inner_.Gone(f); }
    void CancelCalls() override { inner_.CancelCalls(); }
    Error FileNotFound(const std::string& s) const override { return inner_.FileNotFound(s); }
    Error PlatformError(std::int32_t n, const std::string& s) const override {
        return inner_.PlatformError(n, s);
    }

private:
    FileSystem& inner_;
};

// A factory that always lends `fs`.
inline FileSystemFactory LendFileSystem(FileSystem& fs) {
    return [&fs]() -> Result<std::unique_ptr<FileSystem>> {
        return std::unique_ptr<FileSystem>(new BorrowedFileSystem(fs));
    };
}

} // namespace vqx::fake
