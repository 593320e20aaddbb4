// The tool's reader of standard input: the same lines however the input is cut into reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/line_reader.h"

namespace netsorter::console {
namespace {

using namespace std::string_literals;
using Fault = Line::Fault;
using Lines = std::vector<std::pair<std::string, Fault>>;

// Reads input in pieces of at most piece bytes; the read after its end fails with failure
// when one is given.
std::pair<Lines, std::string> readAll(const std::string& input, std::size_t piece,
                                      const char* failure) {
    std::size_t at = 0;
    LineReader reader(
        [&](char* buffer, std::size_t room, std::string& error) {
            const std::size_t n = std::min({piece, room, input.size() - at});
            if (n == 0 && failure != nullptr) {
                error = failure;
            }
            std::memcpy(buffer, input.data() + at, n);
            at += n;
            return n;
        },
        nullptr);
    Lines lines;
    for (Line line; reader.readLine(line);) {
        EXPECT_EQ(line.number, lines.size() + 1);
        lines.emplace_back(line.text, line.fault);
    }
    return {lines, reader.error()};
}

// What the fuzz target's model of lines cannot judge: the decoding of UTF-16, the start of
// the input taken for UTF-16 or not, a failed read.
TEST(ConsoleInput, EncodingsAndFailures) {
    const struct {
        const char* name;
        std::string input;
        Lines lines;
        const char* failure = nullptr;
        std::string error = {};
    } rows[] = {
        {"UTF-16BE: a pair, a lone low surrogate, a high one and an odd byte at the end",
         "\xFE\xFF\xD8\x3D\xDE\x00\xDC\x00\0\n\xD8\x00x"s,
         {{"😀\uFFFD", Fault::none}, {"\uFFFD\uFFFD", Fault::none}}},
        {"UTF-16BE without its mark",
         "\0"
         "1\0.\0"
         "2\0\n"s,
         {},
         nullptr,
         "it looks like UTF-16 without a byte-order mark"},
        {"NUL bytes alone are no UTF-16",
         std::string(2 * kMaxLineBytes, '\0'),
         {{"", Fault::tooLong}}},
        {"a failed read drops the line it cut",
         "a\nb",
         {{"a", Fault::none}},
         "Input/output error",
         "Input/output error"},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
            const auto [lines, error] = readAll(row.input, piece, row.failure);
            EXPECT_EQ(lines, row.lines) << row.name << ", pieces of " << piece;
            EXPECT_TRUE(error.starts_with(row.error) && error.empty() == row.error.empty())
                << row.name << ", pieces of " << piece << ": " << error;
        }
    }
}

// A program that feeds a line and waits for its answer gets it: the reader reads no further
// than the line's end, whether it waits for an LF after a CR or for more of the start.
TEST(ConsoleInput, EachLineWithoutWaitingForMore) {
    const std::vector<std::string> reads = {"10.1.2.3\r", "\n8.8.8.8\n"};
    std::size_t done = 0;
    LineReader reader(
        [&](char* buffer, std::size_t, std::string&) {
            const std::string& piece = done < reads.size() ? reads[done] : "";
            ++done;
            std::memcpy(buffer, piece.data(), piece.size());
            return piece.size();
        },
        nullptr);
    Line line;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        ASSERT_TRUE(reader.readLine(line));
        EXPECT_EQ(done, i + 1);
    }
    EXPECT_EQ(line.text, "8.8.8.8");
    EXPECT_FALSE(reader.readLine(line));
}

TEST(ConsoleInput, WhitespaceAroundALine) {
    const std::pair<std::string, std::string> rows[] = {
        {" \t\v\f10.1.2.3\u00A0\u3000\uFEFF", "10.1.2.3"},
        {"\u2009ya.ru/a b\u0085", "ya.ru/a b"},
        {"\u00A0\u2003", ""},
        // Not whitespace: kept for the check to judge.
        {"\u200Bx\x1c", "\u200Bx\x1c"},
    };
    for (const auto& [line, trimmed] : rows) {
        EXPECT_EQ(trimWhitespace(line), trimmed) << line;
    }
}

}  // namespace
}  // namespace netsorter::console
