// Name resolution: a host name to its IPv4 addresses and an address to its host name.
// One header, two backends: Winsock (net_winsock.cpp) and the POSIX resolver
// (net_posix.cpp); both answer alike.
#pragma once

#include <string>
#include <vector>

#include "common/ui.h"

namespace netsorter {

// What a check needs from name resolution; tests substitute their own.
class NameResolver {
  public:
    virtual ~NameResolver() = default;
    // Every IPv4 address of host as dotted text, in the resolver's order, duplicates kept;
    // empty when the name does not resolve.
    virtual std::vector<std::string> getIpsByName(const std::string& host) = 0;
    // The official host name of the address, or the empty text.
    virtual std::string getNameByIp(const std::string& ip) = 0;
};

class mdlNET final : public NameResolver {
  public:
    explicit mdlNET(Ui& ui) : ui_(ui) {}

    // Lets pending events run after each address it appends.
    std::vector<std::string> getIpsByName(const std::string& host) override;
    // The address is read the way inet_addr reads it: a leading zero means octal, and a
    // text it cannot read asks for 255.255.255.255.
    std::string getNameByIp(const std::string& ip) override;

  private:
    Ui& ui_;
    // The "Error: " message box of a failure nobody expected.
    void reportUnexpected(int number, const std::string& description);
    template <class Body>
    bool guarded(Body&& body);
};

}  // namespace netsorter
