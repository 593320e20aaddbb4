// The tool's reader of standard input, where the fuzz target cannot judge.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/line_reader.h"

namespace netsorter::console {
namespace {

using namespace std::string_literals;

TEST(ConsoleInput, Utf16ThatIsNotTextBecomesReplacementCharacters) {
    // A pair, a lone low surrogate; a high one and an odd byte at the end.
    const std::string input = "\xFE\xFF\xD8\x3D\xDE\x00\xDC\x00\0\n\xD8\x00x"s;
    bool given = false;
    LineReader reader(
        [&](char* buffer, std::size_t) -> Result<std::size_t> {
            const std::size_t n = given ? 0 : input.size();
            std::memcpy(buffer, input.data(), n);
            given = true;
            return n;
        },
        nullptr);
    std::vector<std::string> lines;
    for (Line line; reader.readLine(line);) {
        lines.push_back(line.text);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"😀\uFFFD", "\uFFFD\uFFFD"}));
}

}  // namespace
}  // namespace netsorter::console
