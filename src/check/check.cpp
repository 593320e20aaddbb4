#include "check/check.h"

#include <optional>
#include <vector>

#include "check/parse_url.h"
#include "common/text.h"
#include "resolve/idn.h"

namespace netsorter {

namespace {

// The address a name stands for, as shown: its first IPv4 address, else its first IPv6 one.
std::optional<IpAddress> shownAddress(const std::vector<IpAddress>& addresses) {
    for (const IpAddress& a : addresses) {
        if (a.isV4()) {
            return a;
        }
    }
    if (addresses.empty()) {
        return std::nullopt;
    }
    return addresses.front();
}

// The address of an IP text as the address splitting found it; an IPv6 range (possible in
// brackets) stands for its first address.
bool addressOf(std::string_view text, IpAddress& address) {
    if (parseIp(text, address)) {
        return true;
    }
    IpRange range;
    if (!parseIpRange(text, range)) {
        return false;
    }
    address = range.family == IpAddress::Family::V4
                  ? IpAddress::fromV4(static_cast<std::uint32_t>(range.v4.firstIp))
                  : IpAddress::fromV6(range.v6.first);
    return true;
}

// The zone of an IPv6 text ("%eth0"), which lookups do without but the user may want to see.
std::string zoneOf(std::string_view text) {
    const size_t percent = text.find('%');
    if (percent == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(percent, text.find('/', percent) - percent));
}

}  // namespace

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

std::string countryShown(const CountryLookup& country) {
    // A code the names table has no line for is shown as it is; an empty description has
    // nothing to show, just as a failed lookup has not.
    if (country.found && !country.code.empty()) {
        return country.code;
    }
    if (country.found && !country.description.empty()) {
        return countryText(country.description);
    }
    return kCountryUnknown;
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
    // A copied line often ends in a line end: whitespace around any address is dropped.
    std::string ip = parseUrl(trimWhitespace(address), domain);
    IpAddress parsed;
    // A link's IPv6 address with a zone is the bare address: the system resolver would read
    // the zone by this machine's interface names.
    if (!domain.empty() && domain.find('%') != std::string::npos && parseIp(domain, parsed)) {
        ip = std::move(domain);
        domain.clear();
    }
    if (!domain.empty()) {
        const HostAddresses found = engines.resolver().getIpsByName(domain, options.yield);
        report(found.failure);
        ip.clear();
        if (const std::optional<IpAddress> first = shownAddress(found.ips)) {
            parsed = *first;
            ip = formatIp(parsed);
        }
    } else if (!ip.empty() && !addressOf(ip, parsed)) {
        ip.clear();
    } else if (!ip.empty()) {
        // An IPv4 address is shown as it was written; an IPv6 one as RFC 5952 writes it.
        if (!parsed.isV4()) {
            ip = formatIp(parsed) + zoneOf(ip);
        }
        if (options.reverseLookup) {
            // The name of the address that was read, whatever another reader would make
            // of its text (a leading zero is no octal here).
            HostName found = engines.resolver().getNameByIp(parsed.ipv4().value_or(parsed));
            report(found.failure);
            // A name the user gave is shown as given; one the resolver answers may be in its
            // "xn--" form, which no one reads.
            domain = displayName(found.name);
        } else {
            domain = kNotChecked;
        }
    }

    known(CheckField::Domain, result.domain, domain.empty() ? kNoDomain : domain);
    if (ip.empty()) {
        known(CheckField::Traffic, result.traffic, kWrongIp);
        known(CheckField::Ip, result.ip, kNoIp);
        known(CheckField::Country, result.country, kNoCountryForNoIp);
        known(CheckField::Owner, result.owner, kNoOwnerForNoIp);
        return result;
    }
    known(CheckField::Traffic, result.traffic, engines.nets().checkIp(parsed));
    known(CheckField::Ip, result.ip, ip);
    const CountryLookup country = engines.geo().getCountryByIP(parsed, options.yield);
    report(country.damaged);
    known(CheckField::Country, result.country, countryShown(country));

    // The table stays with this check even if another database is chosen meanwhile.
    const std::shared_ptr<const MmdbOwners> owners = engines.owners().table;
    const IpAddress asked = parsed.ipv4().value_or(parsed);
    std::string ownerShown = kOwnerUnknown;
    if (const std::optional<OwnerAnswer> owner = owners ? owners->owner(asked) : std::nullopt) {
        result.ownerFound =
            OwnerFound{owner->asNumber, std::string(owner->organisation), owner->networkText()};
        ownerShown = ownerText(owner->asNumber, owner->organisation);
    }
    known(CheckField::Owner, result.owner, std::move(ownerShown));
    return result;
}

}  // namespace netsorter
