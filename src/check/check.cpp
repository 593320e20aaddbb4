#include "check/check.h"

#include "check/parse_url.h"
#include "common/text.h"
#include "resolve/idn.h"

namespace netsorter {

std::string countryText(std::string_view description) {
    // Of the tab-separated fields only the first and the third are ever shown.
    const std::string_view d(description);
    const size_t first = d.find('\t');
    const size_t second = first == std::string_view::npos ? first : d.find('\t', first + 1);
    const size_t third = second == std::string_view::npos ? second : d.find('\t', second + 1);
    if (third == std::string_view::npos) {
        return std::string(d.substr(0, first));
    }
    std::string text(d.substr(second + 1, third - second - 1));
    text += " (";
    text += d.substr(0, first);
    text += ')';
    return text;
}

CheckResult checkAddress(std::string_view address, Engines& engines, const CheckOptions& options) {
    CheckResult result;
    const auto known = [&](CheckField field, std::string& slot, std::string text) {
        slot = std::move(text);
        if (options.onField) {
            options.onField(field, slot);
        }
    };
    const auto report = [&](const std::optional<Problem>& problem) {
        if (problem && options.onProblem) {
            options.onProblem(*problem);
        }
    };

    std::string domain;
    std::string ip = parseUrl(trimSpacesView(address), domain);
    if (!domain.empty()) {
        HostAddresses found = engines.resolver().getIpsByName(domain, options.yield);
        report(found.failure);
        ip = found.ips.empty() ? std::string() : std::move(found.ips.front());
    } else if (!ip.empty()) {
        if (options.reverseLookup) {
            HostName found = engines.resolver().getNameByIp(ip);
            report(found.failure);
            // A name the user gave is shown as given; one the resolver answers may be in its
            // "xn--" form, which no one reads.
            domain = displayName(found.name);
        } else {
            domain = kNotChecked;
        }
    }

    known(CheckField::domain, result.domain, domain.empty() ? kNoDomain : domain);
    if (ip.empty()) {
        known(CheckField::traffic, result.traffic, kWrongIp);
        known(CheckField::ip, result.ip, kNoIp);
        known(CheckField::country, result.country, kNoCountryForNoIp);
        return result;
    }
    known(CheckField::traffic, result.traffic, engines.nets().checkIp(ip));
    known(CheckField::ip, result.ip, ip);
    const CountryLookup country = engines.geo().getCountryByIP(ip, options.yield);
    report(country.damaged);
    // A code the names table has no line for is shown as it is; an empty description has
    // nothing to show, just as a failed lookup has not.
    std::string text = kCountryUnknown;
    if (country.found && !country.code.empty()) {
        text = country.code;
    } else if (country.found && !country.description.empty()) {
        text = countryText(country.description);
    }
    known(CheckField::country, result.country, std::move(text));
    return result;
}

}  // namespace netsorter
