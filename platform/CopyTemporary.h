// The names a copy gives its temporary beside the target: the target's name, ".~rs" and 16
// hex digits that differ from run to run (the process id and a serial number). Together with
// the hidden mark, a name no user's file carries by chance, so the leftovers of a killed run
// can be told from everything else and removed.
#pragma once

#include <cstddef>
#include <string_view>

namespace vqx {

inline constexpr std::string_view kTemporaryMark = ".~rs";
inline constexpr std::size_t kTemporaryDigits = 16;

// Whether a name (without folder) has the form of a copy's temporary; the hidden mark aside.
inline bool IsTemporaryName(std::string_view name) {
    if (name.size() <= kTemporaryMark.size() + kTemporaryDigits)
        return false;
    const std::string_view digits = name.substr(name.size() - kTemporaryDigits);
    for (char c : digits) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return false;
    }
    return name.substr(name.size() - kTemporaryDigits - kTemporaryMark.size(),
                       kTemporaryMark.size()) == kTemporaryMark;
}

} // namespace vqx
