// A country database held in memory for batches of lookups. It answers exactly as the walk
// by positioned reads over the file as it was when read: the same node bound, the same
// end on a node whose bytes lie past the end, the same damage rule.
#pragma once

#include <cstdint>
#include <vector>

#include "common/files.h"

namespace netsorter {

inline constexpr std::uint32_t kCountryBegin = 16776960;  // 0xFFFF00: records above it are leaves

// How a walk of the tree ends.
struct WalkEnd {
    enum Kind { Leaf, NotFound, Damaged } kind;
    std::uint32_t country = 0;  // the country index of a leaf, 1..255
};

class GeoImage {
  public:
    // Reads the part of the file a walk can reach; false when that read fails.
    bool load(const RandomAccessFile& file);

    WalkEnd walk(std::uint32_t address) const;

  private:
    static constexpr int kMaxTopBits = 16;
    // States of the table after topBits_ levels: a node number (below 2^24) to go on from,
    // or an end of the walk.
    static constexpr std::uint32_t kLeafState = 0x80000000;
    static constexpr std::uint32_t kNotFoundState = 0xFFFFFFFF;

    std::vector<unsigned char> bytes_;  // whole nodes only
    std::uint64_t nodes_ = 0;           // whole nodes held
    std::vector<std::uint32_t> top_;    // the state after the address's top bits
    int topBits_ = 1;

    // One level of the walk from node (a state below kLeafState) along one bit.
    std::uint32_t step(std::uint32_t node, unsigned bit) const;
};

}  // namespace netsorter
