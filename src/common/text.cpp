#include "common/text.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

namespace netsorter {
namespace {

// The upper half of Windows-1251 (0x80..0xBF; 0xC0..0xFF are U+0410..U+044F).
// 0x98 has no character; Windows maps it to U+0098, and so do we.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len) {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

std::string cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else if (c < 0xC0) {
            appendUtf8(out, kCp1251High[c - 0x80]);
        } else {
            appendUtf8(out, 0x0410 + (c - 0xC0));
        }
    }
    return out;
}

std::string decodeText(std::string_view bytes) {
    // The mark is text in neither reading: a file that starts with it and goes on in
    // Windows-1251 (one file appended to another) keeps its first line.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    return isValidUtf8(bytes) ? std::string(bytes) : cp1251ToUtf8(bytes);
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    forEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::string_view trimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string foldCase(std::string_view utf8) {
    std::string out(utf8);
    for (size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
            continue;
        }
        if (i + 1 >= out.size()) {
            break;
        }
        const auto d = static_cast<unsigned char>(out[i + 1]);
        if (c == 0xD0 && d >= 0x90 && d <= 0x9F) {  // А..П -> а..п
            out[i + 1] = static_cast<char>(d + 0x20);
        } else if (c == 0xD0 && d >= 0xA0 && d <= 0xAF) {  // Р..Я -> р..я
            out[i] = static_cast<char>(0xD1);
            out[i + 1] = static_cast<char>(d - 0x20);
        } else if (c == 0xD0 && d >= 0x80 && d <= 0x8F) {  // Ѐ..Џ -> ѐ..џ
            out[i] = static_cast<char>(0xD1);
            out[i + 1] = static_cast<char>(d + 0x10);
        } else if (c == 0xD2 && d == 0x90) {  // Ґ -> ґ
            out[i + 1] = static_cast<char>(0x91);
        }
        if (c >= 0xC0) {
            ++i;  // never look at a continuation byte as a lead byte
        }
    }
    return out;
}

std::string collapsePairs(std::string_view text, char c) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == c && i + 1 < text.size() && text[i + 1] == c) {
            ++i;
        }
    }
    return out;
}

}  // namespace netsorter

namespace netsorter {
namespace {

// NUL in every other byte (odd ones for little-endian, even ones for big-endian) and in no
// other, which also tells UTF-16 text from a run of NUL bytes.
bool mayBeUnmarkedUtf16(std::string_view bytes, std::size_t nulAt) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if ((bytes[i] == '\0') != (i % 2 == nulAt)) {
            return false;
        }
    }
    return true;
}

bool mayBeUnmarkedUtf16(std::string_view head) {
    return mayBeUnmarkedUtf16(head, 0) || mayBeUnmarkedUtf16(head, 1);
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// The UTF-32 little-endian mark begins with the UTF-16 one: it is looked for first.
constexpr std::string_view kUtf32LeMark("\xFF\xFE\0\0", 4);
constexpr std::string_view kUtf32BeMark("\0\0\xFE\xFF", 4);

}  // namespace

TextEncoding encodingOf(std::string_view head) {
    head = head.substr(0, kEncodingSniffBytes);
    if (head.starts_with(kUtf32LeMark) || head.starts_with(kUtf32BeMark)) {
        return TextEncoding::Utf32;
    }
    if (head.starts_with("\xFF\xFE")) {
        return TextEncoding::Utf16Le;
    }
    if (head.starts_with("\xFE\xFF")) {
        return TextEncoding::Utf16Be;
    }
    if (head.size() >= 4 && mayBeUnmarkedUtf16(head)) {
        return TextEncoding::Utf16Unmarked;
    }
    return TextEncoding::Bytes;
}

bool encodingMayStillChange(std::string_view head) {
    if (head.size() >= kEncodingSniffBytes) {
        return false;
    }
    return mayBeUnmarkedUtf16(head) ||
           (head.size() < kUtf32LeMark.size() &&
            (kUtf32LeMark.starts_with(head) || kUtf32BeMark.starts_with(head))) ||
           (head.size() < kUtf8Mark.size() && kUtf8Mark.starts_with(head));
}

std::string refusedEncodingReason(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf32:
            return "it is in UTF-32; give it in UTF-8, or in UTF-16 with a byte-order mark";
        case TextEncoding::Utf16Unmarked:
            return "it looks like UTF-16 without a byte-order mark; give it in UTF-8, or in "
                   "UTF-16 with the mark";
        case TextEncoding::Bytes:
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            break;
    }
    return {};
}

std::size_t appendUtf16(std::string& out, std::string_view bytes, bool littleEndian,
                        char16_t& pendingHigh) {
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        const auto unit =
            static_cast<char16_t>(littleEndian ? second << 8 | first : first << 8 | second);
        if (pendingHigh != 0) {
            const char16_t high = std::exchange(pendingHigh, 0);
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                continue;
            }
            appendUtf8(out, 0xFFFD);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh = unit;
        } else {
            appendUtf8(out, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    return i;
}

Result<std::string> decodeDataFile(std::string_view bytes) {
    const TextEncoding encoding = encodingOf(bytes);
    if (std::string reason = refusedEncodingReason(encoding); !reason.empty()) {
        return Status::failure(std::move(reason));
    }
    if (encoding == TextEncoding::Bytes) {
        return decodeText(bytes);
    }
    std::string text;
    text.reserve(bytes.size());
    char16_t pendingHigh = 0;
    const std::size_t used =
        appendUtf16(text, bytes.substr(2), encoding == TextEncoding::Utf16Le, pendingHigh);
    // A surrogate without its pair, a byte without its partner.
    if (pendingHigh != 0) {
        appendUtf8(text, 0xFFFD);
    }
    if (2 + used < bytes.size()) {
        appendUtf8(text, 0xFFFD);
    }
    return text;
}

namespace {

// Whether any of the eight bytes at p is below 0x20 or one of 0x7F, '\\', 0xC2, 0xE2: the
// bytes appendEscaped looks at more closely.
bool mayEscapeAny(const char* p) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHigh = 0x8080808080808080;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    return ((x - kOnes * 0x20) & ~x & kHigh) | hasZero(x ^ (kOnes * 0x7F)) |
           hasZero(x ^ (kOnes * '\\')) | hasZero(x ^ (kOnes * 0xC2)) | hasZero(x ^ (kOnes * 0xE2));
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text, bool tsvField) {
    constexpr char kHex[] = "0123456789abcdef";
    // The bytes that may start something to escape; any other is copied as it is.
    static constexpr std::array<bool, 256> kMayEscape = [] {
        std::array<bool, 256> may{};
        for (std::size_t c = 0; c < 0x20; ++c) {
            may[c] = true;
        }
        may[0x7F] = may['\\'] = may[0xC2] = may[0xE2] = true;
        return may;
    }();
    std::size_t from = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        // Eight bytes at a time while none of them needs a closer look.
        while (at + 8 <= text.size() && !mayEscapeAny(text.data() + at)) {
            at += 8;
        }
        if (at == text.size()) {
            break;
        }
        auto code = static_cast<unsigned char>(text[at]);
        if (!kMayEscape[code]) {
            continue;
        }
        std::size_t length = 1;
        if (code == 0xC2 && at + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[at + 1]);
            if (next < 0x80 || next > 0x9F) {
                continue;
            }
            code = next;  // U+0080..U+009F
            length = 2;
        } else if (code == 0xE2) {
            // U+2028 and U+2029 end lines for some readers.
            if (!text.substr(at).starts_with("\u2028") && !text.substr(at).starts_with("\u2029")) {
                continue;
            }
            length = 3;
        } else if (code >= 0x20 && code != 0x7F && (code != '\\' || tsvField)) {
            continue;
        }
        out.append(text, from, at - from);
        from = at + length;
        if (length == 3) {
            out += text[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
        } else if (tsvField && (code == '\t' || code == '\r' || code == '\n')) {
            out += ' ';
        } else if (code == '\t') {
            out += "\\t";
        } else if (code == '\n') {
            out += "\\n";
        } else if (code == '\r') {
            out += "\\r";
        } else if (code == '\\') {
            out += "\\\\";
        } else {
            out += "\\x";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        }
        at = from - 1;
    }
    out.append(text, from);
}

std::string escaped(std::string_view text) {
    std::string out;
    appendEscaped(out, text);
    return out;
}

namespace {

// Unicode's White_Space beyond ASCII, and U+FEFF.
constexpr std::string_view kWideSpaces[] = {"\u0085", "\u00A0", "\u1680", "\u2000", "\u2001",
                                            "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
                                            "\u2007", "\u2008", "\u2009", "\u200A", "\u2028",
                                            "\u2029", "\u202F", "\u205F", "\u3000", "\uFEFF"};

// The length of the space beyond ASCII that text starts with (ends with, atEnd), or 0.
std::size_t wideSpaceLength(std::string_view text, bool atEnd) {
    for (const std::string_view space : kWideSpaces) {
        if (atEnd ? text.ends_with(space) : text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

// The same for any whitespace character; text is not empty.
std::size_t spaceLength(std::string_view text, bool atEnd) {
    const auto c = static_cast<unsigned char>(atEnd ? text.back() : text.front());
    if (c < 0x80) {
        return c == ' ' || (c >= '\t' && c <= '\r') ? 1 : 0;
    }
    return wideSpaceLength(text, atEnd);
}

}  // namespace

void appendDecimal(std::string& out, std::uint64_t n) {
    char digits[20];
    const std::to_chars_result end = std::to_chars(std::begin(digits), std::end(digits), n);
    out.append(digits, end.ptr);
}

std::string_view trimWhitespace(std::string_view utf8) {
    for (std::size_t n; !utf8.empty() && (n = spaceLength(utf8, false)) != 0;) {
        utf8.remove_prefix(n);
    }
    for (std::size_t n; !utf8.empty() && (n = spaceLength(utf8, true)) != 0;) {
        utf8.remove_suffix(n);
    }
    return utf8;
}

}  // namespace netsorter
