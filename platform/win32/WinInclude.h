// <windows.h> for the Win32 layer, without the macros that would rename members of the core's
// interfaces (Shell::MessageBox, FileSystem::CopyFile) in this layer only; and the look-up of an
// entry that a library may lack.
#pragma once

#include <windows.h>

#undef MessageBox
#undef CopyFile

namespace vqx::win32 {

// The entry `name` of a loaded library as a function of type Fn; null when it has none.
template <typename Fn> Fn Entry(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

} // namespace vqx::win32
