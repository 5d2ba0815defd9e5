// Rules of Windows file names that the core applies itself, the same on every platform.
#pragma once

#include <string_view>

namespace vqx {

// Whether Windows opens a device instead of a file for this last path element: "CON", "nul  ",
// "COM1." or "LPT1.txt" do, and so does every name + ".vqxdb" whose name is such a name.
bool IsDeviceName(std::string_view name);

} // namespace vqx
