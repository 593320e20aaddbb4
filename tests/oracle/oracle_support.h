// What the oracle tests share: the tree of a country database walked in memory, seeded
// random addresses, and a lookup object whose descriptions are the country indexes.
#pragma once

#include <algorithm>
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

// Every leaf in address order, walked the way the GeoIP library walks (a record of
// kCountryBegin or more is a leaf). Empty when the file is not a finite tree of depth 32.
inline std::vector<LeafRange> leafRanges(std::string_view db) {
    struct Pending {
        std::uint64_t node;
        int depth;
        std::uint32_t first;
    };
    const std::uint64_t nodeCount = db.size() / 6;
    std::vector<LeafRange> ranges;
    std::vector<Pending> pending{{0, 0, 0}};
    std::uint64_t visits = 0;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (p.node >= nodeCount || p.depth >= 32 || ++visits > nodeCount) {
            return {};
        }
        for (int side = 0; side < 2; ++side) {
            const auto* b =
                reinterpret_cast<const unsigned char*>(db.data() + p.node * 6 + side * 3);
            const std::uint32_t record =
                b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16);
            const int shift = 31 - p.depth;
            const std::uint32_t first = p.first | (std::uint32_t(side) << shift);
            if (record >= kCountryBegin) {
                const std::uint32_t last =
                    static_cast<std::uint32_t>(first + ((std::uint64_t{1} << shift) - 1));
                ranges.push_back({first, last, static_cast<int>(record - kCountryBegin)});
            } else {
                pending.push_back({record, p.depth + 1, first});
            }
        }
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const LeafRange& a, const LeafRange& b) { return a.first < b.first; });
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

// clsGeo on a database, with the table "i<TAB>i" for every index, so that its answer is the
// country index itself; 0 when it finds none.
class IndexLookup {
  public:
    explicit IndexLookup(const std::string& database) {
        std::string table;
        for (int i = 1; i <= 255; ++i) {
            table += std::to_string(i) + "\t" + std::to_string(i) + "\n";
        }
        dir_.write("countries.txt", table);
        ready_ = geo_.openCountriesFile("countries.txt") && geo_.openDataFile(database);
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

  private:
    testing::TempDir dir_;
    testing::FakeUi ui_;
    clsGeo geo_{dir_.str()};
    bool ready_ = false;
};

}  // namespace netsorter::oracle
