// The rules of a backup request: the name, and the destination taken as a folder path.
#include "engine/Solicitud.h"

#include "platform/PathRules.h"

#include <array>
#include <vector>

namespace vqx::engine {
namespace {

// Tested as substrings of the UTF-8 text: "¿" is two bytes, and a whole-sequence match can
// only hit that character, never a byte of another one.
constexpr std::array<std::string_view, 9> kForbidden = {"<", "|", "\\", "/", ">",
                                                        ":", "?", "*",  "¿"};

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

// The part of a normalized destination up to and including its last separator.
std::string_view FolderPart(std::string_view destination) {
    const std::size_t last = destination.find_last_of('\\');
    return last == std::string_view::npos ? std::string_view() : destination.substr(0, last + 1);
}

} // namespace

std::u32string NameKey(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();)
        out += UpperCase(NextCodePoint(s, i));
    return out;
}

std::string TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// The double quote is let through: the copy then fails and the run reports it.
bool IsAcceptableName(std::string_view name) {
    if (name.empty())
        return false;
    for (std::string_view c : kForbidden)
        if (name.find(c) != std::string_view::npos)
            return false;
    // Windows refuses control characters in file names.
    for (unsigned char c : name)
        if (c < 0x20)
            return false;
    return !IsDeviceName(name);
}

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
    const std::u32string inner = NameKey(FolderPart(destination));
    const std::u32string outer = NameKey(std::string(folder) + "\\");
    return inner.compare(0, outer.size(), outer) == 0;
}

bool IsAcceptableDestination(std::string_view destination, std::string_view dataFolder) {
    return !destination.empty() && IsAbsoluteDestination(destination) &&
           !IsInsideFolder(destination, std::string(dataFolder) + "\\VQX Datos");
}

} // namespace vqx::engine
