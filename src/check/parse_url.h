// Address splitting: finds in an address the host name to resolve or the IP text to use as it
// is. Nothing is lower-cased.
//
// A link with a scheme (a letter, then letters, digits, "+", "-" or "."; then "://") gives the
// host of its authority, which ends at "/", "?", "#", a blank or a control character. User
// information up to the authority's last "@" and a port after the host's ":" are dropped; a
// host in "[...]" (an IPv6 literal) is the text inside the brackets, and an unclosed bracket
// gives no host. Percent escapes in the host are decoded when they give UTF-8 text without
// blanks or control characters ("%25" in a zone id becomes "%"); else the host stays as
// written. Such a host is always a name to resolve, a dotted address too.
//
// Without a scheme, the piece before the first "/" is the host when it is
// - "[...]", alone or followed by ":" and digits: the text inside, decoded as above;
// - "host:port", its one colon followed by digits only: the text before the colon;
// - not empty and without a colon, whatever follows the slash.
// That host is the IP text when isIp accepts it, else a name.
//
// Every other text (an empty first piece as in "//host", two colons or more as in a bare IPv6
// address, one colon not followed by a port as in "mailto:x@y" or an unknown "x_y://host") is
// cut at slashes: with two slashes or more the host is the text between the second and the
// third; else the first piece is the IP text when isIp accepts it, else a name.
#pragma once

#include <string>
#include <string_view>

namespace netsorter {

// Answers the IP text and fills domain with the host name; when domain is not empty the
// answer is the same text. Both are empty when the address holds no host. address is already
// trimmed of blanks.
std::string parseUrl(std::string_view address, std::string& domain);

}  // namespace netsorter
