#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "common/text.h"
#include "resolve/sockets.h"

namespace netsorter::sockets {
namespace {

// Calls one of the reentrant glibc host lookups, growing its scratch buffer as it asks.
template <class Lookup>
const hostent* lookup(hostent& record, std::vector<char>& scratch, Lookup&& call) {
    scratch.resize(1024);
    for (;;) {
        hostent* result = nullptr;
        int herr = 0;
        const int rc = call(&record, scratch.data(), scratch.size(), &result, &herr);
        if (rc == ERANGE && scratch.size() < (1u << 20)) {
            scratch.resize(scratch.size() * 2);
            continue;
        }
        return rc == 0 ? result : nullptr;
    }
}

}  // namespace

// The POSIX resolver needs no library start-up.
Session::Session() : started_(true) {}
Session::~Session() = default;

std::vector<std::string> addressesByName(const std::string& host) {
    hostent record{};
    std::vector<char> scratch;
    const hostent* found =
        lookup(record, scratch, [&](hostent* r, char* b, size_t n, hostent** out, int* herr) {
            return gethostbyname2_r(host.c_str(), AF_INET, r, b, n, out, herr);
        });
    return addressesOf(found);
}

std::string nameByAddress(const std::string& ip) {
    const in_addr_t address = inet_addr(ip.c_str());
    hostent record{};
    std::vector<char> scratch;
    const hostent* found =
        lookup(record, scratch, [&](hostent* r, char* b, size_t n, hostent** out, int* herr) {
            return gethostbyaddr_r(&address, sizeof address, AF_INET, r, b, n, out, herr);
        });
    if (found == nullptr || found->h_name == nullptr) {
        return {};
    }
    return decodeText(found->h_name);
}

}  // namespace netsorter::sockets
