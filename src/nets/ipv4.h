// The IPv4 text form: four dotted decimal octets, an optional "/" prefix length, and a tail
// that is ignored. Address numbers are doubles because range ends may exceed 2^32 - 1.
#pragma once

#include <cstdint>
#include <string_view>

namespace netsorter {

// One subnet: its first and last address numbers (inclusive) and the number of the heading
// it stands under; clsNetChecker::comment gives that heading's text, its traffic type. The
// text is kept once per heading however many subnets stand under it.
struct clsNet {
    double firstIp = 0;
    double lastIp = 0;
    std::uint32_t heading = 0;
};

// Takes one to three digits off the front of text. True when the value read is below 256;
// the digits are consumed and value set even when it is not.
bool readOctet(std::string_view& text, std::int32_t& value);

// Reads an address with an optional prefix length into net.firstIp/lastIp. A start that is
// not aligned to the prefix stays as written. On false net is unchanged.
bool parseNet(std::string_view text, clsNet& net);

// Reads a bare address (anything after the fourth octet, a "/" included, is ignored).
// On false number is unchanged.
bool ipToNumber(std::string_view text, double& number);

// True exactly when parseNet accepts the text.
bool isIp(std::string_view ip);

}  // namespace netsorter
