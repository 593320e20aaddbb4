// The command-line tool's reading of standard input, however the bytes arrive: pieces of
// sizes named by the input's first byte. Every line comes out whole and in order, a CR
// before its LF dropped, NUL bytes and lone CRs kept.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/line_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    if (size == 0) {
        return 0;
    }
    const unsigned pieces = data[0];
    const std::string_view input = asText(data + 1, size - 1);

    std::vector<std::string> expected;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        std::string line(input.substr(at, end - at));
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        expected.push_back(line);
        at = end + 1;
    }

    std::size_t at = 0;
    std::size_t reads = 0;
    std::size_t waits = 0;
    console::LineReader reader(
        [&](char* buffer, std::size_t room) {
            // 1 to 8 bytes at a time, or as much as there is room for.
            const std::size_t piece = pieces & 8 ? room : 1 + (pieces + reads++) % 8;
            const std::size_t n = std::min({piece, room, input.size() - at});
            std::memcpy(buffer, input.data() + at, n);
            at += n;
            return n;
        },
        [&] { ++waits; });
    std::vector<std::string> lines;
    for (std::string line; reader.readLine(line);) {
        lines.push_back(line);
    }
    expect(lines == expected, "lines: " + std::to_string(lines.size()) + ", expected " +
                                  std::to_string(expected.size()));
    expect(!reader.readLine(lines.emplace_back()), "a line after the end");
    expect(waits >= 1 && at == input.size(), "input left unread");
    return 0;
}
