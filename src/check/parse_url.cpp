#include "check/parse_url.h"

#include <optional>

#include "common/text.h"
#include "nets/net_checker.h"

namespace netsorter {
namespace {

constexpr size_t npos = std::string_view::npos;

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isControlOrBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 || u == 0x7F;
}

bool isPort(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The length of "scheme://" at the start of address, or 0.
size_t schemeLength(std::string_view address) {
    if (address.empty() || !isLetter(address[0])) {
        return 0;
    }
    size_t i = 1;
    while (i < address.size() && (isLetter(address[i]) || isDigit(address[i]) ||
                                  address[i] == '+' || address[i] == '-' || address[i] == '.')) {
        ++i;
    }
    return address.substr(i).starts_with("://") ? i + 3 : 0;
}

// A "%" without two hex digits stays a "%": zone ids are often written unescaped.
std::string percentDecoded(std::string_view host) {
    std::string out;
    out.reserve(host.size());
    for (size_t i = 0; i < host.size(); ++i) {
        const int high = host[i] == '%' && i + 2 < host.size() ? hexValue(host[i + 1]) : -1;
        const int low = high < 0 ? -1 : hexValue(host[i + 2]);
        if (low < 0) {
            out += host[i];
            continue;
        }
        const char byte = static_cast<char>(high * 16 + low);
        // Text shown in a box and asked of a resolver: no escaped blanks or controls, no
        // broken UTF-8.
        if (isControlOrBlank(byte)) {
            return std::string(host);
        }
        out += byte;
        i += 2;
    }
    return isValidUtf8(out) ? out : std::string(host);
}

// The host of the authority that follows a scheme's "//".
std::string authorityHost(std::string_view rest) {
    size_t end = 0;
    while (end < rest.size() && rest[end] != '/' && rest[end] != '?' && rest[end] != '#' &&
           !isControlOrBlank(rest[end])) {
        ++end;
    }
    std::string_view authority = rest.substr(0, end);
    if (const size_t at = authority.rfind('@'); at != npos) {
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with('[')) {
        const size_t close = authority.find(']');
        return close == npos ? std::string() : percentDecoded(authority.substr(1, close - 1));
    }
    return percentDecoded(authority.substr(0, authority.find(':')));
}

// The host that a scheme-less address's first piece names, if it names one.
std::optional<std::string> pieceHost(std::string_view piece) {
    if (piece.starts_with('[')) {
        const size_t close = piece.find(']');
        if (close == npos) {
            return std::nullopt;
        }
        const std::string_view after = piece.substr(close + 1);
        if (after.empty() || (after[0] == ':' && isPort(after.substr(1)))) {
            return percentDecoded(piece.substr(1, close - 1));
        }
        return std::nullopt;
    }
    const size_t colon = piece.find(':');
    if (colon == npos) {
        return piece.empty() ? std::nullopt : std::optional<std::string>(piece);
    }
    if (colon > 0 && isPort(piece.substr(colon + 1))) {
        return std::string(piece.substr(0, colon));
    }
    return std::nullopt;
}

std::string ipOrName(std::string host, std::string& domain) {
    if (clsNetChecker::isIp(host)) {
        domain.clear();
        return host;
    }
    domain = std::move(host);
    return domain;
}

}  // namespace

std::string parseUrl(std::string_view address, std::string& domain) {
    if (const size_t scheme = schemeLength(address)) {
        domain = authorityHost(address.substr(scheme));
        return domain;
    }
    const size_t first = address.find('/');
    if (std::optional<std::string> host = pieceHost(address.substr(0, first))) {
        return ipOrName(std::move(*host), domain);
    }
    const size_t second = first == npos ? npos : address.find('/', first + 1);
    if (second == npos) {
        return ipOrName(std::string(address.substr(0, first)), domain);
    }
    const size_t third = address.find('/', second + 1);
    domain = std::string(address.substr(second + 1, third == npos ? npos : third - second - 1));
    return domain;
}

}  // namespace netsorter
