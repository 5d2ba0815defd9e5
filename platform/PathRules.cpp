#include "platform/PathRules.h"

#include <vector>

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

// Whether Windows would open a device instead of a file for the name N + ".vqxdb". Windows
// judges the last path element by what comes before its first dot, with trailing spaces
// dropped: "CON", "con  ", "COM1." and "NUL.txt" all name a device, and so does every
// N + ".vqxdb" whose N is such a name (Windows 10, and Wine). Newer Windows versions no longer
// treat "NUL.txt" as a device, but refusing it there costs the user nothing and keeps the rule
// the same on every system. COM and LPT take the digits 1 to 9 and also the superscripts
// "¹", "²" and "³", which Windows counts as digits in these names.
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

namespace vqx {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The next code point of UTF-8 text; a byte that starts no valid sequence stands for itself,
// out of the way of real characters.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if (extra == 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return 0x110000 + lead;
    }
    char32_t cp = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto byte = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((byte & 0xC0) != 0x80) {
            ++i;
            return 0x110000 + lead;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// Windows compares file names by their upper-case forms; this covers the scripts that names
// of office folders are written in.
char32_t UpperCase(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c < 0xE0)
        return c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x3C2)
        return 0x3A3;
    if ((c >= 0x3B1 && c <= 0x3C9) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

std::u32string Folded(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();)
        out += UpperCase(NextCodePoint(s, i));
    return out;
}

// The part of a normalized destination up to and including its last separator.
std::string_view FolderPart(std::string_view destination) {
    const std::size_t last = destination.find_last_of('\\');
    return last == std::string_view::npos ? std::string_view() : destination.substr(0, last + 1);
}

} // namespace

std::string NormalizeDestination(std::string_view destination) {
    std::size_t last = destination.size();
    while (last > 0 && !IsSeparator(destination[last - 1]))
        --last;
    if (last == 0)
        return std::string(destination);
    const std::string_view head = destination.substr(0, last), tail = destination.substr(last);

    std::vector<std::string> names;
    std::string current;
    for (char c : head) {
        if (!IsSeparator(c)) {
            current += c;
            continue;
        }
        names.push_back(current);
        current.clear();
    }
    // names[i] is the text before the i-th separator; empty ones are repeated separators.
    std::string root;
    std::size_t first = 0;
    if (names.size() >= 2 && names[0].empty() && names[1].empty()) {
        // "\\server\share\": the server and the share are the root, never left by "..".
        first = 2;
        while (first < names.size() && names[first].empty())
            ++first;
        root = "\\\\";
        for (int part = 0; part < 2 && first < names.size(); ++part)
            root += names[first++] + "\\";
    } else if (names[0].empty()) {
        root = "\\";
        first = 1;
    } else if (names[0].size() == 2 && IsAsciiLetter(names[0][0]) && names[0][1] == ':') {
        root = names[0] + "\\";
        first = 1;
    }
    std::vector<std::string> kept;
    for (std::size_t i = first; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty() || name == ".")
            continue;
        if (name == ".." && !root.empty()) {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(name);
    }
    std::string out = root;
    for (const std::string& name : kept)
        out += name + "\\";
    return out + std::string(tail);
}

bool IsAbsoluteDestination(std::string_view d) {
    if (d.size() >= 3 && IsAsciiLetter(d[0]) && d[1] == ':' && d[2] == '\\')
        return true;
    if (d.substr(0, 2) != "\\\\")
        return false;
    const std::size_t serverEnd = d.find('\\', 2);
    if (serverEnd == std::string_view::npos || serverEnd == 2)
        return false;
    // "\\?\" and "\\.\" name the system's own namespaces, not a server.
    const std::string_view server = d.substr(2, serverEnd - 2);
    if (server == "?" || server == ".")
        return false;
    const std::size_t shareEnd = d.find('\\', serverEnd + 1);
    return shareEnd != std::string_view::npos && shareEnd > serverEnd + 1;
}

bool IsInsideFolder(std::string_view destination, std::string_view folder) {
    while (!folder.empty() && IsSeparator(folder.back()))
        folder.remove_suffix(1);
    const std::u32string inner = Folded(FolderPart(destination));
    const std::u32string outer = Folded(std::string(folder) + "\\");
    return inner.compare(0, outer.size(), outer) == 0;
}

} // namespace vqx
