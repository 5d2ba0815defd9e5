// The utility's own pictures, drawn by code at any size: the option states, the close cross,
// the hand pointer and the program icon. This drawing code is their source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vqx::art {

// Keys: "icoEstadoON", "icoEstadoOFF", "icoEstadoOX", "icoCerrar", "curHand", "IconoAPL".
bool Known(const std::string& key);

// size x size pixels, rows top to bottom, each pixel 0xAARRGGBB with straight (not
// premultiplied) colour. Empty for an unknown key.
std::vector<std::uint32_t> Render(const std::string& key, int size);

// Where the tip of the index finger of "curHand" lies at a size, for the pointer's hotspot.
void HandHotspot(int size, int& x, int& y);

} // namespace vqx::art
