// The IPv4 text form: parseNet, isIp and ipToNumber against the form written as a pattern,
// and readOctet, for any text.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <regex>
#include <string>

#include "fuzz_support.h"
#include "nets/ipv4.h"

namespace netsorter::fuzz {
namespace {

// The text form as a pattern: four octets of one to three digits joined by single dots,
// then "/" and one to three digits for a prefix; whatever follows is ignored.
bool referenceNet(std::string_view text, double& first, double& last) {
    static const std::regex form(R"(^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})(?:/(\d{1,3}))?)");
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_search(text.begin(), text.end(), m, form)) {
        return false;
    }
    double number = 0;
    for (int k = 1; k <= 4; ++k) {
        const int octet = std::stoi(m[k].str());
        if (octet > 255) {
            return false;
        }
        number = number * 256 + octet;
    }
    const int prefix = m[5].matched ? std::min(std::stoi(m[5].str()), 32) : 32;
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
