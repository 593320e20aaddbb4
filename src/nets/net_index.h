// The first subnet, in list order, that contains an address, found in logarithmic time.
// One index per family.
// The address line is cut into elementary intervals at every subnet's first address and
// one past its last; each interval is labelled with the lowest list position among the
// subnets that cover it, which is the answer the linear scan gives for any address in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// The same over IPv6 subnets. The cuts are spread unevenly (routes live in 2000::/3, and
// there in clusters), so a top-level bucket holding many cuts gets buckets of its own over
// the next bits: a lookup stays a couple of memory reads however the cuts gather.
class Subnet6Index {
  public:
    static constexpr std::uint32_t kNone = SubnetIndex::kNone;

    Subnet6Index() { build({}); }

    void build(const std::vector<Ipv6Net>& nets);

    std::size_t covered() const { return covered_; }

    std::uint32_t headingAt(Ipv6Number address) const { return cuts_[cutAt(address)].heading; }

    std::uint32_t positionAt(Ipv6Number address) const { return labels_[cutAt(address)]; }

  private:
    static constexpr int kMaxBucketBits = 16;
    static constexpr int kMaxSubBits = 24;
    // A bucket of more cuts than this gets a second level; a range of at most kCounted cuts
    // is counted outright, a longer one searched.
    static constexpr std::uint32_t kDirect = 16;
    static constexpr std::uint32_t kCounted = 32;

    struct Cut {
        Ipv6Number start;
        std::uint32_t heading;
    };
    // The top-level bucket b (the top bits_ bits of an address) holds the cuts from
    // buckets_[b].first to buckets_[b + 1].first - 1; when they are more than kDirect, their
    // own buckets over the next subBits(count) bits start at second_[buckets_[b].second].
    struct Bucket {
        std::uint32_t first;
        std::uint32_t second;
    };
    std::vector<Cut> cuts_;
    std::vector<Bucket> buckets_;
    std::vector<std::uint32_t> second_;
    int bits_ = 1;
    std::vector<std::uint32_t> labels_;
    std::size_t covered_ = 0;

    static int subBits(std::uint32_t cuts);
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
