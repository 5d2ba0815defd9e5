// What the service knows of volumes and folders beyond their files: free space, the file
// system's name, and whether a destination has gone away.
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#include <algorithm>
#include <string_view>

namespace vqx::win32 {
namespace {

// The length of the root of a "\\?\" path: "\\?\X:\" or "\\?\UNC\server\share\".
std::size_t RootLength(const std::wstring& path) {
    constexpr std::wstring_view unc = L"\\\\?\\UNC\\";
    if (path.compare(0, unc.size(), unc) != 0)
        return std::min<std::size_t>(path.size(), 7);
    const std::size_t server = path.find(L'\\', unc.size());
    const std::size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
}

} // namespace

// Both checks reach the destination folder through the "\\?\" form: a folder deeper than
// MAX_PATH, or one whose name ends in a space or a dot, is asked about itself, not skipped or
// taken for its sibling.
Result<std::uint64_t> Win32FileSystem::FreeSpace(const std::string& folder) {
    const Working working(*this);
    std::wstring path = ToWinPath(folder);
    if (path.empty() || path.back() != L'\\')
        path += L'\\'; // a share is named with a trailing separator
    ULARGE_INTEGER available{};
    if (!os.GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr))
        return Win32Error(GetLastError(), "FreeSpace");
    return static_cast<std::uint64_t>(available.QuadPart);
}

Result<std::string> Win32FileSystem::FileSystemName(const std::string& folder) {
    const Working working(*this);
    // The volume of the folder itself, found through a handle: a folder can be a mounted
    // volume of its own, and the handle needs no path parsing.
    const File opened =
        OpenFile(ToWinPath(folder), 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    wchar_t name[MAX_PATH + 1] = {};
    if (!opened || !os.GetVolumeInformationByHandleW(opened.get(), nullptr, 0, nullptr, nullptr,
                                                     nullptr, name, MAX_PATH + 1))
        return Win32Error(GetLastError(), "FileSystemName");
    return FromWide(name);
}

bool Win32FileSystem::Gone(const std::string& folder) {
    const Working working(*this);
    std::wstring path = ToWinPath(folder);
    // Without its last separator, except at the root of a drive or a share, which needs it.
    while (path.size() > RootLength(path) && path.back() == L'\\')
        path.pop_back();
    const DWORD attributes = os.GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:            // a card reader or drive without its medium
    case ERROR_DEVICE_NOT_CONNECTED: // a stick pulled out
    case ERROR_DEV_NOT_EXIST:        // a network resource or device no longer available
    case ERROR_NETNAME_DELETED:      // a share dropped
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
        return true;
    default:
        return false; // it answers, or the system cannot tell
    }
}

} // namespace vqx::win32
