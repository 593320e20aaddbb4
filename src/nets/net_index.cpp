#include "nets/net_index.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace netsorter {
namespace {

constexpr std::uint64_t kLastAddress = 0xFFFFFFFF;

// Address numbers are whole doubles from parseNet; the integers hold them exactly, range
// ends beyond 2^32 - 1 included.
std::uint64_t whole(double value) {
    return static_cast<std::uint64_t>(value);
}

// Orders values by their top 32 bits: four passes of a radix sort on 8 bits each, several
// times faster than a comparison sort for the millions of points of a routing table. Digits
// of 8 bits keep the counters in the first-level cache; with 16-bit digits two passes took
// half as long again for a million subnets and a hundred times as long for a short list,
// all of it in clearing and summing 65536 counters.
void sortByTopHalf(std::vector<std::uint64_t>& values) {
    std::vector<std::uint64_t> spare(values.size());
    for (int shift = 32; shift < 64; shift += 8) {
        std::array<std::size_t, 256> place{};
        for (const std::uint64_t v : values) {
            ++place[(v >> shift) & 0xFF];
        }
        std::size_t sum = 0;
        for (std::size_t& p : place) {
            sum += std::exchange(p, sum);
        }
        for (const std::uint64_t v : values) {
            spare[place[(v >> shift) & 0xFF]++] = v;
        }
        values.swap(spare);
    }
}

}  // namespace

namespace detail {

std::vector<std::uint32_t> firstPositions(const std::vector<std::uint32_t>& from,
                                          const std::vector<std::uint32_t>& to,
                                          std::uint32_t count) {
    // Subnets paint their intervals in list order; an interval, once painted, keeps the
    // earliest position. nextFree skips painted runs (union-find with path halving), so
    // the painting costs about one step per interval however much the subnets overlap.
    std::vector<std::uint32_t> labels(count, SubnetIndex::kNone);
    std::vector<std::uint32_t> nextFree(count + 1);
    for (std::uint32_t i = 0; i <= count; ++i) {
        nextFree[i] = i;
    }
    auto findFree = [&](std::uint32_t i) {
        while (nextFree[i] != i) {
            nextFree[i] = nextFree[nextFree[i]];
            i = nextFree[i];
        }
        return i;
    };
    for (std::uint32_t k = 0; k < from.size(); ++k) {
        const std::uint32_t last = to[k] == SubnetIndex::kNone ? count : to[k];
        for (std::uint32_t i = findFree(from[k]); i < last; i = findFree(i)) {
            labels[i] = k;
            nextFree[i] = i + 1;
        }
    }
    return labels;
}

}  // namespace detail

void SubnetIndex::build(const std::vector<clsNet>& nets) {
    // Every cut point with the subnet it comes from: its first address, and one past its
    // last (a last address at the end of the address space or beyond cuts nothing). Bit 0
    // tells an end from a start; the point itself is the top half.
    std::vector<std::uint64_t> points;
    points.reserve(2 * nets.size());
    for (std::uint64_t k = 0; k < nets.size(); ++k) {
        points.push_back(whole(nets[k].firstIp) << 32 | k << 1);
        const std::uint64_t end = whole(nets[k].lastIp) + 1;
        if (end <= kLastAddress) {
            points.push_back(end << 32 | k << 1 | 1);
        }
    }
    sortByTopHalf(points);

    // The distinct points, address 0 first, and where each subnet starts and ends among them.
    std::vector<std::uint32_t> starts{0};
    std::vector<std::uint32_t> from(nets.size());
    std::vector<std::uint32_t> to(nets.size(), kNone);
    for (const std::uint64_t p : points) {
        const auto address = static_cast<std::uint32_t>(p >> 32);
        if (starts.back() != address) {
            starts.push_back(address);
        }
        const auto k = static_cast<std::uint32_t>(p) >> 1;
        (p & 1 ? to : from)[k] = static_cast<std::uint32_t>(starts.size() - 1);
    }
    std::vector<std::uint64_t>().swap(points);
    const auto count = static_cast<std::uint32_t>(starts.size());

    const std::vector<std::uint32_t> labels = detail::firstPositions(from, to, count);

    // Neighbours with the same label are one interval. Built aside and taken over at the
    // end, so that an allocation failing half way leaves the index as it was.
    // About one bucket per point, at most 2^16: a short list's index stays small, and
    // building it clears no 65536 counters.
    const int bits = std::clamp(static_cast<int>(std::bit_width(count)), 1, kMaxBucketBits);
    const int shift = 32 - bits;
    std::vector<std::uint32_t> bucketFirst((std::size_t{1} << bits) + 1, 0);
    std::vector<Cut> cuts;
    std::vector<std::uint32_t> kept;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (kept.empty() || kept.back() != labels[i]) {
            ++bucketFirst[(starts[i] >> shift) + 1];
            cuts.push_back({starts[i], labels[i] == kNone ? kNoHeading : nets[labels[i]].heading});
            kept.push_back(labels[i]);
        }
    }
    for (std::size_t b = 1; b < bucketFirst.size(); ++b) {
        bucketFirst[b] += bucketFirst[b - 1];
    }
    cuts.shrink_to_fit();
    kept.shrink_to_fit();
    bucketShift_ = shift;
    bucketFirst_ = std::move(bucketFirst);
    cuts_ = std::move(cuts);
    labels_ = std::move(kept);
    covered_ = nets.size();
}

std::uint32_t SubnetIndex::cutAt(std::uint32_t address) const {
    const std::uint32_t bucket = address >> bucketShift_;
    const std::uint32_t first = bucketFirst_[bucket];
    const std::uint32_t end = bucketFirst_[bucket + 1];
    // The bucket's cuts at or below the address; none means the last cut of an earlier
    // bucket (bucket 0 starts with address 0). A few dozen cuts are counted outright:
    // their cache lines load side by side instead of one after the other, as in a search.
    constexpr std::uint32_t kCounted = 64;
    if (end - first <= kCounted) {
        std::uint32_t below = 0;
        for (std::uint32_t i = first; i < end; ++i) {
            below += cuts_[i].start <= address;
        }
        return first + below - 1;
    }
    const auto after = std::upper_bound(cuts_.begin() + first, cuts_.begin() + end, address,
                                        [](std::uint32_t a, const Cut& c) { return a < c.start; });
    return static_cast<std::uint32_t>(after - cuts_.begin()) - 1;
}

}  // namespace netsorter
