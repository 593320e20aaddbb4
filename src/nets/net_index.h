// The first subnet, in list order, that contains an address, found in logarithmic time.
// One index per family.
// The address line is cut into elementary intervals at every subnet's first address and
// one past its last; each interval is labelled with the lowest list position among the
// subnets that cover it, which is the answer the linear scan gives for any address in it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/prefetch.h"

#include "nets/ip_address.h"
#include "nets/ipv4.h"

namespace netsorter {

class SubnetIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    // Heading numbers start at 1; 0 stands for no subnet at all.
    static constexpr std::uint32_t kNoHeading = 0;

    SubnetIndex() { build({}); }

    // Indexes nets[0, nets.size()).
    void build(const std::vector<clsNet>& nets);

    // How many subnets, from the start of the list, the index covers.
    std::size_t covered() const { return covered_; }

    // The heading number of the first covered subnet containing address, or kNoHeading.
    std::uint32_t headingAt(std::uint32_t address) const { return cuts_[cutAt(address)].heading; }

    // Readies the memory that headingAt(address) will read (see PrefetchStep).
    void prefetch(std::uint32_t address, PrefetchStep step) const {
        const std::uint32_t* bucket = bucketFirst_.data() + (address >> bucketShift_);
        if (step == PrefetchStep::Bucket) {
            __builtin_prefetch(bucket);
        } else {
            prefetchBytes(cuts_.data() + bucket[0], (bucket[1] - bucket[0]) * sizeof(Cut));
        }
    }

    // The list position of that subnet, or kNone.
    std::uint32_t positionAt(std::uint32_t address) const { return labels_[cutAt(address)]; }

  private:
    static constexpr int kMaxBucketBits = 16;

    // A cut is the first address of an elementary interval; it carries the heading of the
    // first subnet covering the interval (or kNoHeading), all that a single address needs.
    struct Cut {
        std::uint32_t start;
        std::uint32_t heading;
    };
    // The cuts in ascending order, the first at address 0. Those whose top bits are b are
    // cuts_[bucketFirst_[b]] to cuts_[bucketFirst_[b + 1] - 1]; the top bits are those
    // above bucketShift_.
    std::vector<Cut> cuts_;
    std::vector<std::uint32_t> bucketFirst_;
    int bucketShift_ = 32 - kMaxBucketBits;
    // For each cut, the lowest list position among the subnets covering it, or kNone.
    std::vector<std::uint32_t> labels_;
    std::size_t covered_ = 0;

    // The cut of the elementary interval holding address.
    std::uint32_t cutAt(std::uint32_t address) const;
};

// The same over IPv6 subnets, in two levels, as the cuts gather unevenly (routes live in
// 2000::/3, and there in the blocks the registries hand out). The cuts, in order, are laid
// out thirteen to a block of two cache lines, each as one word: its heading, and above it
// as many bits of its first address, after those the block's cuts share, as the word has
// room for. Finding the block takes the top bits of the address and the blocks' first
// cuts, both small enough to stay in the cache; so a lookup makes one trip to memory, for
// its block, as an IPv4 lookup does for its cuts. The cuts' full addresses are read only
// when those bits cannot tell an address from a cut.
class Subnet6Index {
  public:
    static constexpr std::uint32_t kNone = SubnetIndex::kNone;

    Subnet6Index() { build({}); }

    void build(const std::vector<Ipv6Net>& nets);

    std::size_t covered() const { return covered_; }

    std::uint32_t headingAt(Ipv6Number address) const;

    std::uint32_t positionAt(Ipv6Number address) const { return labels_[cutAt(address)]; }

  private:
    static constexpr int kMaxBucketBits = 16;
    static constexpr std::uint32_t kCutsPerBlock = 13;
    static constexpr std::uint32_t kCounted = 32;  // a bucket of more blocks is searched

    // word[0] and word[1]: the block's first cut (hi, lo). word[2]: how many top bits its
    // cuts share (above 8 bits) and how many cuts it holds. word[3 + k]: the k-th cut's
    // word, or all ones past the block's cuts. So the heading of an address is that of
    // word[2 + the number of cuts at or below it], which is at least one.
    struct alignas(128) Block {
        std::array<std::uint64_t, kCutsPerBlock + 3> word;
    };
    std::vector<Block> blocks_;
    // The first cut of each block, and per top-level bucket (the top bits_ bits of an
    // address) the first block starting in it, and at the end the number of blocks.
    std::vector<Ipv6Number> firsts_;
    std::vector<std::uint32_t> buckets_;
    int bits_ = 1;
    int headingBits_ = 1;  // as many as the largest heading number needs
    // Per cut: its first address and its heading.
    std::vector<Ipv6Number> starts_;
    std::vector<std::uint32_t> headings_;
    std::vector<std::uint32_t> labels_;
    std::size_t covered_ = 0;

    // The block holding the cut at or below address.
    std::uint32_t blockAt(Ipv6Number address) const;
    // The cut of the elementary interval holding address, from the full addresses.
    std::uint32_t cutAt(Ipv6Number address) const;
};

namespace detail {

// For each of count elementary intervals, the lowest list position k of a subnet covering it
// (from[k] <= interval < to[k], or up to the end when to[k] is kNone), or kNone.
std::vector<std::uint32_t> firstPositions(const std::vector<std::uint32_t>& from,
                                          const std::vector<std::uint32_t>& to,
                                          std::uint32_t count);

}  // namespace detail

}  // namespace netsorter
