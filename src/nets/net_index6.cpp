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

}  // namespace

int Subnet6Index::subBits(std::uint32_t cuts) {
    return std::min(static_cast<int>(std::bit_width(cuts)), kMaxSubBits);
}

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
    const int bits = std::clamp(static_cast<int>(std::bit_width(count)), 1, kMaxBucketBits);
    std::vector<Bucket> buckets((std::size_t{1} << bits) + 1, Bucket{0, 0});
    std::vector<Cut> cuts;
    std::vector<std::uint32_t> kept;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (kept.empty() || kept.back() != labels[i]) {
            ++buckets[(starts[i].hi >> (64 - bits)) + 1].first;
            cuts.push_back({starts[i], labels[i] == kNone ? SubnetIndex::kNoHeading
                                                          : nets[labels[i]].heading});
            kept.push_back(labels[i]);
        }
    }
    for (std::size_t b = 1; b < buckets.size(); ++b) {
        buckets[b].first += buckets[b - 1].first;
    }
    std::vector<std::uint32_t> second;
    for (std::size_t b = 0; b + 1 < buckets.size(); ++b) {
        const std::uint32_t first = buckets[b].first;
        const std::uint32_t end = buckets[b + 1].first;
        if (end - first <= kDirect) {
            continue;
        }
        const int sub = subBits(end - first);
        const std::size_t base = second.size();
        buckets[b].second = static_cast<std::uint32_t>(base);
        second.resize(base + (std::size_t{1} << sub) + 1, 0);
        for (std::uint32_t i = first; i < end; ++i) {
            ++second[base + ((cuts[i].start.hi << bits) >> (64 - sub)) + 1];
        }
        second[base] = first;
        for (std::size_t s = base + 1; s < second.size(); ++s) {
            second[s] += second[s - 1];
        }
    }
    cuts.shrink_to_fit();
    kept.shrink_to_fit();
    second.shrink_to_fit();
    bits_ = bits;
    buckets_ = std::move(buckets);
    second_ = std::move(second);
    cuts_ = std::move(cuts);
    labels_ = std::move(kept);
    covered_ = nets.size();
}

std::uint32_t Subnet6Index::cutAt(Ipv6Number address) const {
    const std::uint64_t bucket = address.hi >> (64 - bits_);
    std::uint32_t first = buckets_[bucket].first;
    std::uint32_t end = buckets_[bucket + 1].first;
    if (end - first > kDirect) {
        const int sub = subBits(end - first);
        const std::uint32_t* const s =
            &second_[buckets_[bucket].second + ((address.hi << bits_) >> (64 - sub))];
        first = s[0];
        end = s[1];
    }
    // As for IPv4: none at or below the address means the last cut before the range.
    if (end - first <= kCounted) {
        std::uint32_t below = 0;
        for (std::uint32_t i = first; i < end; ++i) {
            const Ipv6Number& c = cuts_[i].start;
            below += c.hi < address.hi || (c.hi == address.hi && c.lo <= address.lo);
        }
        return first + below - 1;
    }
    const auto after =
        std::upper_bound(cuts_.begin() + first, cuts_.begin() + end, address,
                         [](const Ipv6Number& a, const Cut& c) { return a < c.start; });
    return static_cast<std::uint32_t>(after - cuts_.begin()) - 1;
}

}  // namespace netsorter
