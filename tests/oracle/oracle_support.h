// What the oracle tests share: the tree of a country database walked in memory, seeded
// random addresses, and a lookup object whose descriptions are the country indexes.
#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "fake_ui.h"
#include "geo/geo.h"
#include "nets/ip_address.h"
#include "temp_dir.h"

namespace netsorter::oracle {

inline constexpr std::uint32_t kCountryBegin = 16776960;
inline constexpr std::uint32_t kSeed = 20240517;
inline constexpr std::size_t kRandomAddresses = 100000;
// Under wine a lookup costs about a millisecond, so the Windows build replays a sample:
// the first random addresses, the first address of every so many leaves, and the single
// addresses without a country.
inline constexpr std::size_t kReplayRandom = 10000;
inline constexpr std::size_t kReplayLeafStride = 35;

// One leaf of the tree: the addresses it covers and its country index (0: not found).
struct LeafRange {
    std::uint32_t first;
    std::uint32_t last;
    int index;
};

struct LeafRange6 {
    Ipv6Number first;
    Ipv6Number last;
    int index;
};

// Every leaf of a tree of so many levels (32 or 128) in address order, walked as the library
// walks (a record of kCountryBegin or more is a leaf); an address of fewer than 128 bits is
// the low bits of the numbers. Empty when the file is not a finite tree of that depth.
inline std::vector<LeafRange6> treeLeaves(std::string_view db, int levels) {
    struct Pending {
        std::uint64_t node;
        int depth;
        Ipv6Number first;
    };
    const std::uint64_t nodeCount = db.size() / 6;
    std::vector<LeafRange6> ranges;
    std::vector<Pending> pending{{0, 0, {}}};
    std::uint64_t visits = 0;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (p.node >= nodeCount || p.depth >= levels || ++visits > nodeCount) {
            return {};
        }
        for (int side = 0; side < 2; ++side) {
            const auto* b =
                reinterpret_cast<const unsigned char*>(db.data() + p.node * 6 + side * 3);
            const std::uint32_t record =
                b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16);
            // The bit this level sets, and the ones below it that the leaf covers.
            const int bit = levels - 1 - p.depth;
            Ipv6Number first = p.first;
            Ipv6Number below;
            if (bit >= 64) {
                first.hi |= std::uint64_t(side) << (bit - 64);
                below = {(std::uint64_t{1} << (bit - 64)) - 1, ~std::uint64_t{0}};
            } else {
                first.lo |= std::uint64_t(side) << bit;
                below = {0, (std::uint64_t{1} << bit) - 1};
            }
            if (record >= kCountryBegin) {
                ranges.push_back({first,
                                  {first.hi | below.hi, first.lo | below.lo},
                                  static_cast<int>(record - kCountryBegin)});
            } else {
                pending.push_back({record, p.depth + 1, first});
            }
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const LeafRange6& a, const LeafRange6& b) { return a.first < b.first; });
    return ranges;
}

// Every leaf of an IPv4 tree in address order. Empty when the file is not a finite tree of
// depth 32.
inline std::vector<LeafRange> leafRanges(std::string_view db) {
    std::vector<LeafRange> ranges;
    for (const LeafRange6& r : treeLeaves(db, 32)) {
        ranges.push_back({static_cast<std::uint32_t>(r.first.lo),
                          static_cast<std::uint32_t>(r.last.lo), r.index});
    }
    return ranges;
}

// True when the ranges cover every address exactly once.
inline bool tilesAddressSpace(const std::vector<LeafRange>& ranges) {
    std::uint64_t next = 0;
    for (const LeafRange& r : ranges) {
        if (r.first != next || r.last < r.first) {
            return false;
        }
        next = std::uint64_t{r.last} + 1;
    }
    return next == std::uint64_t{1} << 32;
}

// --- IPv6 ---

inline constexpr std::size_t kIpv6Addresses = 20000;

constexpr Ipv6Number plusOne(Ipv6Number n) {
    return n.lo == ~std::uint64_t{0} ? Ipv6Number{n.hi + 1, 0} : Ipv6Number{n.hi, n.lo + 1};
}

inline std::vector<LeafRange6> leafRanges6(std::string_view db) {
    return treeLeaves(db, 128);
}

inline bool tilesAddressSpace(const std::vector<LeafRange6>& ranges) {
    Ipv6Number next{};
    bool wrapped = false;
    for (const LeafRange6& r : ranges) {
        if (wrapped || r.first != next || r.last < r.first) {
            return false;
        }
        next = plusOne(r.last);
        wrapped = next == Ipv6Number{};
    }
    return wrapped;
}

// The addresses of the IPv6 comparison, seeded: most random addresses fall where nothing is
// assigned, so they are drawn from the leaves that have a country, each leaf's first, last
// and one random address: of the IPv6 allocations, of the IPv4 addresses the file repeats
// as ::a.b.c.d and under 6to4's 2002::/16; then every single address without a country
// at the last level, random addresses of 2000::/3 and of the whole space. ::ffff:a.b.c.d
// is left out: the program looks it up as the IPv4 address.
inline std::vector<Ipv6Number> ipv6Addresses(const std::vector<LeafRange6>& leaves) {
    std::mt19937 random(kSeed);
    const auto random64 = [&] { return std::uint64_t{random()} << 32 | random(); };
    enum Region { Allocations, Compatible, SixToFour, Mapped };
    const auto region = [](const Ipv6Number& a) {
        if (a.hi == 0 && a.lo >> 32 == 0) {
            return Compatible;
        }
        if (isIpv4Mapped(a)) {
            return Mapped;
        }
        return a.hi >> 48 == 0x2002 ? SixToFour : Allocations;
    };
    std::vector<std::vector<const LeafRange6*>> found(4);
    std::vector<Ipv6Number> addresses;
    for (const LeafRange6& leaf : leaves) {
        if (leaf.index != 0) {
            found[region(leaf.first)].push_back(&leaf);
        } else if (leaf.first == leaf.last && region(leaf.first) != Mapped) {
            addresses.push_back(leaf.first);
        }
    }
    const struct {
        Region region;
        std::size_t leaves;
    } draws[] = {{Allocations, 3000}, {Compatible, 1000}, {SixToFour, 1000}};
    for (const auto& draw : draws) {
        const std::vector<const LeafRange6*>& from = found[draw.region];
        for (std::size_t i = 0; i < draw.leaves && !from.empty(); ++i) {
            const LeafRange6& leaf = *from[random() % from.size()];
            const Ipv6Number span{leaf.last.hi ^ leaf.first.hi, leaf.last.lo ^ leaf.first.lo};
            addresses.push_back(leaf.first);
            addresses.push_back(leaf.last);
            addresses.push_back(
                {leaf.first.hi | (random64() & span.hi), leaf.first.lo | (random64() & span.lo)});
        }
    }
    while (addresses.size() < kIpv6Addresses) {
        // Alternately in 2000::/3 and anywhere but ::ffff:0:0/96.
        Ipv6Number a{random64(), random64()};
        if (addresses.size() % 2 == 0) {
            a.hi = (a.hi >> 3) | (std::uint64_t{1} << 61);
        }
        if (!isIpv4Mapped(a)) {
            addresses.push_back(a);
        }
    }
    return addresses;
}

// In network order, as the library takes it (an in6_addr).
inline std::array<std::uint8_t, 16> networkBytes(const Ipv6Number& a) {
    std::array<std::uint8_t, 16> bytes{};
    for (int i = 0; i < 16; ++i) {
        const std::uint64_t half = i < 8 ? a.hi : a.lo;
        bytes[i] = static_cast<std::uint8_t>(half >> (56 - 8 * (i % 8)));
    }
    return bytes;
}

// The full form, eight groups of four hex digits, which every reader takes.
inline std::string fullHex(const Ipv6Number& a) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int nibble = 31; nibble >= 0; --nibble) {
        const std::uint64_t half = nibble >= 16 ? a.hi : a.lo;
        text += kDigits[(half >> (4 * (nibble % 16))) & 0xF];
        if (nibble % 4 == 0 && nibble != 0) {
            text += ':';
        }
    }
    return text;
}

// The same sequence on every platform: mt19937's output is fixed by the standard, unlike
// that of the distributions.
inline std::vector<std::uint32_t> randomAddresses() {
    std::mt19937 random(kSeed);
    std::vector<std::uint32_t> addresses(kRandomAddresses);
    for (auto& a : addresses) {
        a = static_cast<std::uint32_t>(random());
    }
    return addresses;
}

inline std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// FNV-1a, to tell whether two builds look at the same database.
inline std::string fingerprint(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char hex[17];
    const auto end = std::to_chars(hex, hex + 16, h, 16).ptr;
    return std::to_string(bytes.size()) + " bytes, FNV-1a " + std::string(hex, end);
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// clsGeo on a database (and its IPv6 edition, when given), with the table "i<TAB>i" for
// every index, so that its answer is the country index itself; 0 when it finds none.
class IndexLookup {
  public:
    explicit IndexLookup(const std::string& database, const std::string& ipv6Database = {}) {
        std::string table;
        for (int i = 1; i <= 255; ++i) {
            table += std::to_string(i) + "\t" + std::to_string(i) + "\n";
        }
        dir_.write("countries.txt", table);
        ready_ = geo_.openCountriesFile(dir_.file("countries.txt")) &&
                 geo_.openDataFile(database, GeoAccess::PositionedReads, ipv6Database) &&
                 geo_.database().ipv6Path.empty() == ipv6Database.empty();
    }

    bool ready() const { return ready_; }
    const testing::FakeUi& ui() const { return ui_; }

    int index(std::string_view address) {
        const CountryLookup found = geo_.getCountryByIP(address, ui_.yield());
        if (found.damaged) {
            ui_.report(*found.damaged);
        }
        if (!found.found) {
            return 0;
        }
        const std::string_view description = found.description;
        int index = -1;
        const auto [end, error] =
            std::from_chars(description.data(), description.data() + description.size(), index);
        return error == std::errc() && end == description.data() + description.size() ? index : -1;
    }
    int index(std::uint32_t address) { return index(dotted(address)); }
    int index(const Ipv6Number& address) { return index(fullHex(address)); }

  private:
    testing::TempDir dir_;
    testing::FakeUi ui_;
    clsGeo geo_;
    bool ready_ = false;
};

}  // namespace netsorter::oracle
