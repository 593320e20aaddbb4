#include <windows.h>
#include <winsock2.h>

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

std::vector<std::string> addressesByName(const std::string& host) {
    return addressesOf(gethostbyname(toAnsi(host).c_str()));
}

std::string nameByAddress(const std::string& ip) {
    const unsigned long address = inet_addr(toAnsi(ip).c_str());
    const hostent* found =
        gethostbyaddr(reinterpret_cast<const char*>(&address), sizeof address, AF_INET);
    if (found == nullptr || found->h_name == nullptr) {
        return {};
    }
    return fromAnsi(found->h_name);
}

}  // namespace netsorter::sockets
