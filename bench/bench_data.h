// Seeded data the benchmarks share: random addresses and a random subnet list.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace bench {

inline constexpr size_t kAddresses = 1000000;

inline std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// The same kAddresses random addresses in every run (mt19937's output is fixed).
inline const std::vector<std::uint32_t>& randomAddresses() {
    static const std::vector<std::uint32_t> addresses = [] {
        std::mt19937 random(20240517);
        std::vector<std::uint32_t> out(kAddresses);
        for (auto& a : out) {
            a = static_cast<std::uint32_t>(random());
        }
        return out;
    }();
    return addresses;
}

inline const std::vector<std::string>& dottedAddresses() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        out.reserve(kAddresses);
        for (const std::uint32_t a : randomAddresses()) {
            out.push_back(dotted(a));
        }
        return out;
    }();
    return texts;
}

// A nets.txt text of the given number of subnets, shaped like a routing table: 60 % /24,
// 30 % /16 to /23, 10 % /25 to /32 and one in ten thousand /8 to /15; every eighth start
// not aligned to its prefix, every fiftieth subnet a repeat of an earlier one (nested and
// overlapping subnets come with the random starts), a heading of sixteen every 1000 lines.
inline std::string netsText(size_t subnets) {
    std::mt19937 random(11);
    std::vector<std::pair<std::uint32_t, int>> listed;
    listed.reserve(subnets);
    std::string text = "Generated for the benchmarks\r\n";
    for (size_t i = 0; i < subnets; ++i) {
        if (i % 1000 == 0) {
            text += "# Тип трафика " + std::to_string(i / 1000 % 16) + "\r\n";
        }
        std::pair<std::uint32_t, int> net;
        if (i % 50 == 49) {
            net = listed[random() % listed.size()];
        } else {
            const std::uint32_t kind = random() % 10000;
            const int prefix = kind < 1      ? 8 + static_cast<int>(random() % 8)
                               : kind < 3000 ? 16 + static_cast<int>(random() % 8)
                               : kind < 4000 ? 25 + static_cast<int>(random() % 8)
                                             : 24;
            std::uint32_t start = static_cast<std::uint32_t>(random());
            if (i % 8 != 0) {
                start &= ~std::uint32_t{0} << (32 - prefix);
            }
            net = {start, prefix};
        }
        listed.push_back(net);
        text += dotted(net.first) + "/" + std::to_string(net.second) + "\r\n";
    }
    return text;
}

}  // namespace bench
