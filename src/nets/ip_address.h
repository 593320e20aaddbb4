// Addresses of both families. IPv4 texts keep the lenient form of ipv4.h; IPv6 texts are
// read by RFC 4291 (any compressed form, an embedded dotted IPv4 tail, hex digits in either
// case), strictly: the text must end with the address, an optional zone ("%eth0", dropped)
// and, where a range is meant, "/" and a prefix length. Shown as RFC 5952 writes them.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "nets/ipv4.h"

namespace netsorter {

// A 128-bit number as two halves: 32-bit MinGW has no unsigned __int128. Ordered as the
// number is.
struct Ipv6Number {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    friend constexpr auto operator<=>(const Ipv6Number&, const Ipv6Number&) = default;
};

// ::ffff:0:0/96, the IPv4-mapped block.
inline constexpr std::uint64_t kMappedBits = std::uint64_t{0xFFFF} << 32;

constexpr bool isIpv4Mapped(Ipv6Number n) {
    return n.hi == 0 && n.lo >> 32 == 0xFFFF;
}

class IpAddress {
  public:
    enum class Family : std::uint8_t { V4, V6 };

    constexpr IpAddress() = default;  // 0.0.0.0

    static constexpr IpAddress fromV4(std::uint32_t number) {
        return IpAddress(Family::V4, {0, kMappedBits | number});
    }
    static constexpr IpAddress fromV6(Ipv6Number number) { return IpAddress(Family::V6, number); }
    // From 16 bytes in network order (an in6_addr).
    static IpAddress fromV6Bytes(const std::array<std::uint8_t, 16>& bytes);

    constexpr Family family() const { return family_; }
    constexpr bool isV4() const { return family_ == Family::V4; }

    // The IPv4 address number; for an IPv6 address its low 32 bits.
    constexpr std::uint32_t v4() const { return static_cast<std::uint32_t>(number_.lo); }
    // The IPv6 number; for an IPv4 address its ::ffff:a.b.c.d form.
    constexpr Ipv6Number v6() const { return number_; }
    // v6() as 16 bytes in network order (an in6_addr).
    std::array<std::uint8_t, 16> v6Bytes() const;

    // The IPv4 address this one stands for: itself, or a.b.c.d for ::ffff:a.b.c.d (which the
    // subnet list checks as a.b.c.d). Nothing for any other IPv6 address.
    constexpr std::optional<IpAddress> ipv4() const {
        if (isV4() || isIpv4Mapped(number_)) {
            return fromV4(v4());
        }
        return std::nullopt;
    }

    friend constexpr bool operator==(const IpAddress&, const IpAddress&) = default;

  private:
    constexpr IpAddress(Family family, Ipv6Number number) : number_(number), family_(family) {}

    Ipv6Number number_{0, kMappedBits};
    Family family_ = Family::V4;
};

// Reads one address. IPv4 as ipToNumber reads it (a tail, "/" included, is ignored); IPv6
// whole: the address, an optional zone, and nothing after. On false address is unchanged.
bool parseIp(std::string_view text, IpAddress& address);

// The display text: dotted decimal for IPv4 (which a caller may rather show as typed), RFC
// 5952 for IPv6: lower case, no leading zeros, the longest run of two or more zero groups
// (the first of equal runs) as "::", and ::ffff:a.b.c.d with its dotted tail.
std::string formatIp(const IpAddress& address);
// The same, appended to out.
void appendIp(std::string& out, const IpAddress& address);

// An IPv6 subnet of nets.txt: its first address, on its prefix boundary, and its prefix.
struct Ipv6Net {
    Ipv6Number first;
    std::uint32_t heading = 0;  // as clsNet::heading
    std::uint8_t prefix = 128;

    Ipv6Number last() const;
};

// What a range text stands for: an IPv4 range (one written as ::ffff:a.b.c.d included) or an
// IPv6 one. Only the fields of its family are set.
struct IpRange {
    IpAddress::Family family = IpAddress::Family::V4;
    clsNet v4;
    Ipv6Net v6;
};

// Reads an address or range of either family, as checkIp and nets.txt do. IPv4: exactly
// parseNet. IPv6: the address, an optional zone, an optional "/" and one or more digits (a
// prefix above 128 is unusable and counts as 128), the start taken down to the prefix
// boundary; then the end of the text, or, with noteAllowed (a nets.txt line), a space or tab
// and anything. ::ffff: texts are the IPv4 ranges whose mapped forms they hold: prefix
// 96 + p is a.b.c.d/p, and a prefix below 96 holds all of IPv4. On false range is unchanged.
bool parseIpRange(std::string_view text, IpRange& range, bool noteAllowed = false);

// Whether the address lies in one of IANA's special-purpose ranges that no country
// database can place: private and unique-local, loopback, link-local, shared address
// space, documentation, benchmarking, multicast, reserved and the like. An IPv4 address
// written in IPv6 is judged as the IPv4 address.
bool isSpecialPurpose(const IpAddress& address);

}  // namespace netsorter
