// Name resolution: a host name to its addresses and an address to its host name.
// One header, two backends: Winsock (net_winsock.cpp) and the POSIX resolver
// (net_posix.cpp); both answer alike.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/problem.h"
#include "common/yield.h"
#include "nets/ip_address.h"

namespace netsorter {

// A name that does not resolve and an address without a name are answers, not failures;
// failure is what nobody expects ("Error: " with its number and description), which the
// user hears of while the answer is empty.
struct HostAddresses {
    std::vector<IpAddress> ips;
    std::optional<Problem> failure;
};
struct HostName {
    std::string name;
    std::optional<Problem> failure;
};

// What a check needs from name resolution; tests substitute their own.
class NameResolver {
  public:
    virtual ~NameResolver() = default;
    // Every address of host, of both families, in the resolver's order, duplicates kept;
    // empty when the name does not resolve. Yields after each address.
    virtual HostAddresses getIpsByName(const std::string& host, const Yield& yield) = 0;
    // The host name of the address, or the empty text.
    virtual HostName getNameByIp(const IpAddress& ip) = 0;
};

class mdlNET final : public NameResolver {
  public:
    // An international name is asked for in its ASCII form (toAsciiHost).
    // A name with letters beyond ASCII is asked for in its ASCII form.
    HostAddresses getIpsByName(const std::string& host, const Yield& yield) override;
    HostName getNameByIp(const IpAddress& ip) override;
};

}  // namespace netsorter
