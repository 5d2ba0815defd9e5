// The window's colours, named for their role: the one place each colour number is written.
// OLE colours, 0x00BBGGRR (in decimal, as the stored settings give them).
#pragma once

#include <cstdint>

namespace vqx::palette {

using Colour = std::uint32_t;

// Ground and text.
constexpr Colour kWindowBack = 16382457; // 249, 249, 249: the window and its panels
constexpr Colour kText = 3487029;        // 53, 53, 53: fields and panels
constexpr Colour kWhite = 16777215;      // fields' ground, text on the title band and buttons
constexpr Colour kFieldBack = kWhite;

// The title band and its close button.
constexpr Colour kTitleBand = 5197647;  // 79, 79, 79
constexpr Colour kTitleHatch = 5592405; // 85, 85, 85: the band's diagonal lines
constexpr Colour kCloseFace = kTitleHatch;
constexpr Colour kCloseHover = 217; // 217, 0, 0

// The input panel.
constexpr Colour kFieldTitle = 13867890;     // 114, 156, 211: "NOMBRE DE ARCHIVO", "DESCARGAR EN"
constexpr Colour kFieldBorder = 14737632;    // 224, 224, 224: a field without the focus
constexpr Colour kFieldFocused = 8421504;    // 128, 128, 128: the field with the focus
constexpr Colour kFieldRejected = 5987062;   // 246, 90, 91: an entry the request refused
constexpr Colour kFieldDisabled = 15790320;  // 240, 240, 240
constexpr Colour kBrowseFace = kFieldBorder; // the "..." button sits in the field's border
constexpr Colour kOptionCaption = kFieldFocused;
constexpr Colour kFocusFrame = kFieldFocused; // the option picture's keyboard focus frame
constexpr Colour kDisabledText = 12632256;    // 192, 192, 192: also buttons out of use

// The outcome and the status panel.
constexpr Colour kSuccess = 6403197; // 125, 180, 97: "Respaldar", a completed run
constexpr Colour kFailure = kFieldRejected;
constexpr Colour kStageCounter = 16173833; // 9, 202, 246
constexpr Colour kStatusLine = kTitleBand;
constexpr Colour kProgressDone = kSuccess;
constexpr Colour kProgressTrack = kFieldBorder;

} // namespace vqx::palette
