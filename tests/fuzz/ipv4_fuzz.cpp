// The IPv4 text form: parseNet, isIp and ipToNumber against a reading built step by step
// from readOctet, for any text.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "nets/ipv4.h"

namespace netsorter::fuzz {
namespace {

// Octet, dot, octet, dot, octet, dot, octet, then "/" and a prefix when it reads as one.
bool referenceNet(std::string_view text, double& first, double& last) {
    double number = 0;
    for (int k = 0; k < 4; ++k) {
        std::int32_t octet = 0;
        if (!readOctet(text, octet)) {
            return false;
        }
        number = number * 256 + octet;
        if (k < 3) {
            if (text.empty() || text.front() != '.') {
                return false;
            }
            text.remove_prefix(1);
        }
    }
    std::int32_t prefix = 32;
    if (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
        std::int32_t value = 0;
        if (readOctet(text, value)) {
            prefix = value > 32 ? 32 : value;
        }
    }
    first = number;
    last = std::pow(2.0, 32 - prefix) + number - 1;
    return true;
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string_view text = asText(data, size);
    const std::string shown(text);

    clsNet net{-1, -2, 7};
    const bool parsed = parseNet(text, net);
    expect(isIp(text) == parsed, "isIp and parseNet disagree on [" + shown + "]");
    double first = 0;
    double last = 0;
    const bool expected = referenceNet(text, first, last);
    expect(parsed == expected, "parseNet of [" + shown + "] answers " + std::to_string(parsed));
    if (parsed) {
        expectEqual("range of [" + shown + "]",
                    std::to_string(net.firstIp) + "-" + std::to_string(net.lastIp),
                    std::to_string(first) + "-" + std::to_string(last));
    } else {
        expect(net.firstIp == -1 && net.lastIp == -2, "a refused text changed the record");
    }
    expect(net.heading == 7, "parseNet touched the heading");

    double number = -1;
    const bool isAddress = ipToNumber(text, number);
    expect(isAddress == parsed, "ipToNumber and parseNet disagree on [" + shown + "]");
    expect(isAddress ? number == first : number == -1, "ipToNumber of [" + shown + "]");

    std::string_view rest = text;
    std::int32_t octet = -1;
    const bool small = readOctet(rest, octet);
    const std::size_t taken = text.size() - rest.size();
    expect(taken <= 3 && (taken == 0) == (octet == -1) && small == (taken > 0 && octet < 256),
           "readOctet of [" + shown + "]");
    return 0;
}
