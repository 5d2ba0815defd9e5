// The text rules of the two input fields: how Windows counts a field's characters, and the form
// a chosen destination folder takes. Free of the window, so that they can be tested alone.
#pragma once

#include <string>

namespace vqx {

// The length of a UTF-8 text as Windows counts characters: UTF-16 code units, so a character
// outside the Basic Multilingual Plane counts 2. Every byte that is not a continuation byte
// starts a character.
int Utf16Length(const std::string& utf8);

// A chosen folder brought into the form a destination needs, ending with one "\": the first two
// characters (code points, never a split UTF-8 sequence) are kept as they are, and in the rest
// with "\" appended every "\\" becomes "\" in one left-to-right pass (matches do not overlap).
// A network path thus keeps its leading "\\". Empty text stays empty.
std::string NormalizeFolder(const std::string& chosen);

} // namespace vqx
