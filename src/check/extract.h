// The IP addresses in running text (log lines: web servers, firewalls, flow records, JSON,
// syslog, X-Forwarded-For), for checking a log rather than a list.
//
// What counts as an address:
// - IPv4: four dotted decimal numbers 0-255 standing alone: not inside a longer dotted run
//   (1.2.3.4.5), not glued to letters, digits or an underscore, and not after a "/" unless
//   after "//" (a link's host, where Chrome/120.0.6099.109 is a version). A port after a
//   colon, brackets, quotes, "for=" and a full stop after it are no part of it.
// - IPv6: a run of hexadecimal digits and colons (with an IPv4 tail in the ::ffff: form,
//   and a zone index after "%") that reads whole as an IPv6 address; in brackets when a
//   port follows. Times (10:15:30) and MAC addresses (00:1a:2b:3c:4d:5e) do not read as one.
// Names and links are not addresses here: a log of millions of lines is not resolved.
#pragma once

#include <string_view>
#include <vector>

#include "nets/ip_address.h"

namespace netsorter {

struct FoundAddress {
    std::string_view text;  // as found in the line: port and brackets dropped, a zone kept
    IpAddress address;
};

// The addresses in line, in the order they stand.
std::vector<FoundAddress> findAddresses(std::string_view line);

}  // namespace netsorter
