// The IPv6 text form, for any text: parseIp against the C library's inet_pton, formatIp
// against inet_ntop and against reading its own text back, parseIpRange against parseIp.
#include <arpa/inet.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "nets/ip_address.h"

namespace netsorter::fuzz {
namespace {

// inet_ntop writes ::a.b.c.d for the deprecated IPv4-compatible addresses (the first 96
// bits zero, the next 16 not), where RFC 5952 keeps hex.
bool ntopWritesCompatible(const Ipv6Number& n) {
    return n.hi == 0 && n.lo >> 32 == 0 && n.lo >> 16 != 0;
}

void checkAddress(std::string_view text, const std::string& shown) {
    const IpAddress untouched = IpAddress::fromV6({1, 2});
    IpAddress a = untouched;
    const bool parsed = parseIp(text, a);
    expect(parsed || a == untouched, "a refused text changed the address: [" + shown + "]");

    // Everything inet_pton reads (the part before a zone, which it does not take) is read
    // alike; everything read as IPv6 inet_pton reads.
    const std::string whole(text);
    const std::string beforeZone = whole.substr(0, whole.find('%'));
    in6_addr bytes{};
    const bool pton = whole.find('\0') == std::string::npos &&
                      inet_pton(AF_INET6, beforeZone.c_str(), &bytes) == 1;
    const bool v6 = parsed && !a.isV4();
    if (beforeZone == whole) {
        expect(pton == v6, "parseIp and inet_pton disagree on [" + shown + "]");
    } else {
        expect(!v6 || pton, "parseIp reads [" + shown + "], inet_pton not");
    }
    if (v6) {
        const auto ours = a.v6Bytes();
        expect(std::memcmp(ours.data(), &bytes, 16) == 0, "the bytes of [" + shown + "]");
    }
    if (!parsed) {
        return;
    }

    const std::string formatted = formatIp(a);
    IpAddress again;
    expect(parseIp(formatted, again) && again == a,
           "[" + formatted + "] does not read back as [" + shown + "]");
    if (v6 && !ntopWritesCompatible(a.v6())) {
        char ntop[INET6_ADDRSTRLEN];
        expect(inet_ntop(AF_INET6, &bytes, ntop, sizeof ntop) != nullptr, "inet_ntop");
        expectEqual("formatIp of [" + shown + "]", formatted, ntop);
    }

    // An address is a range of one, in the range reader too, which keeps ::ffff: as IPv4.
    IpRange range;
    expect(parseIpRange(text, range) || !v6, "parseIpRange refuses [" + shown + "]");
    if (v6) {
        if (const auto v4 = a.ipv4()) {
            expect(range.family == IpAddress::Family::V4 && range.v4.firstIp == v4->v4() &&
                       range.v4.lastIp == v4->v4(),
                   "the mapped range of [" + shown + "]");
        } else {
            expect(range.family == IpAddress::Family::V6 && range.v6.prefix == 128 &&
                       range.v6.first == a.v6(),
                   "the range of [" + shown + "]");
        }
    }
}

// An IPv6 range starts on its prefix boundary, reads back from its own text, and may carry a
// note on a nets.txt line.
void checkRange(std::string_view text, const std::string& shown) {
    IpRange range;
    if (!parseIpRange(text, range) || range.family != IpAddress::Family::V6) {
        return;
    }
    const Ipv6Net& net = range.v6;
    const Ipv6Number last = net.last();
    const Ipv6Number host{last.hi ^ net.first.hi, last.lo ^ net.first.lo};
    expect((net.first.hi & host.hi) == 0 && (net.first.lo & host.lo) == 0,
           "the start of [" + shown + "] is not on its prefix boundary");
    const std::string written =
        formatIp(IpAddress::fromV6(net.first)) + "/" + std::to_string(net.prefix);
    IpRange again;
    expect(parseIpRange(written, again) && again.family == IpAddress::Family::V6 &&
               again.v6.first == net.first && again.v6.prefix == net.prefix,
           "[" + written + "] does not read back as [" + shown + "]");
    IpRange line;
    expect(parseIpRange(std::string(text) + "\tnote", line, true) && line.v6.first == net.first &&
               line.v6.prefix == net.prefix,
           "a note after [" + shown + "]");
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter::fuzz;
    const std::string_view text = asText(data, size);
    const std::string shown(text);
    checkAddress(text, shown);
    checkRange(text, shown);
    return 0;
}
