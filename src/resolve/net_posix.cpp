#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/text.h"
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
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::memcpy(&in, a->ai_addr, sizeof in);
            addresses.push_back(IpAddress::fromV4(ntohl(in.sin_addr.s_addr)));
        } else if (a->ai_family == AF_INET6 && a->ai_addrlen >= sizeof(sockaddr_in6)) {
            sockaddr_in6 in6{};
            std::memcpy(&in6, a->ai_addr, sizeof in6);
            std::array<std::uint8_t, 16> bytes{};
            std::memcpy(bytes.data(), &in6.sin6_addr, bytes.size());
            addresses.push_back(IpAddress::fromV6Bytes(bytes));
        }
    }
    return addresses;
}

std::string nameByAddress(const IpAddress& address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.isV4()) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(address.v4());
        std::memcpy(&storage, &in, sizeof in);
        length = sizeof in;
    } else {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        const std::array<std::uint8_t, 16> bytes = address.v6Bytes();
        std::memcpy(&in6.sin6_addr, bytes.data(), bytes.size());
        std::memcpy(&storage, &in6, sizeof in6);
        length = sizeof in6;
    }
    std::array<char, NI_MAXHOST> name{};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, name.data(),
                    static_cast<socklen_t>(name.size()), nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return decodeText(name.data());
}

}  // namespace netsorter::sockets
