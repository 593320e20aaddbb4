// The first subnet, in list order, that contains an address, found in logarithmic time.
// The address line is cut into elementary intervals at every subnet's first address and
// one past its last; each interval is labelled with the lowest list position among the
// subnets that cover it, which is the answer the linear scan gives for any address in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "nets/ipv4.h"

namespace netsorter {

class SubnetIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    SubnetIndex() { build({}); }

    // Indexes nets[0, nets.size()); the list may only have grown since the last build.
    void build(const std::vector<clsNet>& nets);

    // How many subnets, from the start of the list, the index covers.
    std::size_t covered() const { return covered_; }

    // The heading of the first covered subnet containing address, or kNone.
    std::uint32_t headingAt(std::uint32_t address) const { return headings_[cutAt(address)]; }

    // The list position of that subnet, or kNone.
    std::uint32_t positionAt(std::uint32_t address) const { return labels_[cutAt(address)]; }

  private:
    static constexpr int kBucketBits = 16;
    static constexpr std::uint32_t kLowMask = (std::uint32_t{1} << (32 - kBucketBits)) - 1;

    // The cuts (first addresses of the elementary intervals) in ascending order, the first
    // at address 0, grouped by their top bits: the cuts of bucket b are those from
    // bucketFirst_[b] to bucketFirst_[b + 1], and only their low bits are kept, so that a
    // bucket's cuts usually share one cache line. At a million subnets all of it still fits
    // the processor's cache; the list itself does not.
    std::vector<std::uint32_t> bucketFirst_;
    std::vector<std::uint16_t> lows_;
    // For each cut: the lowest list position among the subnets covering it (or kNone),
    // and that subnet's heading (or kNone); a single address needs only the heading.
    std::vector<std::uint32_t> labels_;
    std::vector<std::uint32_t> headings_;
    std::size_t covered_ = 0;

    // The cut of the elementary interval holding address.
    std::uint32_t cutAt(std::uint32_t address) const;
};

}  // namespace netsorter
