// Address splitting: cuts an address at slashes into a host name to resolve or an IPv4
// text to use as it is. Nothing is lower-cased; ports and user parts stay.
#pragma once

#include <string>
#include <string_view>

namespace netsorter {

// Answers the IPv4 text and fills domain with the host name; when domain is not empty the
// answer is the same text. address is already trimmed of blanks.
std::string parseUrl(std::string_view address, std::string& domain);

}  // namespace netsorter
