// --summary: counts of the addresses checked by traffic type, country and owner, instead of
// one row each. One counter per distinct name, never the rows, so memory stays flat; the
// counts of several runs add up line by line (same groups and names), so the parts of a
// log split over machines sum to the whole.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "check/check.h"
#include "cli/output.h"

namespace netsorter::cli {

class Summary {
  public:
    void add(const CheckResult& result);
    // Adds the counts of another summary.
    void merge(const Summary& other);
    // TSV: group<TAB>name<TAB>count lines (traffic, country, owner, then total), each group
    // by count descending, then name; JSON: one object of the same groups; text: a table.
    std::string format(Format how) const;

  private:
    std::unordered_map<std::string, std::uint64_t> traffic_, country_, owner_;
    std::uint64_t total_ = 0;
};

}  // namespace netsorter::cli
