#include "check/batch_check.h"

#include "common/text.h"

namespace netsorter {

std::optional<std::uint32_t> plainIpv4(std::string_view text) {
    if (text.size() < 7 || text.size() > 15) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at == text.size() || text[at++] != '.')) {
            return std::nullopt;
        }
        const std::size_t start = at;
        std::uint32_t number = 0;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9') {
            number = number * 10 + static_cast<std::uint32_t>(text[at++] - '0');
        }
        const std::size_t digits = at - start;
        if (digits == 0 || number > 255 || (digits > 1 && text[start] == '0')) {
            return std::nullopt;
        }
        value = value << 8 | number;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return value;
}

BatchChecker::BatchChecker(Engines& engines, CheckOptions options, std::mutex* shared)
    : engines_(engines),
      options_(std::move(options)),
      shared_(shared),
      countries_(engines.geo().database().source),
      owners_(engines.owners().table) {
    // The subnet index is built by the first lookup: here, before any thread shares it.
    engines_.nets().checkIp(IpAddress::fromV4(0));
    engines_.nets().checkIp(IpAddress::fromV6({}));
}

void BatchChecker::check(std::string_view address, CheckResult& result) {
    if (checkPlain(trimWhitespace(address), result)) {
        return;
    }
    std::unique_lock<std::mutex> lock;
    if (shared_) {
        lock = std::unique_lock(*shared_);
    }
    result = checkAddress(address, engines_, options_);
}

const std::string& BatchChecker::countryOf(std::uint32_t key, const IpAddress& address) {
    if (key >= countryTexts_.size()) {
        countryTexts_.resize(key + 1);
    }
    std::optional<std::string>& text = countryTexts_[key];
    if (!text) {
        // The first address of each answer asks the whole way, names table included.
        std::unique_lock<std::mutex> lock;
        if (shared_) {
            lock = std::unique_lock(*shared_);
        }
        const CountryLookup lookup = engines_.geo().getCountryByIP(address, options_.yield);
        if (lookup.damaged && options_.onProblem) {
            options_.onProblem(*lookup.damaged);
        }
        text = countryShown(lookup);
    }
    return *text;
}

bool BatchChecker::checkPlain(std::string_view address, CheckResult& result) {
    if (options_.reverseLookup || options_.onField) {
        return false;
    }
    const std::optional<std::uint32_t> value = plainIpv4(address);
    if (!value) {
        return false;
    }
    const IpAddress ip = IpAddress::fromV4(*value);
    // The legacy file, which is read address by address, has no keys.
    const std::uint32_t key = countries_ ? countries_->answerKey(ip) : 0;
    if (countries_ && key == 0) {
        return false;
    }
    result.domain.assign(kNotChecked);
    result.ip.assign(address);
    result.traffic.assign(engines_.nets().checkIp(ip));
    // The lookup passes over the special-purpose ranges, whatever the source's key: they
    // share one answer of their own, in the slot no key uses.
    if (countries_) {
        result.country.assign(countryOf(isSpecialPurpose(ip) ? 0 : key, ip));
    } else {
        result.country.assign(kCountryUnknown);
    }

    const std::optional<OwnerAnswer> owner = owners_ ? owners_->owner(ip) : std::nullopt;
    if (!owner) {
        result.owner.assign(kOwnerUnknown);
        result.ownerFound.reset();
        return true;
    }
    if (owner->key >= ownerTexts_.size()) {
        ownerTexts_.resize(owner->key + 1);
    }
    std::optional<std::string>& text = ownerTexts_[owner->key];
    if (!text) {
        text = ownerText(owner->asNumber, owner->organisation);
    }
    result.owner.assign(*text);
    if (!result.ownerFound) {
        result.ownerFound.emplace();
    }
    OwnerFound& found = *result.ownerFound;
    found.asNumber = owner->asNumber;
    found.organisation.assign(owner->organisation);
    found.network.clear();
    owner->appendNetworkText(found.network);
    return true;
}

}  // namespace netsorter
