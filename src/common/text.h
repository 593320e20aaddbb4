// Text helpers shared by the readers of the program's files. Inside the program every
// text is UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Removes space characters (only U+0020) at both ends.
std::string_view trimSpaces(std::string_view text);

// Folds ASCII and Cyrillic letters to lower case, for keys compared without regard to case.
std::string foldCase(std::string_view utf8);

// Replaces every pair of adjacent characters c by one c, in one left-to-right pass over
// pairs that do not overlap (three in a row become two).
std::string collapsePairs(std::string_view text, char c);

}  // namespace netsorter
