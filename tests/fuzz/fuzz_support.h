// What the fuzz targets share: the input as text, dotted addresses, and a failure that
// libFuzzer reports with the input that caused it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace netsorter::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// Aborts, so that libFuzzer saves the input; what and the two sides are printed first.
[[noreturn]] inline void fail(const std::string& what, const std::string& got = {},
                              const std::string& expected = {}) {
    std::fprintf(stderr, "FUZZ FAILURE: %s\n  got:      [%s]\n  expected: [%s]\n", what.c_str(),
                 got.c_str(), expected.c_str());
    std::abort();
}

inline void expectEqual(const std::string& what, const std::string& got,
                        const std::string& expected) {
    if (got != expected) {
        fail(what, got, expected);
    }
}

inline void expect(bool ok, const std::string& what) {
    if (!ok) {
        fail(what);
    }
}

}  // namespace netsorter::fuzz
