// The tool's three output formats of a checked address.
#pragma once

#include <optional>
#include <string>

#include "check/check.h"

namespace netsorter::cli {

enum class Format { Text, Tsv, Json };

// Appends the lines of one checked address to out. The text format names the address only
// withAddress (several addresses); TSV and JSON always do. The text format shows control
// characters as escapes (\n, \t, \x1b, and \\ for the backslash), TSV makes tabs and line
// breaks blanks, JSON escapes as JSON does.
// line, when given, is the number of the input line the address was found in (--extract):
// the last TSV column, the JSON key "line", the text format's last row.
void format(std::string& out, Format how, const std::string& address, const CheckResult& result,
            bool withAddress, std::optional<std::size_t> line = std::nullopt);

}  // namespace netsorter::cli
