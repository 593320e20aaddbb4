// Where the databases are fetched from: sources.txt, one line per database, four fields
// separated by tabs: the kind (country or owner), the URL of the file, the URL of its
// SHA-256 list (as sha256sum writes one) and the attribution to show. Blank lines and lines
// starting with # are comments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/engines.h"
#include "common/problem.h"

namespace netsorter::update {

struct Source {
    DatabaseKind kind = DatabaseKind::Country;
    std::string url;
    std::string listUrl;
    std::string attribution;
    std::string fileName;  // the last part of the URL: the name the download is kept under
    int line = 0;
};

struct Sources {
    std::vector<Source> sources;
    // Each bad line, named with its number; the good lines still count.
    std::vector<std::string> bad;
};

// The sources of a sources file's text; path names it in the reasons.
Sources parseSources(std::string_view text, const std::string& path);

// Why a URL may not be fetched: only https, with the system's certificate checks, except
// plain http to a loopback address (a test, a local mirror). Nothing when it may.
std::optional<std::string> refusedUrl(std::string_view url);

// The kind's name in sources.txt and in the tool's output.
const char* kindName(DatabaseKind kind);

// The digest that a SHA-256 list (lines of 64 hex digits, two blanks or " *", a name) gives
// for name, in lower case; nothing when no line names it.
std::optional<std::string> digestFor(std::string_view list, std::string_view name);

}  // namespace netsorter::update
