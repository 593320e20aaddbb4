// The decoding of the data files' bytes: whatever they hold, the program gets valid UTF-8,
// its lines put together again give the text back, and case folding keeps it valid.
#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz_support.h"

namespace netsorter::fuzz {
namespace {

// The well-formed byte sequences of the Unicode standard (its table 3-7), position by
// position.
bool referenceValidUtf8(std::string_view s) {
    auto in = [](unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        auto at = [&](std::size_t k) {
            return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
        };
        std::size_t n = 0;
        if (c <= 0x7F) {
            n = 1;
        } else if (in(c, 0xC2, 0xDF)) {
            n = in(at(1), 0x80, 0xBF) ? 2 : 0;
        } else if (c == 0xE0 || c == 0xED || in(c, 0xE1, 0xEF)) {
            const bool second = c == 0xE0   ? in(at(1), 0xA0, 0xBF)
                                : c == 0xED ? in(at(1), 0x80, 0x9F)
                                            : in(at(1), 0x80, 0xBF);
            n = second && in(at(2), 0x80, 0xBF) ? 3 : 0;
        } else if (in(c, 0xF0, 0xF4)) {
            const bool second = c == 0xF0   ? in(at(1), 0x90, 0xBF)
                                : c == 0xF4 ? in(at(1), 0x80, 0x8F)
                                            : in(at(1), 0x80, 0xBF);
            n = second && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
        }
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

// Case folding by code point: A-Z, А-Я, Ѐ-Џ and Ґ to their small letters.
std::u32string referenceFold(const std::u32string& text) {
    std::u32string out = text;
    for (char32_t& c : out) {
        if (c >= U'A' && c <= U'Z') {
            c += 0x20;
        } else if (c >= 0x0410 && c <= 0x042F) {
            c += 0x20;
        } else if (c >= 0x0400 && c <= 0x040F) {
            c += 0x50;
        } else if (c == 0x0490) {
            c = 0x0491;
        }
    }
    return out;
}

// Valid UTF-8 to code points.
std::u32string codePoints(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        out += cp;
        i += n;
    }
    return out;
}

void expectLinesGiveTheTextBack(std::string_view text) {
    const std::vector<std::string> lines = splitLines(text);
    expect(!text.empty() || lines.empty(), "an empty text has a line");
    std::size_t at = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        expect(lines[k].find_first_of("\r\n") == std::string::npos, "a line end in a line");
        expect(text.substr(at, lines[k].size()) == lines[k], "a line not from the text");
        at += lines[k].size();
        if (k + 1 < lines.size()) {
            expect(at < text.size() && (text[at] == '\r' || text[at] == '\n'), "no line end");
            at += text.substr(at, 2) == "\r\n" ? 2 : 1;
        }
    }
    expect(at == text.size(), "lines lost");
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string_view bytes = asText(data, size);
    const bool valid = isValidUtf8(bytes);
    expect(valid == referenceValidUtf8(bytes), "isValidUtf8");

    const std::string cp1251 = cp1251ToUtf8(bytes);
    expect(isValidUtf8(cp1251), "Windows-1251 decoded to invalid UTF-8");
    expect(codePoints(cp1251).size() == bytes.size(), "not one character per byte");

    const std::string text = decodeText(bytes);
    expect(isValidUtf8(text), "decodeText gave invalid UTF-8");
    const std::string_view unmarked = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    if (isValidUtf8(unmarked)) {
        expectEqual("UTF-8 kept", text, std::string(unmarked));
    }
    expect(splitLines(text).size() == splitLines(unmarked).size(), "decoding changed the lines");

    expectLinesGiveTheTextBack(bytes);

    const std::string folded = foldCase(text);
    expect(folded.size() == text.size() && isValidUtf8(folded), "folding broke the text");
    expect(codePoints(folded) == referenceFold(codePoints(text)), "folded wrongly");
    expectEqual("folding twice", foldCase(folded), folded);

    const std::string_view trimmed = trimSpaces(bytes);
    expect(!trimmed.starts_with(' ') && !trimmed.ends_with(' ') &&
               bytes.find(trimmed) != std::string_view::npos,
           "trimSpaces");
    return 0;
}
