// How the custom-drawn parts look in each state: pure functions of the model's settings, so
// that the Win32 drawing code only paints what these decide.
#pragma once

#include "window/Control.h"

#include <cstdint>

namespace vqx::look {

struct ButtonState {
    bool hover = false;   // the pointer is over the button
    bool pressed = false; // held down by mouse or keyboard
    bool enabled = true;
    bool focused = false; // keyboard focus, shown only to keyboard users
    bool focusCue = true; // the system asks for focus cues (keyboard in use)
};

struct ButtonLook {
    std::uint32_t face = 0;
    std::uint32_t text = 0;
    bool focusFrame = false;
    std::uint32_t focusColour = 0;
};

ButtonLook Button(const ButtonStyle& style, const ButtonState& state);

// A colour moved towards black (amount < 0) or white (amount > 0), amount in [-1, 1].
std::uint32_t Shade(std::uint32_t oleColour, double amount);

// Pixels between the lines of a hatched fill (at 96 dpi).
constexpr int kHatchSpacing = 8;

// The progress line of a long stage, in the status panel under the status line: its place in
// twips relative to the panel (30 twips are 2 pixels at 96 dpi).
constexpr int kLineLeft = 0, kLineTop = 3435, kLineWidth = 5175, kLineHeight = 30;

} // namespace vqx::look
