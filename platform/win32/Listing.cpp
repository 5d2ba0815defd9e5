// Names in folders: the existence test and its enumeration, the listing of a folder's files,
// and the sweep of what killed copies left behind.
#include "platform/CopyTemporary.h"
#include "platform/PathRules.h"
#include "platform/win32/FileWork.h"
#include "platform/win32/WinText.h"

#include <cwchar>

namespace vqx::win32 {
namespace {

bool IsPattern(const std::string& path) {
    const std::size_t sep = path.find_last_of("\\/");
    return path.find_first_of("*?", sep == std::string::npos ? 0 : sep + 1) != std::string::npos;
}

bool Accepts(const WIN32_FIND_DATAW& entry, Attr attr) {
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return false;
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0)
        return false;
    return !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || attr == Attr::Directory;
}

} // namespace

Result<std::string> Win32FileSystem::Exists(const std::string& pathOrPattern, Attr attr) {
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, "Exists");
    find_.reset();
    std::string path = pathOrPattern;
    // "C:\dir\" means the folder itself; the find functions want it without the separator.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    WIN32_FIND_DATAW entry;
    const std::wstring wide = ToWinPath(path);
    if (wide.size() > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, "Exists");
    FindHandle found(os.FindFirstFileExW(wide.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
    if (!found) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ||
            err == ERROR_NO_MORE_FILES)
            return std::string();
        return Win32Error(err, "Exists");
    }
    if (!IsPattern(path)) {
        // The find functions answer for a device name ("CON", "NUL.vqxdb") as if a file were
        // there; no file is.
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (IsDeviceName(name))
            return std::string();
        return Accepts(entry, attr) ? FromWide(entry.cFileName) : std::string();
    }
    find_ = std::move(found);
    findAttr_ = attr;
    if (Accepts(entry, attr))
        return FromWide(entry.cFileName);
    return Advance("Exists");
}

Result<std::string> Win32FileSystem::NextMatch() {
    const Working working(*this);
    if (!find_)
        return Win32Error(ERROR_INVALID_PARAMETER, "NextMatch");
    return Advance("NextMatch");
}

Result<std::string> Win32FileSystem::Advance(const char* source) {
    WIN32_FIND_DATAW entry;
    while (os.FindNextFileW(find_.get(), &entry)) {
        if (Accepts(entry, findAttr_))
            return FromWide(entry.cFileName);
    }
    const DWORD err = GetLastError();
    find_.reset();
    if (err == ERROR_NO_MORE_FILES)
        return std::string();
    return Win32Error(err, source);
}

Result<std::vector<std::string>> Win32FileSystem::ListFiles(const std::string& folder) {
    const Working working(*this);
    if (working.Cancelled())
        return Win32Error(ERROR_OPERATION_ABORTED, "ListFiles");
    const std::wstring pattern = ToWinPath(folder) + L"\\*";
    if (pattern.size() > kLongestPathLength)
        return Win32Error(ERROR_FILENAME_EXCED_RANGE, "ListFiles");
    WIN32_FIND_DATAW entry;
    FindHandle found(os.FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (!found) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return names;
        return Win32Error(err, "ListFiles");
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(FromWide(entry.cFileName));
    } while (os.FindNextFileW(found.get(), &entry));
    if (const DWORD err = GetLastError(); err != ERROR_NO_MORE_FILES)
        return Win32Error(err, "ListFiles");
    return names;
}

void Win32FileSystem::SweepOnce(const std::wstring& folder) {
    if (!swept_.insert(folder).second)
        return;
    const std::wstring mark(kTemporaryMark.begin(), kTemporaryMark.end());
    WIN32_FIND_DATAW entry;
    const FindHandle found(os.FindFirstFileExW((folder + L"\\*" + mark + L"*").c_str(),
                                               FindExInfoBasic, &entry, FindExSearchNameMatch,
                                               nullptr, 0));
    if (!found)
        return;
    // Never read-only, a folder or a link: the copy makes none of these. A temporary that a
    // running copy holds open shares nothing, so its delete fails, and it stays.
    constexpr DWORD kNotOurs =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(entry.dwFileAttributes & kNotOurs) && IsTemporaryName(FromWide(entry.cFileName)))
            os.DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
    } while (os.FindNextFileW(found.get(), &entry));
}

} // namespace vqx::win32
