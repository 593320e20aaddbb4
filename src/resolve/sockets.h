// The platform half of mdlNET. Every call runs inside one Session, which on Windows starts
// Winsock 2.2 and cleans it up again.
#pragma once

#include <string>
#include <vector>

#include "nets/ip_address.h"

namespace netsorter::sockets {

class Session {
  public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

// Every address of an ASCII host name, of both families, in the resolver's order.
std::vector<IpAddress> addressesByName(const std::string& host);

// The name of the address (UTF-8, as the resolver gives it), or empty.
std::string nameByAddress(const IpAddress& address);

}  // namespace netsorter::sockets
