#include "nets/net_checker.h"

#include <algorithm>

#include "common/text.h"

namespace netsorter {
namespace {

constexpr std::uint32_t kEmptyHeading = 1;

// Both ends compared, then one jump: a jump on the first end alone goes either way at
// random, a misprediction for every other subnet of a scan.
bool contains(const clsNet& n, const clsNet& q) {
    return (q.firstIp >= n.firstIp) & (q.lastIp <= n.lastIp);
}

// Subnets on their prefix boundaries are nested or apart: n holds q when it is no narrower
// and holds q's first address.
bool contains(const Ipv6Net& n, const Ipv6Net& q) {
    if (n.prefix > q.prefix) {
        return false;
    }
    const Ipv6Number last = n.last();
    return q.first >= n.first && q.first <= last;
}

clsNet single(std::uint32_t v4) {
    return {static_cast<double>(v4), static_cast<double>(v4), 0};
}

}  // namespace

std::size_t clsNetChecker::scan(const clsNet& q, std::size_t from, std::size_t to) const {
    for (std::size_t k = from; k < to; ++k) {
        if (contains(nets_[k], q)) {
            return k;
        }
    }
    return nets_.size();
}

std::size_t clsNetChecker::scan(const Ipv6Net& q, std::size_t from, std::size_t to) const {
    for (std::size_t k = from; k < to; ++k) {
        if (contains(nets6_[k], q)) {
            return k;
        }
    }
    return nets6_.size();
}

std::uint32_t clsNetChecker::firstContaining(const clsNet& q) const {
    // Rebuilt only between loads: inside a load every line would invalidate it again.
    if (loading_ == 0 && index_.covered() != nets_.size()) {
        index_.build(nets_);
    }
    const std::size_t covered = index_.covered();
    const auto first = static_cast<std::uint32_t>(q.firstIp);
    std::size_t found = nets_.size();
    if (q.lastIp == q.firstIp) {
        // No jump on the answer itself: at a million subnets the next check can then start
        // while this one still waits for memory.
        const std::uint32_t heading = index_.headingAt(first);
        if (covered == nets_.size() || heading != SubnetIndex::kNoHeading) {
            return heading;
        }
    } else if (const std::uint32_t atFirst = index_.positionAt(first);
               atFirst != SubnetIndex::kNone) {
        // A range: whatever holds all of it holds both its ends, so it comes no earlier
        // than the first subnet holding either end.
        std::size_t from = atFirst;
        if (q.lastIp <= 4294967295.0) {
            const std::uint32_t atLast = index_.positionAt(static_cast<std::uint32_t>(q.lastIp));
            from = atLast == SubnetIndex::kNone ? covered : std::max<std::size_t>(from, atLast);
        }
        found = scan(q, from, covered);
    }
    // Subnets appended since the index was built (a check while add_nets yields).
    if (found >= covered) {
        found = scan(q, covered, nets_.size());
    }
    return found < nets_.size() ? nets_[found].heading : SubnetIndex::kNoHeading;
}

// As for IPv4, with the index of the IPv6 subnets.
std::uint32_t clsNetChecker::firstContaining(const Ipv6Net& q) const {
    if (loading_ == 0 && index6_.covered() != nets6_.size()) {
        index6_.build(nets6_);
    }
    const std::size_t covered = index6_.covered();
    std::size_t found = nets6_.size();
    if (q.prefix == 128) {
        const std::uint32_t heading = index6_.headingAt(q.first);
        if (covered == nets6_.size() || heading != SubnetIndex::kNoHeading) {
            return heading;
        }
    } else if (const std::uint32_t atFirst = index6_.positionAt(q.first);
               atFirst != Subnet6Index::kNone) {
        const std::uint32_t atLast = index6_.positionAt(q.last());
        found =
            scan(q, atLast == Subnet6Index::kNone ? covered : std::max(atFirst, atLast), covered);
    }
    if (found >= covered) {
        found = scan(q, covered, nets6_.size());
    }
    return found < nets6_.size() ? nets6_[found].heading : SubnetIndex::kNoHeading;
}

std::string clsNetChecker::checkIp(std::string_view ip) const {
    clsNet q;
    if (parseNet(ip, q)) {
        return answers_[firstContaining(q)];
    }
    IpRange range;
    if (!parseIpRange(ip, range)) {
        return kBadIp;
    }
    return answers_[range.family == IpAddress::Family::V4 ? firstContaining(range.v4)
                                                          : firstContaining(range.v6)];
}

std::string clsNetChecker::checkIp(const IpAddress& ip) const {
    if (const std::optional<IpAddress> v4 = ip.ipv4()) {
        return answers_[firstContaining(single(v4->v4()))];
    }
    return answers_[firstContaining(Ipv6Net{ip.v6(), 0, 128})];
}

std::string clsNetChecker::checkIpByScan(std::string_view ip) const {
    clsNet q;
    if (!parseNet(ip, q)) {
        IpRange range;
        if (!parseIpRange(ip, range)) {
            return kBadIp;
        }
        if (range.family == IpAddress::Family::V6) {
            const std::size_t k = scan(range.v6, 0, nets6_.size());
            return k < nets6_.size() ? comment(nets6_[k]) : answers_[SubnetIndex::kNoHeading];
        }
        q = range.v4;
    }
    const std::size_t k = scan(q, 0, nets_.size());
    return k < nets_.size() ? comment(nets_[k]) : answers_[SubnetIndex::kNoHeading];
}

bool clsNetChecker::isIp(std::string_view ip) {
    IpRange scratch;
    return parseIpRange(ip, scratch);
}

void clsNetChecker::add_nets(std::string_view lNets, const Yield& yield) {
    struct Loading {
        int& depth;
        explicit Loading(int& d) : depth(d) { ++depth; }
        ~Loading() { --depth; }
    } loading(loading_);
    // A heading is stored when the first subnet under it is appended, so a file of headings
    // alone stores nothing. Each load starts under the empty heading.
    std::string_view comment;
    std::uint32_t heading = kEmptyHeading;
    bool stored = true;
    forEachLine(lNets, [&](std::string_view raw) {
        const std::string_view line = trimSpaces(raw);
        if (!line.empty()) {
            if (line[0] == '#') {
                comment = trimSpaces(line.substr(1));
                heading = kEmptyHeading;
                stored = comment.empty();
            } else {
                IpRange net;
                if (parseIpRange(line, net, true)) {
                    if (!stored) {
                        answers_.emplace_back(comment);
                        heading = static_cast<std::uint32_t>(answers_.size() - 1);
                        stored = true;
                    }
                    if (net.family == IpAddress::Family::V4) {
                        net.v4.heading = heading;
                        nets_.push_back(net.v4);
                    } else {
                        net.v6.heading = heading;
                        nets6_.push_back(net.v6);
                    }
                }
            }
        }
        yieldOnce(yield);
    });
}

}  // namespace netsorter
