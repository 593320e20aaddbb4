#include "check/extract.h"

namespace netsorter {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isWordChar(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Whether an address may start at `at`: not glued to a word, a dotted run or a colon run,
// and not after a single "/" (a path or a version; "//" is a link's host).
bool startsFree(std::string_view line, std::size_t at) {
    if (at == 0) {
        return true;
    }
    const char before = line[at - 1];
    if (isWordChar(before) || before == '.' || before == ':') {
        return false;
    }
    return before != '/' || (at >= 2 && line[at - 2] == '/');
}

// Four numbers 0-255, one to three digits each, separated by single dots.
bool isDottedQuad(std::string_view text) {
    int parts = 0;
    std::size_t digits = 0;
    int value = 0;
    for (const char c : text) {
        if (c == '.') {
            if (digits == 0) {
                return false;
            }
            ++parts;
            digits = 0;
            value = 0;
        } else if (++digits > 3 || (value = value * 10 + (c - '0')) > 255) {
            return false;
        }
    }
    return digits > 0 && parts == 3;
}

}  // namespace

std::vector<FoundAddress> findAddresses(std::string_view line) {
    std::vector<FoundAddress> found;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (!(isHex(c) || c == ':') || !startsFree(line, i)) {
            // Past the rest of a word or a run, so nothing is found inside it.
            ++i;
            while (i < line.size() && (isWordChar(line[i]) || line[i] == '.' || line[i] == ':') &&
                   !startsFree(line, i)) {
                ++i;
            }
            continue;
        }
        // The longest run an address could be: hex digits, colons and dots.
        std::size_t end = i;
        std::size_t colons = 0;
        while (end < line.size() && (isHex(line[end]) || line[end] == ':' || line[end] == '.')) {
            colons += line[end] == ':';
            ++end;
        }
        if (colons >= 2) {
            std::size_t stop = end;
            // A sentence's full stop or colon after it is no part of it ("::" is).
            while (stop > i &&
                   (line[stop - 1] == '.' ||
                    (line[stop - 1] == ':' && !(stop - i >= 2 && line[stop - 2] == ':')))) {
                --stop;
            }
            if (stop == end && end < line.size() && line[end] == '%') {
                std::size_t zone = end + 1;
                while (zone < line.size() &&
                       (isWordChar(line[zone]) || line[zone] == '-' || line[zone] == '.')) {
                    ++zone;
                }
                if (zone > end + 1) {
                    stop = zone;
                    end = zone;
                }
            }
            const std::string_view text = line.substr(i, stop - i);
            IpAddress address;
            if ((stop == line.size() || !isWordChar(line[stop])) && parseIp(text, address) &&
                !address.isV4()) {
                found.push_back({text, address});
                i = end;
                continue;
            }
        }
        if (isDigit(c)) {
            // The dotted run from here: an IPv4 address only when it is exactly four numbers.
            std::size_t stop = i;
            while (stop < line.size() && (isDigit(line[stop]) || line[stop] == '.')) {
                ++stop;
            }
            std::size_t last = stop;
            if (line[last - 1] == '.') {
                --last;  // a full stop after it
            }
            const std::string_view text = line.substr(i, last - i);
            const bool freeAfter = stop == line.size() || !isWordChar(line[stop]);
            IpAddress address;
            if (freeAfter && isDottedQuad(text) && parseIp(text, address)) {
                found.push_back({text, address});
            }
        }
        i = end;
    }
    return found;
}

}  // namespace netsorter
