// Rules of Windows file names that the core applies itself, the same on every platform.
#pragma once

#include <string>
#include <string_view>

namespace vqx {

// Whether Windows opens a device instead of a file for this last path element: "CON", "nul  ",
// "COM1." or "LPT1.txt" do, and so does every name + ".vqxdb" whose name is such a name.
bool IsDeviceName(std::string_view name);

// The destination folder text as the file system should get it. Only the part up to the last
// separator is a folder path: "/" becomes "\", repeated separators become one (the "\\" that
// opens a share stays), and "." and ".." are resolved, never above the drive or the share.
// What follows the last separator is the start of a file name and stays as it is, so that
// names ending in a space or a dot reach the file system unchanged.
std::string NormalizeDestination(std::string_view destination);

// Whether a normalized destination is absolute: "X:\..." or "\\server\share\...". A relative
// path would resolve against whatever the current folder happens to be.
bool IsAbsoluteDestination(std::string_view destination);

// Whether the folder part of a normalized destination is `folder` or lies inside it, compared
// as Windows compares names: without regard to case (ASCII, Latin, Greek and Cyrillic letters).
bool IsInsideFolder(std::string_view destination, std::string_view folder);

} // namespace vqx
