// <windows.h> for the Win32 layer, without the macros that would rename members of the core's
// interfaces (Shell::MessageBox, FileSystem::CopyFile) in this layer only.
#pragma once

#include <windows.h>

#undef MessageBox
#undef CopyFile
