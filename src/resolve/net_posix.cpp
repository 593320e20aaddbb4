#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/text.h"
#include "resolve/socket_address.h"
#include "resolve/sockets.h"

namespace netsorter::sockets {

// The POSIX resolver needs no library start-up.
Session::Session() : started_(true) {}
Session::~Session() = default;

std::vector<IpAddress> addressesByName(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // One entry per address, not one per kind of socket. No AI_ADDRCONFIG: it hides the
    // IPv6 addresses of a name on a machine without an IPv6 route, and the user asks what
    // the name stands for, not how this machine would reach it.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<IpAddress> addresses;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return addresses;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (const std::optional<IpAddress> address = addressOf(a->ai_addr, a->ai_addrlen)) {
            addresses.push_back(*address);
        }
    }
    return addresses;
}

std::string nameByAddress(const IpAddress& address) {
    sockaddr_storage storage{};
    const int length = socketAddress(address, storage);
    std::array<char, NI_MAXHOST> name{};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&storage), static_cast<socklen_t>(length),
                    name.data(), static_cast<socklen_t>(name.size()), nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return {};
    }
    return decodeText(name.data());
}

}  // namespace netsorter::sockets
