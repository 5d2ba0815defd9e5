#include "window/win32/Pictures.h"

#include "resources/Artwork.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace vqx::win32 {
namespace {

Icon MakeIcon(const std::vector<std::uint32_t>& pixels, int size, bool cursor, int hotX, int hotY) {
    BITMAPV5HEADER h{};
    h.bV5Size = sizeof h;
    h.bV5Width = size;
    h.bV5Height = -size; // top-down
    h.bV5Planes = 1;
    h.bV5BitCount = 32;
    h.bV5Compression = BI_BITFIELDS;
    h.bV5RedMask = 0x00FF0000;
    h.bV5GreenMask = 0x0000FF00;
    h.bV5BlueMask = 0x000000FF;
    h.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    // No device context: DIB_RGB_COLORS needs none, and the screen's costs a dozen round trips to
    // the server under Wine.
    const Bitmap colour(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS,
                                         &bits, nullptr, 0));
    if (!colour)
        return Icon();
    std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
    // The mask marks the transparent pixels, for anything that draws without the alpha channel.
    const int stride = ((size + 15) / 16) * 2;
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(stride) * size, 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((pixels[static_cast<std::size_t>(y) * size + x] >> 24) < 128)
                maskBits[static_cast<std::size_t>(y) * stride + x / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    const Bitmap mask(CreateBitmap(size, size, 1, 1, maskBits.data()));
    ICONINFO info{};
    info.fIcon = cursor ? FALSE : TRUE;
    info.xHotspot = static_cast<DWORD>(hotX);
    info.yHotspot = static_cast<DWORD>(hotY);
    info.hbmMask = mask.get();
    info.hbmColor = colour.get();
    // The icon has copies of both bitmaps.
    return Icon(CreateIconIndirect(&info));
}

} // namespace

HICON Pictures::Icon(const std::string& key, int size) {
    auto it = icons_.find({key, size});
    if (it != icons_.end())
        return it->second.get();
    if (!art::Known(key))
        return nullptr;
    return (icons_[{key, size}] = MakeIcon(art::Render(key, size), size, false, 0, 0)).get();
}

HCURSOR Pictures::Hand(int size) {
    auto it = cursors_.find(size);
    if (it != cursors_.end())
        return it->second.get();
    int x = 0, y = 0;
    art::HandHotspot(size, x, y);
    return (cursors_[size] = MakeIcon(art::Render("curHand", size), size, true, x, y)).get();
}

} // namespace vqx::win32
