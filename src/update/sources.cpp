#include "update/sources.h"

#include <cctype>

#include "common/text.h"

namespace netsorter::update {
namespace {

std::vector<std::string_view> split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = line.find(separator);
        fields.push_back(line.substr(0, at));
        if (at == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(at + 1);
    }
}

bool isLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "[::1]") {
        return true;
    }
    // 127.0.0.0/8, written out as four numbers.
    const std::vector<std::string_view> parts = split(host, '.');
    if (parts.size() != 4 || parts[0] != "127") {
        return false;
    }
    for (std::string_view part : parts) {
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoi(std::string(part)) > 255) {
            return false;
        }
    }
    return true;
}

// A name a download may be kept under in the user's folder: no path, nothing hidden.
bool isPlainFileName(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.size() > 200) {
        return false;
    }
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

}  // namespace

const char* kindName(DatabaseKind kind) {
    return kind == DatabaseKind::Country ? "country" : "owner";
}

std::optional<std::string> refusedUrl(std::string_view url) {
    std::string_view rest;
    bool plain = false;
    if (url.starts_with("https://")) {
        rest = url.substr(8);
    } else if (url.starts_with("http://")) {
        rest = url.substr(7);
        plain = true;
    } else {
        return "not an https:// URL: " + std::string(url);
    }
    std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
    if (host.find('@') != std::string_view::npos) {
        host.remove_prefix(host.find('@') + 1);
    }
    if (host.starts_with('[')) {
        host = host.substr(0, host.find(']') + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host.empty()) {
        return "no host in " + std::string(url);
    }
    if (plain && !isLoopbackHost(host)) {
        return "plain http:// is only for this machine's own addresses; use https:// for " +
               std::string(host);
    }
    return std::nullopt;
}

Sources parseSources(std::string_view text, const std::string& path) {
    Sources out;
    int number = 0;
    for (std::string_view line : split(text, '\n')) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (trimSpaces(line).empty() || trimSpaces(line).starts_with('#')) {
            continue;
        }
        const auto bad = [&](const std::string& why) {
            out.bad.push_back(path + " line " + std::to_string(number) + ": " + why);
        };
        const std::vector<std::string_view> fields = split(line, '\t');
        if (fields.size() != 4) {
            bad("4 fields separated by tabs expected, " + std::to_string(fields.size()) + " found");
            continue;
        }
        Source source;
        source.line = number;
        if (fields[0] == "country") {
            source.kind = DatabaseKind::Country;
        } else if (fields[0] == "owner") {
            source.kind = DatabaseKind::Owner;
        } else {
            bad("unknown kind \"" + escaped(fields[0]) + "\" (country or owner)");
            continue;
        }
        source.url = std::string(trimSpaces(fields[1]));
        source.listUrl = std::string(trimSpaces(fields[2]));
        source.attribution = std::string(trimSpaces(fields[3]));
        const std::optional<std::string> refused =
            refusedUrl(source.url) ? refusedUrl(source.url) : refusedUrl(source.listUrl);
        if (refused) {
            bad(*refused);
            continue;
        }
        std::string_view name =
            std::string_view(source.url).substr(0, source.url.find_first_of("?#"));
        name.remove_prefix(name.rfind('/') + 1);
        if (!isPlainFileName(name)) {
            bad("the file's URL does not end in a plain file name: " + escaped(source.url));
            continue;
        }
        source.fileName = std::string(name);
        out.sources.push_back(std::move(source));
    }
    return out;
}

std::optional<std::string> digestFor(std::string_view list, std::string_view name) {
    for (std::string_view line : split(list, '\n')) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() < 66 || line.substr(0, 64).find_first_not_of("0123456789abcdefABCDEF") !=
                                    std::string_view::npos) {
            continue;
        }
        const std::string_view separator = line.substr(64, 2);
        if (separator != "  " && separator != " *") {
            continue;
        }
        // sha256sum writes the name as it was given: a path, when it was one.
        std::string_view listed = line.substr(66);
        listed.remove_prefix(listed.rfind('/') == std::string_view::npos ? 0
                                                                         : listed.rfind('/') + 1);
        if (listed == name) {
            std::string digest(line.substr(0, 64));
            for (char& c : digest) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            return digest;
        }
    }
    return std::nullopt;
}

}  // namespace netsorter::update
