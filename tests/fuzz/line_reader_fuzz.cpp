// The command-line tool's reading of standard input, however the bytes arrive: pieces of
// sizes named by the input's first byte. The lines are the text's split at CR LF, LF and
// lone CR, each whole unless longer than the bound or holding a NUL byte; the same text in
// UTF-16 with its mark gives the same lines; and the lines, or the refusal of the input, do
// not depend on how the input is cut into reads.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/line_reader.h"
#include "common/text.h"
#include "fuzz_support.h"

namespace {

using namespace netsorter;
using Lines = std::vector<std::pair<std::string, console::Line::Fault>>;

// Valid UTF-8 in UTF-16 with its byte-order mark.
std::string utf16(std::string_view utf8, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    const auto unit = [&](char32_t u) {
        const char low = static_cast<char>(u & 0xFF);
        const char high = static_cast<char>(u >> 8);
        out += little ? low : high;
        out += little ? high : low;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += length;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

Lines expectedLines(std::string_view text) {
    Lines lines;
    forEachLine(text, [&](std::string_view line) {
        using Fault = console::Line::Fault;
        if (line.size() > console::kMaxLineBytes) {
            lines.emplace_back("", Fault::tooLong);
        } else if (line.find('\0') != std::string_view::npos) {
            lines.emplace_back("", Fault::nul);
        } else {
            lines.emplace_back(line, Fault::none);
        }
    });
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        lines.pop_back();
    }
    return lines;
}

// The lines of input read in pieces of 1 to 8 bytes chosen by pieces (as many times more as
// the input has 4 KiB, so that a long line goes fast), or as much as there is room for when
// pieces has bit 8.
std::pair<Lines, std::string> readAll(std::string_view input, unsigned pieces) {
    const std::size_t scale = 1 + input.size() / 4096;
    std::size_t at = 0;
    std::size_t reads = 0;
    std::size_t waits = 0;
    console::LineReader reader(
        [&](char* buffer, std::size_t room, std::string&) {
            const std::size_t piece = pieces & 8 ? room : scale * (1 + (pieces + reads++) % 8);
            const std::size_t n = std::min({piece, room, input.size() - at});
            std::memcpy(buffer, input.data() + at, n);
            at += n;
            return n;
        },
        [&] { ++waits; });
    Lines lines;
    for (console::Line line; reader.readLine(line);) {
        fuzz::expect(line.number == lines.size() + 1, "line numbers");
        fuzz::expect(line.text.size() <= console::kMaxLineBytes, "a line beyond the bound");
        lines.emplace_back(line.text, line.fault);
    }
    console::Line after;
    fuzz::expect(!reader.readLine(after), "a line after the end");
    fuzz::expect(waits >= 1 && (at == input.size() || !reader.error().empty()),
                 "input left unread");
    return {lines, reader.error()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned mode = data[0];
    std::string text(fuzz::asText(data + 1, size - 1));
    // Now and then a line about as long as the bound allows.
    if (mode & 0x10) {
        text.insert(text.size() / 2, console::kMaxLineBytes - 8 + text.size() % 16, 'x');
    }
    const unsigned encoding = isValidUtf8(text) ? (mode >> 5) % 3 : 0;
    const std::string input = encoding == 0 ? text : utf16(text, encoding == 1);

    const auto [lines, error] = readAll(input, mode);
    const auto whole = readAll(input, 8);
    fuzz::expect(lines == whole.first && error == whole.second,
                 "the reads' sizes changed the lines or the refusal");

    // Text that is neither marked as UTF-16 nor refused as unmarked UTF-16 is read as bytes.
    if (encoding == 0 &&
        (input.starts_with("\xFF\xFE") || input.starts_with("\xFE\xFF") || !error.empty())) {
        return 0;
    }
    fuzz::expect(error.empty(), "UTF-16 with its mark refused");
    if (encoding == 0 && text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    fuzz::expect(lines == expectedLines(text), "lines: " + std::to_string(lines.size()));
    return 0;
}
