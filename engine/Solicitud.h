// The rules a backup request must pass before the run starts: what the name may hold and
// where the backup may be written. Plain functions over the two field texts.
#pragma once

#include <string>
#include <string_view>

namespace vqx::engine {

// The text without leading and trailing spaces; other white space stays.
std::string TrimSpaces(std::string_view text);

// A name the backup may use: not empty, none of the nine forbidden characters
// ("<", "|", "\", "/", ">", ":", "?", "*", "¿"), no control character and no device name.
bool IsAcceptableName(std::string_view name);

// The destination folder text as the file system should get it. Only the part up to the last
// separator is a folder path: "/" becomes "\", repeated separators become one (the "\\" that
// opens a share stays), and "." and ".." are resolved, never above the drive or the share.
// What follows the last separator is the start of a file name and stays as it is, so that
// names ending in a space or a dot reach the file system unchanged.
std::string NormalizeDestination(std::string_view destination);

// Whether a normalized destination is absolute: "X:\..." or "\\server\share\...". A relative
// path would resolve against whatever the current folder happens to be.
bool IsAbsoluteDestination(std::string_view destination);

// A name in the form in which Windows compares names: two names are the same name when their
// keys are equal (case is ignored for ASCII, Latin, Greek and Cyrillic letters).
std::u32string NameKey(std::string_view name);

// Whether the folder part of a normalized destination is `folder` or lies inside it, compared
// as Windows compares names: without regard to case (ASCII, Latin, Greek and Cyrillic letters).
bool IsInsideFolder(std::string_view destination, std::string_view folder);

// A normalized destination the backup may write to: absolute, and outside the data centre of
// `dataFolder` (a backup there would be copied into every later backup, growing each time).
bool IsAcceptableDestination(std::string_view destination, std::string_view dataFolder);

} // namespace vqx::engine
