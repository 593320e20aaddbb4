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

// What the check answers a plain IPv4 address, made of texts the checker holds: all a
// writer of rows needs, with nothing copied.
struct PlainAnswer {
    // The list's heading, good while the list is not loaded again.
    const std::string* traffic = nullptr;
    // The country shown, and the checker's number for it: equal numbers, equal texts.
    std::uint32_t countrySlot = 0;
    const std::string* country = nullptr;
    // The owner, when the database names one; shown as ownerText makes it of the number
    // and organisation, else as kOwnerUnknown.
    std::optional<OwnerAnswer> owner;
};

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
    // Answers the plain IPv4 address (plainIpv4's value) when the check needs nothing but
    // the tables for it; false where it must go its whole way (a name lookup asked for, a
    // database read address by address). The texts stay until the next answer.
    bool answerPlain(std::uint32_t ipv4, PlainAnswer& answer);
    // Readies the memory the check of a plain IPv4 address will read: called a few addresses
    // ahead, with the Bucket step further ahead than the Entries one.
    void prefetch(std::uint32_t ipv4, PrefetchStep step) const;

  private:
    // Held around what is not a plain table lookup, when checkers share the engines.
    std::unique_lock<std::mutex> oneAtATime() const;
    const std::string& countryOf(std::uint32_t key, const IpAddress& address);

    Engines& engines_;
    CheckOptions options_;
    std::mutex* shared_;
    // The databases as they were when the checker was made.
    std::shared_ptr<CountrySource> countries_;
    std::shared_ptr<const MmdbOwners> owners_;
    // By the country source's answer key; nothing yet where unseen.
    std::vector<std::optional<std::string>> countryTexts_;
};

// The value of a plain IPv4 text as BatchChecker takes it; nothing for any other text.
std::optional<std::uint32_t> plainIpv4(std::string_view text);

}  // namespace netsorter
