// Seeded data the benchmarks share: random addresses and random subnet lists.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "nets/ip_address.h"

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

// The IPv6 subnets of netsText6, shaped like the IPv6 routing table: one in eight an
// allocation (/29 to /32) anywhere in 2000::/3, the others inside one, as announcements
// are: half of all /48, a quarter /33 to /47, a tenth /49 to /64 and one in fifty a single
// address; every fiftieth a repeat. In no particular order, so that about half the
// subnets inside an allocation stand above it and answer.
inline std::vector<std::pair<netsorter::Ipv6Number, int>> ipv6Subnets(size_t subnets) {
    std::mt19937_64 random(13);
    std::vector<std::pair<netsorter::Ipv6Number, int>> listed;
    std::vector<size_t> allocations;
    listed.reserve(subnets);
    for (size_t i = 0; i < subnets; ++i) {
        if (i % 50 == 49) {
            listed.push_back(listed[random() % listed.size()]);
            continue;
        }
        netsorter::Ipv6Number start{std::uint64_t{1} << 61 | random() >> 3, random()};
        const std::uint64_t kind = random() % 100;
        if (kind < 12 || allocations.empty()) {
            allocations.push_back(listed.size());
            listed.push_back({start, 29 + static_cast<int>(random() % 4)});
            continue;
        }
        const auto& [within, outer] = listed[allocations[random() % allocations.size()]];
        const netsorter::Ipv6Number host =
            netsorter::Ipv6Net{{0, 0}, 0, static_cast<std::uint8_t>(outer)}.last();
        start = {(within.hi & ~host.hi) | (start.hi & host.hi), start.lo};
        const int prefix = kind < 62   ? 48
                           : kind < 87 ? 33 + static_cast<int>(random() % 15)
                           : kind < 98 ? 49 + static_cast<int>(random() % 16)
                                       : 128;
        listed.push_back({start, prefix});
    }
    std::shuffle(listed.begin(), listed.end(), random);
    return listed;
}

// A nets.txt text of those subnets, a heading of sixteen every 1000 lines. Every eighth
// start is written with host bits, which the reader clears.
inline std::string netsText6(size_t subnets) {
    std::string text = "Generated for the benchmarks\r\n";
    const auto listed = ipv6Subnets(subnets);
    for (size_t i = 0; i < listed.size(); ++i) {
        if (i % 1000 == 0) {
            text += "# Тип трафика " + std::to_string(i / 1000 % 16) + "\r\n";
        }
        auto [start, prefix] = listed[i];
        if (i % 8 != 0) {
            const netsorter::Ipv6Number host =
                netsorter::Ipv6Net{{0, 0}, 0, static_cast<std::uint8_t>(prefix)}.last();
            start = {start.hi & ~host.hi, start.lo & ~host.lo};
        }
        text += netsorter::formatIp(netsorter::IpAddress::fromV6(start)) + "/" +
                std::to_string(prefix) + "\r\n";
    }
    return text;
}

// kAddresses IPv6 texts: half of them inside subnets of the 1 M list, half anywhere in
// 2000::/3, where random addresses almost never meet a subnet. Side by side in one buffer,
// as a batch reads them: a std::string each would put these long texts on the heap (the
// dotted ones fit inside theirs) and time a trip to memory for every text.
inline const std::vector<std::string_view>& ipv6Addresses() {
    static std::string buffer;
    static const std::vector<std::string_view> texts = [] {
        const auto listed = ipv6Subnets(1000000);
        std::mt19937_64 random(20240517);
        std::vector<std::string> out;
        out.reserve(kAddresses);
        for (size_t i = 0; i < kAddresses; ++i) {
            netsorter::Ipv6Number a{std::uint64_t{1} << 61 | random() >> 3, random()};
            if (i % 2 == 0) {
                const auto& [start, prefix] = listed[random() % listed.size()];
                const netsorter::Ipv6Number host =
                    netsorter::Ipv6Net{{0, 0}, 0, static_cast<std::uint8_t>(prefix)}.last();
                a = {(start.hi & ~host.hi) | (a.hi & host.hi),
                     (start.lo & ~host.lo) | (a.lo & host.lo)};
            }
            out.push_back(netsorter::formatIp(netsorter::IpAddress::fromV6(a)));
        }
        std::vector<std::size_t> ends;
        for (const std::string& text : out) {
            buffer += text;
            ends.push_back(buffer.size());
        }
        std::vector<std::string_view> views;
        for (std::size_t k = 0, start = 0; k < ends.size(); start = ends[k++]) {
            views.push_back(std::string_view(buffer).substr(start, ends[k] - start));
        }
        return views;
    }();
    return texts;
}

}  // namespace bench
