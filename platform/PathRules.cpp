#include "platform/PathRules.h"

namespace vqx {
namespace {

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

// Windows judges the last path element by what comes before its first dot, with trailing
// spaces dropped (Windows 10, and Wine). Newer Windows versions no longer treat "NUL.txt" as a
// device, but refusing it there costs the user nothing and keeps the rule the same on every
// system. COM and LPT take the digits 1 to 9 and also the superscripts "¹", "²" and "³",
// which Windows counts as digits in these names.
bool IsDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
        if (EqualsAsciiNoCase(base, device))
            return true;
    if (base.size() < 4)
        return false;
    const std::string_view stem = base.substr(0, 3), number = base.substr(3);
    if (!EqualsAsciiNoCase(stem, "COM") && !EqualsAsciiNoCase(stem, "LPT"))
        return false;
    if (number.size() == 1)
        return number[0] >= '1' && number[0] <= '9';
    return number == "¹" || number == "²" || number == "³";
}

} // namespace vqx
