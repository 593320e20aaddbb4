// Name resolution: a host name to its IPv4 addresses and an address to its host name.
// One header, two backends: Winsock (net_winsock.cpp) and the POSIX resolver
// (net_posix.cpp); both answer alike.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/problem.h"
#include "common/yield.h"

namespace netsorter {

// A name that does not resolve and an address without a name are answers, not failures;
// failure is what nobody expects ("Error: " with its number and description), which the
// user hears of while the answer is empty.
struct HostAddresses {
    std::vector<std::string> ips;
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
    // Every IPv4 address of host as dotted text, in the resolver's order, duplicates kept;
    // empty when the name does not resolve. Yields after each address.
    virtual HostAddresses getIpsByName(const std::string& host, const Yield& yield) = 0;
    // The official host name of the address, or the empty text.
    virtual HostName getNameByIp(const std::string& ip) = 0;
};

class mdlNET final : public NameResolver {
  public:
    // An international name is asked for in its ASCII form (toAsciiHost).
    HostAddresses getIpsByName(const std::string& host, const Yield& yield) override;
    // The address is read the way inet_addr reads it: a leading zero means octal, and a
    // text it cannot read asks for 255.255.255.255.
    HostName getNameByIp(const std::string& ip) override;
};

}  // namespace netsorter
