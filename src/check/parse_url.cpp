#include "check/parse_url.h"

#include <array>

#include "nets/net_checker.h"

namespace netsorter {

std::string parseUrl(std::string_view address, std::string& domain) {
    // At most four pieces: the first three end at the first three slashes, the fourth is
    // the whole rest. An empty address gives no piece at all.
    std::array<std::string_view, 4> pieces;
    size_t count = 0;
    if (!address.empty()) {
        size_t start = 0;
        for (size_t slash;
             count < 3 && (slash = address.find('/', start)) != std::string_view::npos;) {
            pieces[count++] = address.substr(start, slash - start);
            start = slash + 1;
        }
        pieces[count++] = address.substr(start);
    }
    if (count >= 3) {
        domain = std::string(pieces[2]);
        return domain;
    }
    if (count == 0) {
        domain.clear();
        return {};
    }
    if (clsNetChecker::isIp(pieces[0])) {
        domain.clear();
        return std::string(pieces[0]);
    }
    domain = std::string(pieces[0]);
    return domain;
}

}  // namespace netsorter
