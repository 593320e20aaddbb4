#include "geo/geo_image.h"

#include <algorithm>
#include <bit>

namespace netsorter {
namespace {

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
    index();
    return true;
}

void GeoImage::load(std::string_view bytes) {
    nodes_ = std::min<std::uint64_t>(bytes.size() / kNodeBytes, kReachableNodes);
    bytes_.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nodes_ * kNodeBytes));
    index();
}

void GeoImage::index() {
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
    topBits_ = bits;
    top_.clear();
    top_.reserve(states.size() + 1);
    for (const std::uint32_t state : states) {
        top_.push_back({state, 0});
    }
    top_.push_back({kNotFoundState, 0});
    ends_.clear();
    if (levels_ == kIpv4Levels) {
        flatten();
    }
}

void GeoImage::flatten() {
    // A sound tree has one end per leaf below the table, fewer than its nodes; a walk of
    // the table's subtrees visits about twice as many states as it finds ends.
    std::uint64_t work = 4 * nodes_ + 2 * top_.size();
    struct Pending {
        std::uint32_t state;  // after level levels
        int level;
        std::uint32_t start;  // the lowest address of what lies below, its low bits
    };
    std::vector<Pending> pending;
    for (std::size_t b = 0; b + 1 < top_.size(); ++b) {
        const auto first = static_cast<std::uint32_t>(ends_.size());
        top_[b].first = first;
        if (top_[b].state >= kLeafState || work == 0) {
            continue;
        }
        // Depth first, the 0 side before the 1 side, so the ends come in address order;
        // neighbours that end alike make one.
        pending.assign(1, {top_[b].state, topBits_, 0});
        while (!pending.empty() && work > 0) {
            --work;
            const Pending p = pending.back();
            pending.pop_back();
            if (p.state >= kLeafState || p.level == 32) {
                if (ends_.size() == first || ends_.back().state != p.state) {
                    ends_.push_back({p.start, p.state});
                }
                continue;
            }
            pending.push_back({step(p.state, 1), p.level + 1, p.start | (1u << (31 - p.level))});
            pending.push_back({step(p.state, 0), p.level + 1, p.start});
        }
        if (!pending.empty()) {
            ends_.resize(first);  // out of budget: this entry and the rest walk the nodes
        }
    }
    top_.back().first = static_cast<std::uint32_t>(ends_.size());
    ends_.shrink_to_fit();
}

std::uint32_t GeoImage::step(std::uint32_t node, unsigned bit) const {
    if (node >= nodes_) {
        return kNotFoundState;
    }
    const std::uint32_t record = nodeRecord(bytes_.data() + node * kNodeBytes, bit);
    return record > kCountryBegin ? kLeafState | (record - kCountryBegin) : record;
}

std::uint32_t GeoImage::walkFrom(std::uint32_t state, int level, const Ipv6Number& address) const {
    for (; level < levels_ && state < kLeafState; ++level) {
        state = step(state, pathBit(address, levels_, level));
    }
    return state;
}

WalkEnd GeoImage::endOf(std::uint32_t state) {
    if (state == kNotFoundState) {
        return {WalkEnd::NotFound};
    }
    if (state >= kLeafState) {
        return {WalkEnd::Leaf, state - kLeafState};
    }
    // All levels without a leaf; ending on the no-country record is an answer, not damage.
    return {state == kCountryBegin ? WalkEnd::NotFound : WalkEnd::Damaged};
}

WalkEnd GeoImage::walk(std::uint32_t address) const {
    const std::size_t b = address >> (32 - topBits_);
    const std::uint32_t first = top_[b].first;
    const std::uint32_t last = top_[b + 1].first;
    std::uint32_t state = top_[b].state;
    if (first != last) {
        const std::uint32_t low = topBits_ == 32 ? 0 : address & (~0u >> topBits_);
        // The last end that starts at or before the address; the first starts at 0.
        const End* end = ends_.data() + first;
        const End* const stop = ends_.data() + last;
        std::size_t count = static_cast<std::size_t>(stop - end);
        while (count > 1) {
            const std::size_t half = count / 2;
            if (end[half].start <= low) {
                end += half;
                count -= half;
            } else {
                count = half;
            }
        }
        state = end->state;
    } else if (state < kLeafState) {
        state = walkFrom(state, topBits_, {0, address});
    }
    return endOf(state);
}

WalkEnd GeoImage::walk(const Ipv6Number& address) const {
    const std::uint32_t state = top_[address.hi >> (64 - topBits_)].state;
    return endOf(state < kLeafState ? walkFrom(state, topBits_, address) : state);
}

}  // namespace netsorter
