// The check of one address, from its text to the five results, written once for every
// front end: the window, the command-line tool, the browsers' host and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "check/engines.h"
#include "common/problem.h"
#include "common/yield.h"

namespace netsorter {

inline constexpr const char* kChecking = "<проверка...>";
inline constexpr const char* kNotChecked = "<не проверялось ...>";
inline constexpr const char* kNoDomain = "<Доменное имя отсутсвует>";
inline constexpr const char* kWrongIp = "<неправильный IP>";
inline constexpr const char* kNoIp = "<IP-адрес отсутсвует>";
inline constexpr const char* kNoCountryForNoIp = "<страна не определена>";
inline constexpr const char* kCountryUnknown = "<не удалось определить страну>";
inline constexpr const char* kNoOwnerForNoIp = "<владелец не определен>";
inline constexpr const char* kOwnerUnknown = "<не удалось определить владельца>";

// The owner of the address's network as the owner database tells it.
struct OwnerFound {
    std::optional<std::uint32_t> asNumber;
    std::string organisation;  // empty when the database names none
    std::string network;       // the database's network of the address: 8.8.8.0/24
};

// The outcome of one check: a result or a placeholder in each field.
struct CheckResult {
    std::string domain;
    std::string ip;
    std::string traffic;
    std::string country;
    // "AS15169 Google LLC", or a placeholder; what it is made of, when the database answered.
    std::string owner;
    std::optional<OwnerFound> ownerFound;
};

enum class CheckField { Domain, Ip, Traffic, Country, Owner };

struct CheckOptions {
    // The name of a dotted address is looked up; otherwise its domain is kNotChecked.
    bool reverseLookup = true;
    // Turns for events while the lookups work; a whole other check may run in one.
    Yield yield;
    // Each field as soon as it is known: domain, then traffic, ip, country and owner.
    std::function<void(CheckField, const std::string&)> onField;
    // A failure the user must hear of when it happens (a damaged database, a resolver
    // failure); the check goes on with what it has.
    std::function<void(const Problem&)> onProblem;
};

// The country text of a description "f1<TAB>f2<TAB>f3<TAB>...": "f3 (f1)" with four fields
// or more, else f1.
std::string countryText(std::string_view description);

// What the country field shows for a lookup's answer.
std::string countryShown(const CountryLookup& country);

// Checks an address (a URL, a host name or an IPv4 text; blanks around it are dropped).
CheckResult checkAddress(std::string_view address, Engines& engines,
                         const CheckOptions& options = {});

}  // namespace netsorter
