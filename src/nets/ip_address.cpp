#include "nets/ip_address.h"

namespace netsorter {
namespace {

// What each byte is to the IPv6 reader: a hex digit's value, or one of the kinds below. A
// table: a batch reads millions of addresses.
constexpr std::uint8_t kColon = 16;
constexpr std::uint8_t kDot = 17;
constexpr std::uint8_t kOther = 0xFF;
constexpr std::array<std::uint8_t, 256> kByteKind = [] {
    std::array<std::uint8_t, 256> kind{};
    kind.fill(kOther);
    for (int c = 0; c < 10; ++c) {
        kind['0' + c] = static_cast<std::uint8_t>(c);
    }
    for (int c = 0; c < 6; ++c) {
        kind['a' + c] = kind['A' + c] = static_cast<std::uint8_t>(10 + c);
    }
    kind[':'] = kColon;
    kind['.'] = kDot;
    return kind;
}();

std::uint8_t kindOf(char c) {
    return kByteKind[static_cast<unsigned char>(c)];
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// RFC 6874's unreserved characters, which interface names and numbers are made of.
bool isZoneChar(char c) {
    return kindOf(c) < 16 || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z') || c == '.' ||
           c == '_' || c == '~' || c == '-';
}

// The dotted tail of an IPv6 text: four decimal octets without leading zeros, as inet_pton
// reads them. Unlike the lenient IPv4 form, 010 is refused rather than read as ten, so that
// no other reader of the text can take it for another address. Where it ends, or nullptr.
const char* readDottedTail(const char* p, const char* end, std::uint32_t& number) {
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (p == end || *p != '.') {
                return nullptr;
            }
            ++p;
        }
        if (p == end || !isDigit(*p)) {
            return nullptr;
        }
        std::uint32_t octet = static_cast<std::uint32_t>(*p++ - '0');
        if (octet != 0) {
            for (int digits = 1; digits < 3 && p != end && isDigit(*p); ++digits) {
                octet = octet * 10 + static_cast<std::uint32_t>(*p++ - '0');
            }
        }
        if (octet > 255) {
            return nullptr;
        }
        value = value << 8 | octet;
    }
    number = value;
    return p;
}

// 128 bits shifted left by 0 to 128.
Ipv6Number shiftedLeft(Ipv6Number n, int bits) {
    if (bits >= 64) {
        return {bits == 128 ? 0 : n.lo << (bits - 64), 0};
    }
    return bits == 0 ? n : Ipv6Number{n.hi << bits | n.lo >> (64 - bits), n.lo << bits};
}

// An IPv6 address and its optional zone off the front of text, by RFC 4291: eight groups
// of one to four hex digits, "::" once for one or more zero groups, the last two groups
// possibly a dotted tail. The address ends where no address character (hex digit, colon,
// dot) follows: "1::2x" is "1::2" and a tail "x", "1::2:" nothing. Kept short: a batch
// reads millions, and the fewer steps a check takes, the more of the next one runs while
// this one waits for memory.
bool takeIpv6(std::string_view& text, Ipv6Number& number) {
    const char* p = text.data();
    const char* const end = p + text.size();
    // The groups read so far, the last lowest; those before "::" move to head.
    Ipv6Number groups;
    Ipv6Number head;
    int count = 0;
    int gap = -1;  // how many groups stand before "::"
    bool afterGap = false;
    if (p != end && *p == ':') {
        if (end - p < 2 || p[1] != ':') {
            return false;
        }
        gap = 0;
        afterGap = true;
        p += 2;
    }
    for (;;) {
        const char* const group = p;
        std::uint64_t value = 0;
        for (std::uint8_t kind; p != end && (kind = kindOf(*p)) < 16; ++p) {
            value = value << 4 | kind;
        }
        const auto digits = p - group;
        if (digits == 0) {
            if (afterGap) {
                break;
            }
            return false;
        }
        int added = 1;
        if (p != end && *p == '.') {
            std::uint32_t tail = 0;
            if ((p = readDottedTail(group, end, tail)) == nullptr) {
                return false;
            }
            value = tail;
            added = 2;
        } else if (digits > 4) {
            return false;
        }
        if ((count += added) > 8) {
            return false;
        }
        groups = {groups.hi << (16 * added) | groups.lo >> (64 - 16 * added),
                  groups.lo << (16 * added) | value};
        afterGap = false;
        if (added == 2 || p == end || *p != ':') {
            break;
        }
        if (++p != end && *p == ':') {
            if (gap >= 0) {
                return false;
            }
            gap = count;
            head = groups;
            groups = {};
            afterGap = true;
            ++p;
        }
    }
    if ((p != end && kindOf(*p) != kOther) || (gap < 0 ? count != 8 : count > 7)) {
        return false;
    }
    if (gap >= 0) {
        head = shiftedLeft(head, 16 * (8 - gap));
        groups = {head.hi | groups.hi, head.lo | groups.lo};
    }
    if (p != end && *p == '%') {
        const char* const zone = ++p;
        while (p != end && isZoneChar(*p)) {
            ++p;
        }
        if (p == zone) {
            return false;
        }
    }
    text.remove_prefix(static_cast<std::size_t>(p - text.data()));
    number = groups;
    return true;
}

// The addresses outside a prefix: its host bits.
Ipv6Number hostBits(int prefix) {
    const auto below = [](int bits) {  // the low bits of a half, 0 to 64 of them
        return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    };
    return prefix >= 64 ? Ipv6Number{0, below(128 - prefix)}
                        : Ipv6Number{below(64 - prefix), ~std::uint64_t{0}};
}

void appendDotted(std::string& out, std::uint32_t a) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += std::to_string((a >> shift) & 0xFF);
        if (shift > 0) {
            out += '.';
        }
    }
}

}  // namespace

IpAddress IpAddress::fromV6Bytes(const std::array<std::uint8_t, 16>& bytes) {
    Ipv6Number n;
    for (int k = 0; k < 8; ++k) {
        n.hi = n.hi << 8 | bytes[k];
        n.lo = n.lo << 8 | bytes[k + 8];
    }
    return fromV6(n);
}

std::array<std::uint8_t, 16> IpAddress::v6Bytes() const {
    std::array<std::uint8_t, 16> bytes{};
    for (int k = 0; k < 8; ++k) {
        bytes[k] = static_cast<std::uint8_t>(number_.hi >> (56 - 8 * k));
        bytes[k + 8] = static_cast<std::uint8_t>(number_.lo >> (56 - 8 * k));
    }
    return bytes;
}

Ipv6Number Ipv6Net::last() const {
    const Ipv6Number host = hostBits(prefix);
    return {first.hi | host.hi, first.lo | host.lo};
}

bool parseIp(std::string_view text, IpAddress& address) {
    double number = 0;
    if (ipToNumber(text, number)) {
        address = IpAddress::fromV4(static_cast<std::uint32_t>(number));
        return true;
    }
    Ipv6Number n;
    if (!takeIpv6(text, n) || !text.empty()) {
        return false;
    }
    address = IpAddress::fromV6(n);
    return true;
}

std::string formatIp(const IpAddress& address) {
    std::string out;
    appendIp(out, address);
    return out;
}

void appendIp(std::string& out, const IpAddress& address) {
    if (address.isV4()) {
        appendDotted(out, address.v4());
        return;
    }
    const Ipv6Number n = address.v6();
    if (isIpv4Mapped(n)) {
        out += "::ffff:";
        appendDotted(out, address.v4());
        return;
    }
    std::uint16_t groups[8];
    for (int k = 0; k < 4; ++k) {
        groups[k] = static_cast<std::uint16_t>(n.hi >> (48 - 16 * k));
        groups[k + 4] = static_cast<std::uint16_t>(n.lo >> (48 - 16 * k));
    }
    int runStart = 8;
    int runLength = 1;  // a single zero group stays written out
    for (int k = 0; k < 8;) {
        int end = k;
        while (end < 8 && groups[end] == 0) {
            ++end;
        }
        if (end - k > runLength) {
            runStart = k;
            runLength = end - k;
        }
        k = end == k ? k + 1 : end;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (int k = 0; k < 8; ++k) {
        if (k == runStart) {
            out += "::";
            k += runLength - 1;
            continue;
        }
        if (k > 0 && k != runStart + runLength) {
            out += ':';
        }
        const std::uint16_t g = groups[k];
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int digit = (g >> shift) & 0xF;
            if (started || digit != 0 || shift == 0) {
                out += kHex[digit];
                started = true;
            }
        }
    }
}

bool parseIpRange(std::string_view text, IpRange& range, bool noteAllowed) {
    if (parseNet(text, range.v4)) {
        range.family = IpAddress::Family::V4;
        return true;
    }
    Ipv6Number n;
    if (!takeIpv6(text, n)) {
        return false;
    }
    int prefix = 128;
    if (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
        if (text.empty() || !isDigit(text.front())) {
            return false;
        }
        int value = 0;
        for (; !text.empty() && isDigit(text.front()); text.remove_prefix(1)) {
            value = value > 128 ? value : value * 10 + (text.front() - '0');
        }
        prefix = value > 128 ? 128 : value;
    }
    if (!text.empty() && !(noteAllowed && (text.front() == ' ' || text.front() == '\t'))) {
        return false;
    }
    const Ipv6Number host = hostBits(prefix);
    const Ipv6Number first{n.hi & ~host.hi, n.lo & ~host.lo};
    if (isIpv4Mapped(n)) {
        // The IPv4 addresses whose mapped forms the range holds.
        const std::uint32_t a = prefix < 96 ? 0 : static_cast<std::uint32_t>(first.lo);
        const std::uint32_t hosts = prefix < 96 ? 0xFFFFFFFF : static_cast<std::uint32_t>(host.lo);
        range.family = IpAddress::Family::V4;
        range.v4.firstIp = a;
        range.v4.lastIp = static_cast<double>(a) + hosts;
        return true;
    }
    range.family = IpAddress::Family::V6;
    range.v6.first = first;
    range.v6.prefix = static_cast<std::uint8_t>(prefix);
    return true;
}

namespace {

struct Ipv4Block {
    std::uint32_t first;
    int prefix;
};

// IANA's IPv4 special-purpose registry, less what is globally reachable and placed by
// databases (192.31.196.0/24 and the like), with multicast and the reserved 240.0.0.0/4.
constexpr Ipv4Block kSpecialIpv4[] = {
    {0x00000000, 8},   // "this network"
    {0x0A000000, 8},   // private
    {0x64400000, 10},  // shared address space
    {0x7F000000, 8},   // loopback
    {0xA9FE0000, 16},  // link-local
    {0xAC100000, 12},  // private
    {0xC0000000, 24},  // IETF protocol assignments
    {0xC0000200, 24},  // documentation TEST-NET-1
    {0xC0A80000, 16},  // private
    {0xC6120000, 15},  // benchmarking
    {0xC6336400, 24},  // documentation TEST-NET-2
    {0xCB007100, 24},  // documentation TEST-NET-3
    {0xE0000000, 4},   // multicast
    {0xF0000000, 4},   // reserved, and the limited broadcast
};

struct Ipv6Block {
    std::uint64_t firstHi;
    int prefix;  // at most 64: every block here is that wide or wider
};

constexpr Ipv6Block kSpecialIpv6[] = {
    {0x0100000000000000, 64},  // discard-only
    {0x20010db800000000, 32},  // documentation
    {0x2001000200000000, 48},  // benchmarking
    {0x3fff000000000000, 20},  // documentation
    {0xfc00000000000000, 7},   // unique-local
    {0xfe80000000000000, 10},  // link-local
    {0xfec0000000000000, 10},  // site-local, deprecated
    {0xff00000000000000, 8},   // multicast
};

}  // namespace

bool isSpecialPurpose(const IpAddress& address) {
    if (const std::optional<IpAddress> v4 = address.ipv4()) {
        const std::uint32_t a = v4->v4();
        for (const Ipv4Block& block : kSpecialIpv4) {
            if ((a ^ block.first) >> (32 - block.prefix) == 0) {
                return true;
            }
        }
        return false;
    }
    const Ipv6Number n = address.v6();
    // The unspecified address and loopback (::, ::1).
    if (n.hi == 0 && n.lo <= 1) {
        return true;
    }
    for (const Ipv6Block& block : kSpecialIpv6) {
        if ((n.hi ^ block.firstHi) >> (64 - block.prefix) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace netsorter
