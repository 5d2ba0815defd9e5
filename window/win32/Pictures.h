// The pictures of the two image lists and the buttons, drawn by code at any size.
#pragma once

#include "platform/win32/WinHandles.h"

#include <map>
#include <string>
#include <utility>

namespace vqx::win32 {

class Pictures {
public:
    Pictures() = default;
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;

    // The icon for an image-list key at a size in pixels; nullptr for an unknown key.
    // The store owns it.
    HICON Icon(const std::string& key, int size);
    // The hand pointer, hotspot at the tip of the index finger. The store owns it.
    HCURSOR Hand(int size);

private:
    // win32::Icon, the owning handle: inside the class, Icon names the member function.
    std::map<std::pair<std::string, int>, win32::Icon> icons_;
    std::map<int, win32::Icon> cursors_; // a cursor is an icon to the system
};

} // namespace vqx::win32
