// The tool's three output formats of a checked address.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/batch_check.h"
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

// The rows of plain IPv4 addresses as format writes them, from pieces made once per traffic
// type, country and owner: a log's millionth line costs a few copies. One per thread.
class PlainRows {
  public:
    PlainRows(Format how, bool withAddress);

    // address is the plain text the answer is for; first: the run's first result (the text
    // format separates results by an empty line).
    void append(std::string& out, std::string_view address, const PlainAnswer& answer,
                std::optional<std::size_t> line, bool first);

  private:
    const std::string& traffic(const std::string& text);
    const std::string& country(std::uint32_t slot, const std::string& text);
    void appendOwner(std::string& out, const OwnerAnswer* owner);

    Format how_;
    bool withAddress_;
    // Each piece with what separates it from the one before, as the format writes it.
    std::unordered_map<const std::string*, std::string> traffic_;
    std::vector<std::string> countries_;  // by slot; empty: not made yet
    std::string ownerText_;
    std::string afterAddress_;
};

}  // namespace netsorter::cli
