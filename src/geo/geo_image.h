// A country database held in memory for batches of lookups. It answers exactly as the walk
// by positioned reads over the file as it was when read: the same node bound, the same
// end on a node whose bytes lie past the end, the same damage rule.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "nets/ip_address.h"

namespace netsorter {

inline constexpr std::uint32_t kCountryBegin = 16776960;  // 0xFFFF00: records above it are leaves
inline constexpr std::uint64_t kRecordBytes = 3;
inline constexpr std::uint64_t kNodeBytes = 2 * kRecordBytes;

// One record of a node's 6 bytes: the left one for bit 0, the right one for bit 1, each an
// unsigned 24-bit number stored least significant byte first.
inline std::uint32_t nodeRecord(const unsigned char* node, unsigned bit) {
    const unsigned char* r = node + bit * kRecordBytes;
    return r[0] | (std::uint32_t{r[1]} << 8) | (std::uint32_t{r[2]} << 16);
}

// The levels of a tree: one per bit of the address of its edition.
inline constexpr int kIpv4Levels = 32;
inline constexpr int kIpv6Levels = 128;

// The bit that a level of the walk tests (level 0: the most significant) of an address of
// levels bits, held in the low bits of the number (an IPv4 address in lo).
constexpr unsigned pathBit(const Ipv6Number& address, int levels, int level) {
    const int bit = levels - 1 - level;
    return static_cast<unsigned>((bit >= 64 ? address.hi >> (bit - 64) : address.lo >> bit) & 1);
}

// How a walk of the tree ends.
struct WalkEnd {
    enum Kind { Leaf, NotFound, Damaged } kind;
    std::uint32_t country = 0;  // the country index of a leaf, 1..255
};

class GeoImage {
  public:
    explicit GeoImage(int levels = kIpv4Levels) : levels_(levels) {}

    // Reads the part of the file a walk can reach; false when that read fails.
    bool load(const RandomAccessFile& file);
    // The same from the database's bytes.
    void load(std::string_view bytes);

    // The walk of an IPv4 tree.
    WalkEnd walk(std::uint32_t address) const;
    // The walk of an IPv6 tree.
    WalkEnd walk(const Ipv6Number& address) const;

  private:
    static constexpr int kMaxTopBits = 16;
    // States of a walk: a node number (below 2^24) to go on from, or an end of the walk.
    static constexpr std::uint32_t kLeafState = 0x80000000;
    static constexpr std::uint32_t kNotFoundState = 0xFFFFFFFF;

    // Where a walk ends below a node of the table's last level, for the addresses from
    // start (their low bits) up to the next such end: the walk's last state.
    struct End {
        std::uint32_t start;
        std::uint32_t state;
    };
    // One entry per value of the address's top bits: the state after those levels, and
    // the ends below it, ends_[first] up to the next entry's first (none: the state is
    // the answer, or, for a node, the walk goes on through the nodes).
    struct Bucket {
        std::uint32_t state;
        std::uint32_t first;
    };

    int levels_;
    std::vector<unsigned char> bytes_;  // whole nodes only
    std::uint64_t nodes_ = 0;           // whole nodes held
    std::vector<Bucket> top_;           // 2^topBits_ entries and one past them
    std::vector<End> ends_;
    int topBits_ = 1;

    // Builds the table of the first levels and the ends below it over bytes_.
    void index();
    // One level of the walk from node (a state below kLeafState) along one bit.
    std::uint32_t step(std::uint32_t node, unsigned bit) const;
    // The walk from state at level on, for address; its last state.
    std::uint32_t walkFrom(std::uint32_t state, int level, const Ipv6Number& address) const;
    // Lays out the ends below each node of the table's last level, within a budget that a
    // sound database never reaches; past it (a damaged tree that branches without end),
    // the remaining entries walk the nodes. IPv4 trees only: an IPv6 tree's ends would take
    // several times the file's size, and its walks go on through the nodes.
    void flatten();
    static WalkEnd endOf(std::uint32_t state);
};

}  // namespace netsorter
