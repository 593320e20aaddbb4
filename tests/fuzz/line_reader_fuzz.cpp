// The command-line tool's reading of standard input, however the bytes arrive: pieces of
// sizes named by the input's first byte. The lines are the text's split at CR LF, LF and
// lone CR, each whole unless longer than the bound or holding a NUL byte; and the lines, or
// the refusal of the input, do not depend on how the input is cut into reads (UTF-16 with
// its mark included).
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

Lines expectedLines(std::string_view text) {
    Lines lines;
    forEachLine(text, [&](std::string_view line) {
        using Fault = console::Line::Fault;
        if (line.size() > console::kMaxLineBytes) {
            lines.emplace_back("", Fault::TooLong);
        } else if (line.find('\0') != std::string_view::npos) {
            lines.emplace_back("", Fault::Nul);
        } else {
            lines.emplace_back(line, Fault::None);
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
        [&](char* buffer, std::size_t room) -> Result<std::size_t> {
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
    const auto [lines, error] = readAll(text, mode);
    const auto whole = readAll(text, 8);
    fuzz::expect(lines == whole.first && error == whole.second,
                 "the reads' sizes changed the lines or the refusal");

    // Text neither marked as UTF-16 nor refused as unmarked UTF-16 is read as bytes.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") || !error.empty()) {
        return 0;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    fuzz::expect(lines == expectedLines(text), "lines: " + std::to_string(lines.size()));
    return 0;
}
