#include "window/Look.h"

#include "window/Palette.h"

#include <algorithm>
#include <cmath>

namespace vqx::look {

std::uint32_t Shade(std::uint32_t c, double amount) {
    auto channel = [amount](std::uint32_t v) {
        double x = static_cast<double>(v & 0xFF);
        x = amount < 0 ? x * (1 + amount) : x + (255 - x) * amount;
        return static_cast<std::uint32_t>(std::clamp(std::lround(x), 0L, 255L));
    };
    return channel(c) | (channel(c >> 8) << 8) | (channel(c >> 16) << 16);
}

ButtonLook Button(const ButtonStyle& style, const ButtonState& state) {
    ButtonLook look;
    if (!state.enabled) {
        // Greyed: a pale face and grey text, whatever the pointer does.
        look.face = Shade(style.bcol, 0.55);
        look.text = palette::kDisabledText;
        return look;
    }
    look.face = state.hover ? style.bcolo : style.bcol;
    look.text = state.hover ? style.fcolo : style.fcol;
    if (state.pressed)
        look.face = Shade(look.face, -0.12);
    look.focusFrame = state.focused && state.focusCue;
    look.focusColour = look.text;
    return look;
}

} // namespace vqx::look
