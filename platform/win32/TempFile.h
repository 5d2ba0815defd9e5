// The copy's temporary beside its target, and the names around it: a temporary's own name,
// the name a handle's file has now, and how two names compare.
#pragma once

#include "platform/FileSystem.h"
#include "platform/win32/WinHandles.h"

#include <string>

namespace vqx::win32 {

// ERROR_OBJECT_NAME_EXISTS, which not every SDK's headers name.
constexpr DWORD kNameTaken = 698;

// Whether two names are one to Windows (ordinal, case ignored).
bool SameName(const std::wstring& a, const std::wstring& b);
// The last element of a path.
std::wstring LastElement(const std::wstring& path);
// The name a handle's file has now (its last element); empty when the system cannot say.
std::wstring CurrentName(HANDLE file);

// The copy in progress beside its target, hidden, under a name of its own. It is created as a
// new file, so whatever stands at a name (a user's file, a hard or symbolic link) is never
// opened, truncated or followed. It stays open, shared with readers only, until it has the
// target's name: nobody can change, take or delete it meanwhile. Deleted again unless it got
// there.
class TempCopy {
public:
    TempCopy() = default;
    ~TempCopy() { Discard(); }
    TempCopy(const TempCopy&) = delete;
    TempCopy& operator=(const TempCopy&) = delete;

    // Creates the temporary beside `target`; returns the Win32 error or 0.
    DWORD Create(const std::wstring& target);

    // Gives it the target's name through its own handle; a target held open for a moment is
    // waited for while `goOn` holds. Returns the Win32 error or 0.
    DWORD Rename(const std::wstring& target, bool replace, const GoOn& goOn);

    HANDLE handle() const { return file_.get(); }
    const std::wstring& path() const { return path_; }
    // Written past the system's cache: in whole sectors, from aligned memory.
    bool unbuffered() const { return unbuffered_; }
    bool Close() { return CloseFile(file_); }

private:
    // After a rename reported as failed: whether it took place all the same. On a share the
    // reply can be lost after the server renamed (ERROR_NETNAME_DELETED, ERROR_UNEXP_NET_ERR),
    // so the handle is asked where its file is. When it cannot say, the file may have its real
    // name: from then on it is never deleted through the handle.
    bool Renamed(const std::wstring& target);

    void Discard();

    std::wstring path_;
    File file_;
    bool owned_ = false;
    bool unbuffered_ = true;
    bool uncertain_ = false; // a rename may have given it the real name
};

} // namespace vqx::win32
