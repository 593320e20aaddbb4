// The names table of countries.txt: "key<TAB>description" lines, the description's fields
// "code<TAB>code3<TAB>name<TAB>continent". A GeoIP.dat country index is looked up by its
// plain decimal text (keys compare without regard to letter case); a country code by the
// description's first field, so that a table the user edited names the countries of every
// database alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/problem.h"
#include "common/yield.h"

namespace netsorter {

// A line of countries.txt that cannot be stored: its key is there already, or it has no
// tab (then the key is the whole line).
struct DuplicateLine {
    std::string key;
    std::string path;
    std::size_t line = 0;  // 1-based, counting every line whatever its line end

    // "Дублирующийся номер (key)" and where, asking whether to go on.
    Problem question() const;
};

// Asks the user about such a line: true leaves the line out and goes on, false refuses the
// whole file. The load waits for the answer.
using AskToGoOn = std::function<bool(const DuplicateLine&)>;

class CountryNames {
  public:
    // The table has been loaded whole.
    bool ok() const { return ok_; }

    // Adds the lines of one countries.txt (decoded to UTF-8; path names it in the prompt),
    // with a turn for events after every line. A refused line discards the table; a later
    // load then starts from an empty one. No ask: every such line is left out.
    Status load(std::string_view text, const std::string& path, const AskToGoOn& ask,
                const Yield& yield);
    // The table comes into being, empty, with the first load, even one whose file is missing.
    void create();

    // The description under the plain decimal text of a country index, if any.
    const std::string* byIndex(std::uint32_t index) const;
    // The first description, in the order of the file, whose first field is code (letter
    // case aside), if any.
    const std::string* byCode(std::string_view code) const;

  private:
    // Keys are stored case-folded; absent until the first load and after a refused one.
    std::optional<std::unordered_map<std::string, std::string>> table_;
    // Case-folded first fields to their descriptions in table_, the first line of each.
    std::unordered_map<std::string, const std::string*> byCode_;
    bool ok_ = false;
    // Each index's description, looked up once per change of the table.
    mutable std::array<const std::string*, 256> byIndex_{};
    mutable bool byIndexValid_ = false;
};

}  // namespace netsorter
