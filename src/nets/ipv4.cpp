#include "nets/ipv4.h"

#include <cmath>

namespace netsorter {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Steps shared by parseNet and ipToNumber: four octets joined by single dots.
bool readAddress(std::string_view& text, double& number) {
    std::int32_t octet[4];
    for (int k = 0; k < 4; ++k) {
        if (!readOctet(text, octet[k])) {
            return false;
        }
        if (k < 3) {
            if (text.empty() || text.front() != '.') {
                return false;
            }
            text.remove_prefix(1);
        }
    }
    number = octet[0] * 16777216.0 + octet[1] * 65536.0 + octet[2] * 256.0 + octet[3];
    return true;
}

}  // namespace

bool readOctet(std::string_view& text, std::int32_t& value) {
    if (text.empty() || !isDigit(text[0])) {
        return false;
    }
    size_t digits = 1;
    while (digits < 3 && digits < text.size() && isDigit(text[digits])) {
        ++digits;
    }
    std::int32_t v = 0;
    for (size_t i = 0; i < digits; ++i) {
        v = v * 10 + (text[i] - '0');
    }
    text.remove_prefix(digits);
    value = v;
    return v < 256;
}

bool parseNet(std::string_view text, clsNet& net) {
    double first = 0;
    if (!readAddress(text, first)) {
        return false;
    }
    std::int32_t prefix = 32;
    if (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
        std::int32_t value = 0;
        if (readOctet(text, value)) {
            prefix = value > 32 ? 32 : value;
        }
    }
    net.firstIp = first;
    net.lastIp = std::pow(2.0, 32 - prefix) + first - 1;
    return true;
}

bool ipToNumber(std::string_view text, double& number) { return readAddress(text, number); }

bool isIp(std::string_view ip) {
    clsNet scratch;
    return parseNet(ip, scratch);
}

}  // namespace netsorter
