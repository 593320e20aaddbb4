// The subnet list of nets.txt: the first subnet, in file order, that wholly contains an
// address gives its traffic type. The families stay apart: IPv6 subnets answer for IPv6
// addresses only, IPv4 subnets (also those written ::ffff:a.b.c.d) for IPv4 addresses and
// for ::ffff:a.b.c.d, which stands for a.b.c.d.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/yield.h"
#include "nets/ip_address.h"
#include "nets/ipv4.h"
#include "nets/net_index.h"

namespace netsorter {

inline constexpr const char* kNotInAnySubnet = "Указанный IP не принадлежит ни к одной подсети";
inline constexpr const char* kBadIp = "Ошибка: IP указан неверно!";

class clsNetChecker {
  public:
    // The traffic type of an address or range, or one of the two fixed answers above.
    // Answered from an index built on the first check after loading; a check made while
    // add_nets yields uses the index of the earlier loads and scans the lines since.
    std::string checkIp(std::string_view ip) const;
    // The same for an address already read, so that it is not read twice. The text is the
    // list's own, good until its next load.
    const std::string& checkIp(const IpAddress& ip) const;

    // Readies the memory a check of the IPv4 address will read, once the index is built.
    void prefetch(std::uint32_t ipv4, PrefetchStep step) const {
        if (index_.covered() == nets_.size()) {
            index_.prefetch(ipv4, step);
        }
    }

    // The same answer by scanning the whole list, as the index must give it.
    std::string checkIpByScan(std::string_view ip) const;

    // Appends the subnets of one whole nets.txt text (already decoded to UTF-8). Yields
    // after every line, so a check during loading sees the subnets appended so far.
    void add_nets(std::string_view lNets, const Yield& yield = {});

    // True for what checkIp reads as an address or range: what the IPv4 isIp accepts,
    // and IPv6 texts.
    static bool isIp(std::string_view ip);

    // The IPv4 subnets, ::ffff: lines among them, and the IPv6 subnets, each in file order.
    const std::vector<clsNet>& nets() const { return nets_; }
    const std::vector<Ipv6Net>& nets6() const { return nets6_; }

    // The traffic type of a subnet of this list: the text of its heading.
    const std::string& comment(const clsNet& net) const { return answers_[net.heading]; }
    const std::string& comment(const Ipv6Net& net) const { return answers_[net.heading]; }

  private:
    std::vector<clsNet> nets_;
    std::vector<Ipv6Net> nets6_;
    // What checkIp answers for an acceptable address, by heading number: 0 for no subnet
    // (SubnetIndex::kNoHeading), 1 for the empty heading above a file's first heading,
    // then the text of each heading line once, however many subnets stand under it.
    std::vector<std::string> answers_{kNotInAnySubnet, std::string()};
    int loading_ = 0;  // add_nets calls under way, nested ones included
    mutable SubnetIndex index_;
    mutable Subnet6Index index6_;

    // The heading number of the first subnet that contains q, or SubnetIndex::kNoHeading.
    std::uint32_t firstContaining(const clsNet& q) const;
    std::uint32_t firstContaining(const Ipv6Net& q) const;
};

}  // namespace netsorter
