// Socket addresses to and from IpAddress, for both resolver backends. Include it after the
// platform's socket headers (sys/socket.h and netinet/in.h, or winsock2.h and ws2tcpip.h),
// which name the same structures on both.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "nets/ip_address.h"

namespace netsorter::sockets {

inline std::optional<IpAddress> addressOf(const sockaddr* address, std::size_t length) {
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        return IpAddress::fromV4(ntohl(in.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        std::array<std::uint8_t, 16> bytes{};
        std::memcpy(bytes.data(), &in6.sin6_addr, bytes.size());
        return IpAddress::fromV6Bytes(bytes);
    }
    return std::nullopt;
}

// Fills storage with the address; answers its length.
inline int socketAddress(const IpAddress& address, sockaddr_storage& storage) {
    storage = {};
    if (address.isV4()) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(address.v4());
        std::memcpy(&storage, &in, sizeof in);
        return sizeof in;
    }
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    const std::array<std::uint8_t, 16> bytes = address.v6Bytes();
    std::memcpy(&in6.sin6_addr, bytes.data(), bytes.size());
    std::memcpy(&storage, &in6, sizeof in6);
    return sizeof in6;
}

}  // namespace netsorter::sockets
