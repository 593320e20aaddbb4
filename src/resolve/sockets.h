// The platform half of mdlNET. Every call runs inside one SocketsSession, which on Windows
// starts Winsock 2.2 and cleans it up again.
#pragma once

#include <string>
#include <vector>

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

// The host record's addresses, each as its raw bytes (h_length of them), in the record's
// order; copied out, so nothing of the record outlives the call.
std::vector<std::string> addressesByName(const std::string& host);

// Copies the addresses out of a host record (hostent of either platform), in its order.
template <class HostRecord>
std::vector<std::string> addressesOf(const HostRecord* found) {
    std::vector<std::string> addresses;
    if (found == nullptr || found->h_addr_list == nullptr) {
        return addresses;
    }
    for (char** a = found->h_addr_list; *a != nullptr; ++a) {
        addresses.emplace_back(*a, static_cast<size_t>(found->h_length));
    }
    return addresses;
}

// inet_addr of the text, then the official name of that address (UTF-8), or empty.
std::string nameByAddress(const std::string& ip);

}  // namespace netsorter::sockets
