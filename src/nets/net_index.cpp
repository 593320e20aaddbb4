#include "nets/net_index.h"

#include <algorithm>

namespace netsorter {
namespace {

constexpr std::uint64_t kLastAddress = 0xFFFFFFFF;

// Address numbers are whole doubles from parseNet; the integers hold them exactly, range
// ends beyond 2^32 - 1 included.
std::uint64_t whole(double value) {
    return static_cast<std::uint64_t>(value);
}

}  // namespace

void SubnetIndex::build(const std::vector<clsNet>& nets) {
    // Cut points; one past a last address beyond the address space cuts nothing.
    std::vector<std::uint32_t> starts;
    starts.reserve(2 * nets.size() + 1);
    starts.push_back(0);
    for (const clsNet& n : nets) {
        starts.push_back(static_cast<std::uint32_t>(whole(n.firstIp)));
        const std::uint64_t end = whole(n.lastIp) + 1;
        if (end <= kLastAddress) {
            starts.push_back(static_cast<std::uint32_t>(end));
        }
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    const std::uint32_t count = static_cast<std::uint32_t>(starts.size());

    // Subnets paint their intervals in list order; an interval, once painted, keeps the
    // earliest position. nextFree skips painted runs (union-find with path halving), so
    // the painting costs about one step per interval however much the subnets overlap.
    std::vector<std::uint32_t> labels(count, kNone);
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
    auto position = [&](std::uint64_t address) {
        return static_cast<std::uint32_t>(std::lower_bound(starts.begin(), starts.end(), address) -
                                          starts.begin());
    };
    for (std::uint32_t k = 0; k < nets.size(); ++k) {
        const std::uint64_t end = whole(nets[k].lastIp) + 1;
        const std::uint32_t last = end > kLastAddress ? count : position(end);
        for (std::uint32_t i = findFree(position(whole(nets[k].firstIp))); i < last;
             i = findFree(i)) {
            labels[i] = k;
            nextFree[i] = i + 1;
        }
    }

    // Neighbours with the same label are one interval.
    bucketFirst_.assign((std::size_t{1} << kBucketBits) + 1, 0);
    cuts_.clear();
    labels_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (labels_.empty() || labels_.back() != labels[i]) {
            ++bucketFirst_[(starts[i] >> (32 - kBucketBits)) + 1];
            cuts_.push_back({starts[i], labels[i] == kNone ? kNoHeading : nets[labels[i]].heading});
            labels_.push_back(labels[i]);
        }
    }
    for (std::size_t b = 1; b < bucketFirst_.size(); ++b) {
        bucketFirst_[b] += bucketFirst_[b - 1];
    }
    cuts_.shrink_to_fit();
    labels_.shrink_to_fit();
    covered_ = nets.size();
}

std::uint32_t SubnetIndex::cutAt(std::uint32_t address) const {
    const std::uint32_t bucket = address >> (32 - kBucketBits);
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
