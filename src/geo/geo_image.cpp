#include "geo/geo_image.h"

#include <algorithm>
#include <bit>

namespace netsorter {
namespace {

constexpr std::uint64_t kNodeBytes = 6;
// Records above kCountryBegin end the walk, so no node beyond it is ever read.
constexpr std::uint64_t kReachableNodes = std::uint64_t{kCountryBegin} + 1;

}  // namespace

bool GeoImage::load(const RandomAccessFile& file) {
    const std::optional<std::uint64_t> length = file.size();
    if (!length) {
        return false;
    }
    // A node the walk may read lies wholly before the end: the number of whole nodes is
    // also the bound on node numbers that the walk's length test and short read give.
    nodes_ = std::min(*length / kNodeBytes, kReachableNodes);
    bytes_.assign(static_cast<std::size_t>(nodes_ * kNodeBytes), 0);
    if (nodes_ > 0 &&
        !file.readAt(0, bytes_.data(), static_cast<std::size_t>(nodes_ * kNodeBytes))) {
        return false;
    }

    // The first levels of every walk come from a table of 2^bits states. A tree of n nodes
    // branches fully for about log2(n) levels, so a deeper table would mostly repeat its
    // leaves: bits follow the node count, at most kMaxTopBits, and a small (or damaged)
    // database costs little to open.
    const int bits = std::clamp(static_cast<int>(std::bit_width(nodes_)), 1, kMaxTopBits);
    std::vector<std::uint32_t> states{0};
    for (int level = 0; level < bits; ++level) {
        std::vector<std::uint32_t> next(states.size() * 2);
        for (std::size_t i = 0; i < states.size(); ++i) {
            for (unsigned bit = 0; bit < 2; ++bit) {
                next[2 * i + bit] = states[i] < kLeafState ? step(states[i], bit) : states[i];
            }
        }
        states.swap(next);
    }
    top_ = std::move(states);
    topBits_ = bits;
    return true;
}

std::uint32_t GeoImage::step(std::uint32_t node, unsigned bit) const {
    if (node >= nodes_) {
        return kNotFoundState;
    }
    const unsigned char* b = bytes_.data() + node * kNodeBytes + bit * 3;
    const std::uint32_t record = b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16);
    return record > kCountryBegin ? kLeafState | (record - kCountryBegin) : record;
}

WalkEnd GeoImage::walk(std::uint32_t address) const {
    std::uint32_t state = top_[address >> (32 - topBits_)];
    for (int level = topBits_; level < 32 && state < kLeafState; ++level) {
        state = step(state, (address >> (31 - level)) & 1);
    }
    if (state == kNotFoundState) {
        return {WalkEnd::NotFound};
    }
    if (state >= kLeafState) {
        return {WalkEnd::Leaf, state - kLeafState};
    }
    // 32 levels without a leaf; ending on the no-country record is an answer, not damage.
    return {state == kCountryBegin ? WalkEnd::NotFound : WalkEnd::Damaged};
}

}  // namespace netsorter
