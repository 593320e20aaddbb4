#include <winsock2.h>
// ws2tcpip.h needs winsock2.h above it.
#include <ws2tcpip.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/wide.h"
#include "resolve/sockets.h"

namespace netsorter::sockets {

Session::Session() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

// Cleaned up also when the start failed, as every resolution brackets itself.
Session::~Session() {
    WSACleanup();
}

std::vector<IpAddress> addressesByName(const std::string& host) {
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    // One entry per address, not one per kind of socket; no AI_ADDRCONFIG, which would hide
    // the IPv6 addresses of a name on a machine without IPv6.
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    std::vector<IpAddress> addresses;
    if (GetAddrInfoW(toWide(host).c_str(), nullptr, &hints, &found) != 0) {
        return addresses;
    }
    const std::unique_ptr<ADDRINFOW, decltype(&FreeAddrInfoW)> owned(found, &FreeAddrInfoW);
    for (const ADDRINFOW* a = found; a != nullptr; a = a->ai_next) {
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
    int length = 0;
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
    std::array<wchar_t, NI_MAXHOST> name{};
    if (GetNameInfoW(reinterpret_cast<const sockaddr*>(&storage), length, name.data(),
                     static_cast<DWORD>(name.size()), nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return fromWide(name.data());
}

}  // namespace netsorter::sockets
