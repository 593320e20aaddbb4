#include <winsock2.h>
// ws2tcpip.h needs winsock2.h above it.
#include <ws2tcpip.h>

#include <array>
#include <cstring>
#include <memory>

#include "common/wide.h"
#include "resolve/socket_address.h"
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
        if (const std::optional<IpAddress> address = addressOf(a->ai_addr, a->ai_addrlen)) {
            addresses.push_back(*address);
        }
    }
    return addresses;
}

std::string nameByAddress(const IpAddress& address) {
    sockaddr_storage storage{};
    const int length = socketAddress(address, storage);
    std::array<wchar_t, NI_MAXHOST> name{};
    if (GetNameInfoW(reinterpret_cast<const sockaddr*>(&storage), static_cast<int>(length),
                     name.data(), static_cast<DWORD>(name.size()), nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return fromWide(name.data());
}

}  // namespace netsorter::sockets
