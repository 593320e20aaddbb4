// Small GeoIP country databases built in memory: nodes of two 24-bit records, least
// significant byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace netsorter::testing {

inline constexpr std::uint32_t kLeafBase = 16776960;

struct Node {
    std::uint32_t left;
    std::uint32_t right;
};

constexpr std::uint32_t leaf(std::uint32_t index) {
    return kLeafBase + index;
}

inline std::string database(const std::vector<Node>& nodes) {
    std::string bytes;
    for (const Node& n : nodes) {
        for (const std::uint32_t r : {n.left, n.right}) {
            bytes += static_cast<char>(r & 0xFF);
            bytes += static_cast<char>((r >> 8) & 0xFF);
            bytes += static_cast<char>((r >> 16) & 0xFF);
        }
    }
    return bytes;
}

// A full tree of 8 levels: the first octet of an address is its leaf index (0 reaches the
// not-found record), so "N.0.0.1" asks the table for the key N.
inline std::string octetDatabase() {
    std::vector<Node> nodes;
    for (std::uint32_t i = 0; i < 127; ++i) {
        nodes.push_back({2 * i + 1, 2 * i + 2});
    }
    for (std::uint32_t j = 0; j < 128; ++j) {
        nodes.push_back({leaf(2 * j), leaf(2 * j + 1)});
    }
    return database(nodes);
}

}  // namespace netsorter::testing
