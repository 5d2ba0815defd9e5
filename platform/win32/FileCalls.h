// Every call that the file code makes to the system goes through one table of function
// pointers, `os`, filled with the system's own functions. Tests put functions of their own in
// some entries (and the saved table back afterwards) to hold the calls to the rules Windows
// enforces and Wine does not, to inject the errors a failing device gives, or to make a call
// block. Production never changes it: the cost is one indirect call.
#pragma once

#include "platform/win32/WinInclude.h"

namespace vqx::win32 {

struct FileCalls {
    // Opening, reading, writing and closing files.
    decltype(&::CreateFileW) CreateFileW = &::CreateFileW;
    decltype(&::ReadFile) ReadFile = &::ReadFile;
    decltype(&::WriteFile) WriteFile = &::WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers = &::FlushFileBuffers;
    decltype(&::SetFilePointerEx) SetFilePointerEx = &::SetFilePointerEx;
    decltype(&::GetFileSizeEx) GetFileSizeEx = &::GetFileSizeEx;
    decltype(&::GetFileInformationByHandleEx) GetFileInformationByHandleEx =
        &::GetFileInformationByHandleEx;
    decltype(&::SetFileInformationByHandle) SetFileInformationByHandle =
        &::SetFileInformationByHandle;
    decltype(&::CloseHandle) CloseHandle = &::CloseHandle;
    decltype(&::CancelSynchronousIo) CancelSynchronousIo = &::CancelSynchronousIo;
    // Names, attributes and folders.
    decltype(&::GetFileAttributesW) GetFileAttributesW = &::GetFileAttributesW;
    decltype(&::GetFileAttributesExW) GetFileAttributesExW = &::GetFileAttributesExW;
    decltype(&::SetFileAttributesW) SetFileAttributesW = &::SetFileAttributesW;
    decltype(&::DeleteFileW) DeleteFileW = &::DeleteFileW;
    decltype(&::CreateDirectoryW) CreateDirectoryW = &::CreateDirectoryW;
    decltype(&::FindFirstFileExW) FindFirstFileExW = &::FindFirstFileExW;
    decltype(&::FindNextFileW) FindNextFileW = &::FindNextFileW;
    decltype(&::FindClose) FindClose = &::FindClose;
    // Volumes.
    decltype(&::GetDiskFreeSpaceExW) GetDiskFreeSpaceExW = &::GetDiskFreeSpaceExW;
    decltype(&::GetVolumeInformationByHandleW) GetVolumeInformationByHandleW =
        &::GetVolumeInformationByHandleW;
};

// The table in use.
inline FileCalls os;

} // namespace vqx::win32
