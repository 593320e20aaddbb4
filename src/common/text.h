// Text helpers shared by the readers of the program's files. Inside the program every
// text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/problem.h"

namespace netsorter {

bool isValidUtf8(std::string_view bytes);

// Appends one code point (at most U+10FFFF, not a surrogate) in UTF-8.
void appendUtf8(std::string& out, char32_t cp);

// Windows-1251 bytes to UTF-8.
std::string cp1251ToUtf8(std::string_view bytes);

// A text file's bytes to UTF-8: a leading byte-order mark is dropped, valid UTF-8 is
// taken as it is, and anything else is read as Windows-1251, the code page the program's
// files were written in on Russian Windows.
std::string decodeText(std::string_view bytes);

// How the start of a text tells its encoding. Standard input and the data files are read
// alike: 8-bit text (UTF-8, with or without its mark, else Windows-1251) or UTF-16 with a
// byte-order mark; UTF-32 and UTF-16 without a mark are refused, never read as garbage.
enum class TextEncoding { Bytes, Utf16Le, Utf16Be, Utf32, Utf16Unmarked };

// At most this much of the start is looked at.
inline constexpr std::size_t kEncodingSniffBytes = 64;

// The encoding the first bytes of a text show. Fewer than four bytes may not tell UTF-32
// from UTF-16 yet: a reader of a stream waits for more while mayStillChange says so.
TextEncoding encodingOf(std::string_view head);
bool encodingMayStillChange(std::string_view head);

// Why a text in a refused encoding is not read; empty for the encodings that are read.
std::string refusedEncodingReason(TextEncoding encoding);

// Appends the UTF-8 of the UTF-16 code units in bytes (pairs, in the byte order given), a
// high surrogate carried over to the next call in pendingHigh; a lone surrogate becomes
// U+FFFD. Returns how many bytes it used: an odd last byte waits for its partner.
std::size_t appendUtf16(std::string& out, std::string_view bytes, bool littleEndian,
                        char16_t& pendingHigh);

// A whole data file (nets.txt, countries.txt) to UTF-8 in the encodings above, or why not.
Result<std::string> decodeDataFile(std::string_view bytes);

// Text as the program shows it where a control character would break a line or drive a
// terminal: C0 and C1 controls and DEL as \xNN (tab, CR and LF as \t, \r, \n), U+2028
// and U+2029 as \u2028 and \u2029, and the backslash doubled, so every escape reads one
// way. A TSV field (tsvField) keeps the backslash and turns tab, CR and LF into a blank, so
// that a column never holds a tab or a line end.
void appendEscaped(std::string& out, std::string_view text, bool tsvField = false);
std::string escaped(std::string_view text);

// Calls line(view) for every line of text, split as splitLines splits it, without copying
// the text: a file of millions of lines is walked in place.
template <class LineFn>
void forEachLine(std::string_view text, LineFn&& line) {
    if (text.empty()) {
        return;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            line(text.substr(start));
            return;
        }
        line(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

// Splits at CR LF, lone CR and lone LF. A final line end yields a final empty line;
// an empty text yields no line at all.
std::vector<std::string> splitLines(std::string_view text);

// A text without the whitespace around it: ASCII's, Unicode's (no-break, ideographic and
// the other spaces) and U+FEFF, all of which copies from documents and other tools bring
// along.
std::string_view trimWhitespace(std::string_view utf8);

// Appends n in decimal.
void appendDecimal(std::string& out, std::uint64_t n);

// Removes space characters (only U+0020) at both ends.
std::string_view trimSpaces(std::string_view text);

// Folds ASCII and Cyrillic letters to lower case, for keys compared without regard to case.
std::string foldCase(std::string_view utf8);

// Replaces every pair of adjacent characters c by one c, in one left-to-right pass over
// pairs that do not overlap (three in a row become two).
std::string collapsePairs(std::string_view text, char c);

}  // namespace netsorter
