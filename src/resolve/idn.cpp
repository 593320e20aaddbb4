#include "resolve/idn.h"

#include "common/text.h"
#include "resolve/idn_library.h"

namespace netsorter {
namespace {

constexpr size_t npos = std::string_view::npos;

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool hasAceLabel(std::string_view lowerName) {
    for (size_t start = 0;;) {
        if (lowerName.substr(start).starts_with("xn--")) {
            return true;
        }
        start = lowerName.find('.', start);
        if (start == npos) {
            return false;
        }
        ++start;
    }
}

// The code point at i of valid UTF-8, and i moved past it.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) {
        return lead;
    }
    const size_t trail = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t cp = lead & (0x3F >> trail);
    for (size_t k = 0; k < trail && i < text.size(); ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp;
}

enum Script : unsigned { Other = 0, Latin = 1, Greek = 2, Cyrillic = 4 };

// The letters of the Latin, Greek and Cyrillic blocks; digits, "-" and marks belong to none.
Script scriptOf(char32_t c) {
    const auto in = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    if (in('a', 'z') || in('A', 'Z') || (in(0xC0, 0x2AF) && c != 0xD7 && c != 0xF7) ||
        in(0x1E00, 0x1EFF) || in(0x2C60, 0x2C7F) || in(0xA720, 0xA7FF) || in(0xAB30, 0xAB6F)) {
        return Latin;
    }
    if (in(0x370, 0x3FF) || in(0x1F00, 0x1FFF)) {
        return Greek;
    }
    if (in(0x400, 0x52F) || in(0x1C80, 0x1C8F) || in(0x2DE0, 0x2DFF) || in(0xA640, 0xA69F)) {
        return Cyrillic;
    }
    return Other;
}

bool aLabelMixesScripts(std::string_view name) {
    unsigned seen = 0;
    for (size_t i = 0; i < name.size();) {
        if (name[i] == '.') {
            seen = 0;
            ++i;
            continue;
        }
        seen |= scriptOf(nextCodePoint(name, i));
        if ((seen & (seen - 1)) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> toAsciiHost(std::string_view name) {
    // No host name holds a NUL: the system would read the name only up to it and answer
    // for another host ("10.0.0.1\0.example.org" as the private 10.0.0.1).
    if (name.find('\0') != npos) {
        return std::nullopt;
    }
    if (isAscii(name)) {
        return std::string(name);
    }
    if (!isValidUtf8(name)) {
        return std::nullopt;
    }
    std::optional<std::string> ascii = idn_library::toAscii(std::string(name));
    // Invisible characters map to nothing, and Winsock takes the empty name for this computer.
    if (ascii && ascii->empty()) {
        return std::nullopt;
    }
    return ascii;
}

std::string toUnicodeHost(std::string_view name) {
    const std::string lower = asciiLower(name);
    if (!isAscii(name) || lower.find('\0') != npos || !hasAceLabel(lower)) {
        return std::string(name);
    }
    // The decoders let through what IDNA refuses ("xn--ls8h" is a pile of poo, "xn--abc-" is
    // "abc" on Windows): only a form that names the same host again is taken.
    std::optional<std::string> unicode = idn_library::toUnicode(lower);
    if (!unicode || toAsciiHost(*unicode) != lower) {
        return std::string(name);
    }
    return std::move(*unicode);
}

std::string displayName(std::string_view name) {
    std::string shown = toUnicodeHost(name);
    if (!aLabelMixesScripts(shown)) {
        return shown;
    }
    std::optional<std::string> ascii = toAsciiHost(name);
    return ascii ? std::move(*ascii) : std::string(name);
}

}  // namespace netsorter
