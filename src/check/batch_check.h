// The check of many addresses in a row, as a log or a list brings them: the same results
// as checkAddress, made without allocating for the plainest and commonest of them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

namespace netsorter {

// An IPv4 address written as four decimal numbers (0 to 255, no leading zeros), checked
// without a name lookup, is answered from the loaded tables alone, with the text of each
// country and owner made once. Anything else goes through checkAddress.
//
// One checker per thread. Checkers on several threads may share the engines while nothing
// loads them: they are made on the thread that loaded (which readies the lookups for
// sharing), and each takes shared, when given, around everything that is not a plain
// table lookup (names, legacy files, damage), so those run one at a time.
class BatchChecker {
  public:
    BatchChecker(Engines& engines, CheckOptions options, std::mutex* shared = nullptr);

    // Checks address (blanks around it are dropped) into result, whose texts' storage is
    // reused.
    void check(std::string_view address, CheckResult& result);

  private:
    bool checkPlain(std::string_view address, CheckResult& result);
    const std::string& countryOf(std::uint32_t key, const IpAddress& address);

    Engines& engines_;
    CheckOptions options_;
    std::mutex* shared_;
    // The databases as they were when the checker was made.
    std::shared_ptr<CountrySource> countries_;
    std::shared_ptr<const MmdbOwners> owners_;
    // By the country source's answer key and by the owner's key; nothing yet where unseen.
    std::vector<std::optional<std::string>> countryTexts_;
    std::vector<std::optional<std::string>> ownerTexts_;
};

// The value of a plain IPv4 text as BatchChecker takes it; nothing for any other text.
std::optional<std::uint32_t> plainIpv4(std::string_view text);

}  // namespace netsorter
