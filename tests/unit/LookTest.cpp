// How the custom-drawn parts look: button colours by state, and the pictures' drawing code.
#include "window/Look.h"
#include "resources/Artwork.h"

#include <gtest/gtest.h>

namespace vqx {
namespace {

const ButtonStyle kCerrar{5592405, 217, 16777215, 16777215, 12632256, "icoCerrar"};
const ButtonStyle kRespaldar{6403197, 6403197, 16777215, 16777215, 12632256, ""};

TEST(LookTest, ButtonColoursFollowThePointerFocusAndEnabledState) {
    struct Case {
        const char* what;
        ButtonStyle style;
        look::ButtonState state;
        std::uint32_t face, text;
        bool focusFrame;
    };
    const Case cases[] = {
        {"close at rest", kCerrar, {}, 5592405, 16777215, false},
        {"close under the pointer turns red", kCerrar, {.hover = true}, 217, 16777215, false},
        {"backup keeps its green under the pointer",
         kRespaldar,
         {.hover = true},
         6403197,
         16777215,
         false},
        {"focus shows to keyboard users",
         kRespaldar,
         {.focused = true, .focusCue = true},
         6403197,
         16777215,
         true},
        {"no focus frame after a click",
         kRespaldar,
         {.focused = true, .focusCue = false},
         6403197,
         16777215,
         false},
        {"disabled is greyed whatever the pointer",
         kRespaldar,
         {.hover = true, .enabled = false, .focused = true},
         look::Shade(6403197, 0.55),
         12632256,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const look::ButtonLook l = look::Button(c.style, c.state);
        EXPECT_EQ(l.face, c.face);
        EXPECT_EQ(l.text, c.text);
        EXPECT_EQ(l.focusFrame, c.focusFrame);
    }
    // Pressed darkens the face it would have.
    const auto pressed = look::Button(kCerrar, {.hover = true, .pressed = true});
    EXPECT_EQ(pressed.face, look::Shade(217, -0.12));
    EXPECT_NE(pressed.face, 217u);
}

TEST(LookTest, ShadeMovesEachChannelTowardsBlackOrWhite) {
    EXPECT_EQ(look::Shade(0x00406080, 0), 0x00406080u);
    EXPECT_EQ(look::Shade(0x00406080, -1), 0u);
    EXPECT_EQ(look::Shade(0x00406080, 1), 0x00FFFFFFu);
    EXPECT_EQ(look::Shade(0x00000080, 0.5), 0x008080C0u); // red 128 -> 192, others 0 -> 128
}

std::uint32_t At(const std::vector<std::uint32_t>& px, int size, int x, int y) {
    return px[static_cast<std::size_t>(y) * size + x];
}

TEST(ArtworkTest, PicturesAtEverySizeWithTheirDesignedColours) {
    EXPECT_TRUE(art::Render("icoestadoon", 32).empty()); // keys are exact
    for (int size : {16, 24, 32, 48, 64}) {
        SCOPED_TRACE(size);
        for (const char* key :
             {"icoEstadoON", "icoEstadoOFF", "icoEstadoOX", "icoCerrar", "curHand", "IconoAPL"})
            EXPECT_EQ(art::Render(key, size).size(), static_cast<std::size_t>(size) * size) << key;
        // The program icon is a fully opaque slate square, with the white stick in the middle.
        auto icon = art::Render("IconoAPL", size);
        EXPECT_EQ(At(icon, size, 0, 0), 0xFF656D78u);
        EXPECT_EQ(At(icon, size, size - 1, size - 1), 0xFF656D78u);
        EXPECT_EQ(At(icon, size, size * 5 / 16, size * 12 / 32), 0xFFFFFFFFu);
    }
    // On: a blue disc; off and unavailable: a ring with a see-through middle, darker for off.
    auto on = art::Render("icoEstadoON", 32), off = art::Render("icoEstadoOFF", 32),
         ox = art::Render("icoEstadoOX", 32);
    EXPECT_EQ(At(on, 32, 6, 16), 0xFF0078D7u);
    EXPECT_EQ(At(off, 32, 16, 16) >> 24, 0u);
    EXPECT_EQ(At(ox, 32, 16, 16) >> 24, 0u);
    EXPECT_EQ(At(on, 32, 0, 0) >> 24, 0u);
    EXPECT_LT(At(off, 32, 16, 3) & 0xFF, At(ox, 32, 16, 3) & 0xFF);
    // The close cross is white on a transparent ground.
    auto cross = art::Render("icoCerrar", 24);
    EXPECT_EQ(At(cross, 24, 12, 12), 0xFFFFFFFFu);
    EXPECT_EQ(At(cross, 24, 12, 2) >> 24, 0u);
}

TEST(ArtworkTest, HandHotspotIsTheTipOfTheIndexFinger) {
    for (int size : {32, 48, 64}) {
        int x = -1, y = -1;
        art::HandHotspot(size, x, y);
        auto hand = art::Render("curHand", size);
        // Solid at the hotspot (or just below it); nothing solid above it, nor beside the tip.
        EXPECT_GT(std::max(At(hand, size, x, y), At(hand, size, x, y + size / 32)) >> 24, 0x80u);
        for (int above = 0; above < y; ++above)
            EXPECT_LT(At(hand, size, x, above) >> 24, 0x80u);
        EXPECT_EQ(At(hand, size, x + size / 4, y) >> 24, 0u);
    }
}

} // namespace
} // namespace vqx
