#include "nets/net_checker.h"

#include <algorithm>
#include <optional>

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

// What the first-match search asks of a query of either family: whether it is one address,
// and the address numbers its index is asked for at its two ends. An IPv4 range whose end
// lies past 255.255.255.255 has no last end to ask for.
bool isSingle(const clsNet& q) {
    return q.lastIp == q.firstIp;
}
bool isSingle(const Ipv6Net& q) {
    return q.prefix == 128;
}
std::uint32_t firstAddress(const clsNet& q) {
    return static_cast<std::uint32_t>(q.firstIp);
}
Ipv6Number firstAddress(const Ipv6Net& q) {
    return q.first;
}
std::optional<std::uint32_t> lastAddress(const clsNet& q) {
    if (q.lastIp <= 4294967295.0) {
        return static_cast<std::uint32_t>(q.lastIp);
    }
    return std::nullopt;
}
std::optional<Ipv6Number> lastAddress(const Ipv6Net& q) {
    return q.last();
}

// The first subnet in nets[from, to) that contains q; nets.size() if none.
template <typename Net>
std::size_t scan(const std::vector<Net>& nets, const Net& q, std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
        if (contains(nets[k], q)) {
            return k;
        }
    }
    return nets.size();
}

// The heading number of the first subnet of nets that contains q, or
// SubnetIndex::kNoHeading; index is rebuilt for nets when it is stale and no load is under
// way (inside a load every line would invalidate it again).
template <typename Net, typename Index>
std::uint32_t firstContainingIn(const std::vector<Net>& nets, Index& index, bool loading,
                                const Net& q) {
    if (!loading && index.covered() != nets.size()) {
        index.build(nets);
    }
    const std::size_t covered = index.covered();
    std::size_t found = nets.size();
    if (isSingle(q)) {
        // No jump on the answer itself: at a million subnets the next check can then start
        // while this one still waits for memory.
        const std::uint32_t heading = index.headingAt(firstAddress(q));
        if (covered == nets.size() || heading != SubnetIndex::kNoHeading) {
            return heading;
        }
    } else if (const std::uint32_t atFirst = index.positionAt(firstAddress(q));
               atFirst != SubnetIndex::kNone) {
        // A range: whatever holds all of it holds both its ends, so it comes no earlier
        // than the first subnet holding either end.
        std::size_t from = atFirst;
        if (const auto last = lastAddress(q)) {
            const std::uint32_t atLast = index.positionAt(*last);
            from = atLast == SubnetIndex::kNone ? covered : std::max<std::size_t>(from, atLast);
        }
        found = scan(nets, q, from, covered);
    }
    // Subnets appended since the index was built (a check while add_nets yields).
    if (found >= covered) {
        found = scan(nets, q, covered, nets.size());
    }
    return found < nets.size() ? nets[found].heading : SubnetIndex::kNoHeading;
}

// The answer of the whole list scanned, as the index must give it.
template <typename Net>
const std::string& firstByScan(const std::vector<Net>& nets, const Net& q,
                               const std::vector<std::string>& answers) {
    const std::size_t k = scan(nets, q, 0, nets.size());
    return answers[k < nets.size() ? nets[k].heading : SubnetIndex::kNoHeading];
}

}  // namespace

std::uint32_t clsNetChecker::firstContaining(const clsNet& q) const {
    return firstContainingIn(nets_, index_, loading_ != 0, q);
}

std::uint32_t clsNetChecker::firstContaining(const Ipv6Net& q) const {
    return firstContainingIn(nets6_, index6_, loading_ != 0, q);
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

const std::string& clsNetChecker::checkIp(const IpAddress& ip) const {
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
            return firstByScan(nets6_, range.v6, answers_);
        }
        q = range.v4;
    }
    return firstByScan(nets_, q, answers_);
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
