#include "window/FieldText.h"

#include <cstddef>

namespace vqx {
namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

int Utf16Length(const std::string& utf8) {
    int units = 0;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (!IsContinuation(byte))
            units += byte >= 0xF0 ? 2 : 1; // a four-byte sequence is a surrogate pair
    }
    return units;
}

std::string NormalizeFolder(const std::string& chosen) {
    if (chosen.empty())
        return chosen;
    // The end of the second code point.
    std::size_t head = 0;
    for (int points = 0; points < 2 && head < chosen.size(); ++points) {
        ++head;
        while (head < chosen.size() && IsContinuation(static_cast<unsigned char>(chosen[head])))
            ++head;
    }
    const std::string rest = chosen.substr(head) + "\\";
    std::string out = chosen.substr(0, head);
    out.reserve(chosen.size() + 1);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        out += rest[i];
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '\\')
            ++i; // the pair becomes one; the scan goes on after it
    }
    return out;
}

} // namespace vqx
