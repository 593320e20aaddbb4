#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "nets/net_index.h"

namespace netsorter {
namespace {

// A cut point and the subnet it comes from: bit 0 tells an end from a start.
struct Point {
    Ipv6Number address;
    std::uint32_t tag;
};

std::uint32_t byteOf(const Ipv6Number& a, int digit) {
    const std::uint64_t half = digit < 8 ? a.lo : a.hi;
    return static_cast<std::uint32_t>(half >> (8 * (digit % 8))) & 0xFF;
}

// A radix sort on bytes, lowest first, as for IPv4. Subnets start on their prefix boundary,
// so most low bytes are the same in every point: a byte that does not vary costs no pass.
void sortByAddress(std::vector<Point>& points) {
    std::vector<std::array<std::uint32_t, 256>> counts(16);
    for (const Point& p : points) {
        for (int digit = 0; digit < 16; ++digit) {
            ++counts[digit][byteOf(p.address, digit)];
        }
    }
    std::vector<Point> spare;
    for (int digit = 0; digit < 16; ++digit) {
        std::array<std::uint32_t, 256>& place = counts[digit];
        if (std::find(place.begin(), place.end(), points.size()) != place.end()) {
            continue;
        }
        spare.resize(points.size());
        std::uint32_t sum = 0;
        for (std::uint32_t& p : place) {
            sum += std::exchange(p, sum);
        }
        for (const Point& p : points) {
            spare[place[byteOf(p.address, digit)]++] = p;
        }
        points.swap(spare);
    }
}

// How many top bits two addresses share, 0 to 128.
int sharedBits(const Ipv6Number& a, const Ipv6Number& b) {
    const std::uint64_t hi = a.hi ^ b.hi;
    return hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(a.lo ^ b.lo);
}

// The bits of an address after its top ones, as many as asked (up to 64); zeros past its end.
std::uint64_t bitsAfter(const Ipv6Number& a, int top, int bits) {
    const std::uint64_t window = top == 0    ? a.hi
                                 : top < 64  ? a.hi << top | a.lo >> (64 - top)
                                 : top < 128 ? a.lo << (top - 64)
                                             : 0;
    return window >> (64 - bits);
}

}  // namespace

void Subnet6Index::build(const std::vector<Ipv6Net>& nets) {
    std::vector<Point> points;
    points.reserve(2 * nets.size());
    for (std::uint32_t k = 0; k < nets.size(); ++k) {
        points.push_back({nets[k].first, k << 1});
        Ipv6Number end = nets[k].last();
        if (++end.lo == 0 && ++end.hi == 0) {
            continue;  // the last address of all: it cuts nothing
        }
        points.push_back({end, k << 1 | 1});
    }
    sortByAddress(points);

    std::vector<Ipv6Number> starts{{0, 0}};
    std::vector<std::uint32_t> from(nets.size());
    std::vector<std::uint32_t> to(nets.size(), kNone);
    for (const Point& p : points) {
        if (starts.back() != p.address) {
            starts.push_back(p.address);
        }
        (p.tag & 1 ? to : from)[p.tag >> 1] = static_cast<std::uint32_t>(starts.size() - 1);
    }
    std::vector<Point>().swap(points);
    const auto count = static_cast<std::uint32_t>(starts.size());
    const std::vector<std::uint32_t> labels = detail::firstPositions(from, to, count);

    // Neighbours with the same label are one interval; built aside, as for IPv4.
    std::vector<Ipv6Number> cuts;
    std::vector<std::uint32_t> headings;
    std::vector<std::uint32_t> kept;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (kept.empty() || kept.back() != labels[i]) {
            cuts.push_back(starts[i]);
            headings.push_back(labels[i] == kNone ? SubnetIndex::kNoHeading
                                                  : nets[labels[i]].heading);
            kept.push_back(labels[i]);
        }
    }
    std::vector<Ipv6Number>().swap(starts);
    const auto cutCount = static_cast<std::uint32_t>(cuts.size());
    const std::uint32_t largest = *std::max_element(headings.begin(), headings.end());
    const int headingBits = std::max(static_cast<int>(std::bit_width(largest)), 1);
    const std::uint32_t blockCount = (cutCount + kCutsPerBlock - 1) / kCutsPerBlock;
    const int bits = std::clamp(static_cast<int>(std::bit_width(blockCount)), 1, kMaxBucketBits);
    std::vector<Block> blocks(blockCount);
    std::vector<Ipv6Number> firsts(blockCount);
    std::vector<std::uint32_t> buckets((std::size_t{1} << bits) + 1, 0);
    for (std::uint32_t k = 0; k < blockCount; ++k) {
        const std::uint32_t from = k * kCutsPerBlock;
        const std::uint32_t count = std::min(kCutsPerBlock, cutCount - from);
        const Ipv6Number first = cuts[from];
        const int shared = sharedBits(first, cuts[from + count - 1]);
        Block& block = blocks[k];
        block.word.fill(~std::uint64_t{0});
        block.word[0] = first.hi;
        block.word[1] = first.lo;
        block.word[2] = static_cast<std::uint64_t>(shared) << 8 | count;
        for (std::uint32_t i = 0; i < count; ++i) {
            block.word[3 + i] = bitsAfter(cuts[from + i], shared, 64 - headingBits) << headingBits |
                                headings[from + i];
        }
        firsts[k] = first;
        ++buckets[(first.hi >> (64 - bits)) + 1];
    }
    for (std::size_t b = 1; b < buckets.size(); ++b) {
        buckets[b] += buckets[b - 1];
    }
    bits_ = bits;
    headingBits_ = headingBits;
    blocks_ = std::move(blocks);
    firsts_ = std::move(firsts);
    buckets_ = std::move(buckets);
    starts_ = std::move(cuts);
    headings_ = std::move(headings);
    labels_ = std::move(kept);
    covered_ = nets.size();
}

std::uint32_t Subnet6Index::blockAt(Ipv6Number address) const {
    const std::uint64_t bucket = address.hi >> (64 - bits_);
    const std::uint32_t first = buckets_[bucket];
    const std::uint32_t end = buckets_[bucket + 1];
    // The bucket's blocks starting at or below the address; none means the last block of
    // an earlier bucket (bucket 0 starts with the block of address 0).
    if (end - first <= kCounted) {
        std::uint32_t below = 0;
        for (std::uint32_t k = first; k < end; ++k) {
            const Ipv6Number& f = firsts_[k];
            below += f.hi < address.hi || (f.hi == address.hi && f.lo <= address.lo);
        }
        return first + below - 1;
    }
    const auto after = std::upper_bound(firsts_.begin() + first, firsts_.begin() + end, address);
    return static_cast<std::uint32_t>(after - firsts_.begin()) - 1;
}

std::uint32_t Subnet6Index::headingAt(Ipv6Number address) const {
    const Block& block = blocks_[blockAt(address)];
    const int shared = static_cast<int>(block.word[2] >> 8);
    const auto count = static_cast<std::uint32_t>(block.word[2] & 0xFF);
    // The address lies at or above the block's first cut, so at least that one is below it;
    // when it does not share the top bits the block's cuts share, all of them are.
    const int keyBits = 64 - headingBits_;
    const std::uint32_t below = [&] {
        if (sharedBits(address, {block.word[0], block.word[1]}) < shared) {
            return count;
        }
        const std::uint64_t key = bitsAfter(address, shared, keyBits);
        std::uint32_t n = 0;
        bool tie = false;
        for (std::uint32_t k = 0; k < kCutsPerBlock; ++k) {
            const std::uint64_t cut = block.word[3 + k] >> headingBits_;
            n += cut < key;
            tie |= cut == key;
        }
        return tie ? kNone : n;
    }();
    if (below == kNone) [[unlikely]] {
        return headings_[cutAt(address)];
    }
    return static_cast<std::uint32_t>(block.word[2 + below] & ~(~std::uint64_t{0} << headingBits_));
}

std::uint32_t Subnet6Index::cutAt(Ipv6Number address) const {
    const std::uint32_t from = blockAt(address) * kCutsPerBlock;
    const std::uint32_t end = std::min<std::uint32_t>(from + kCutsPerBlock, starts_.size());
    const auto after = std::upper_bound(starts_.begin() + from, starts_.begin() + end, address);
    return static_cast<std::uint32_t>(after - starts_.begin()) - 1;
}

}  // namespace netsorter
