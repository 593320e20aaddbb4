#include "nets/ipv4.h"

namespace netsorter {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The digits of one octet at p: one to three, never a fourth. False when p holds no digit;
// otherwise value is what the digits say, up to 999. Every address of a batch is read three
// times (splitting, subnet list, country), so this stays a tight loop over a pointer.
inline bool takeOctet(const char*& p, const char* end, std::int32_t& value) {
    if (p == end || !isDigit(*p)) {
        return false;
    }
    std::int32_t v = *p++ - '0';
    for (int digits = 1; digits < 3 && p != end && isDigit(*p); ++digits) {
        v = v * 10 + (*p++ - '0');
    }
    value = v;
    return true;
}

// Steps shared by parseNet and ipToNumber: four octets joined by single dots.
bool readAddress(std::string_view& text, double& number) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::uint32_t address = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (p == end || *p != '.') {
                return false;
            }
            ++p;
        }
        std::int32_t octet = 0;
        if (!takeOctet(p, end, octet) || octet > 255) {
            return false;
        }
        address = address << 8 | static_cast<std::uint32_t>(octet);
    }
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    number = address;  // o1 * 16777216 + o2 * 65536 + o3 * 256 + o4, exact
    return true;
}

}  // namespace

bool readOctet(std::string_view& text, std::int32_t& value) {
    const char* p = text.data();
    if (!takeOctet(p, p + text.size(), value)) {
        return false;
    }
    text.remove_prefix(static_cast<size_t>(p - text.data()));
    return value < 256;
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
    // 2^(32 - prefix), exact as a double, then the additions in the same order.
    net.lastIp = static_cast<double>(std::uint64_t{1} << (32 - prefix)) + first - 1;
    return true;
}

bool ipToNumber(std::string_view text, double& number) {
    return readAddress(text, number);
}

bool isIp(std::string_view ip) {
    clsNet scratch;
    return parseNet(ip, scratch);
}

}  // namespace netsorter
