#include "check/batch_check.h"

#include "common/text.h"

namespace netsorter {

std::optional<std::uint32_t> plainIpv4(std::string_view text) {
    if (text.size() < 7 || text.size() > 15) {
        return std::nullopt;
    }
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto digit = [&end](const char* p) {
        return p != end ? static_cast<unsigned>(*p - '0') : 10u;
    };
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at == end || *at++ != '.')) {
            return std::nullopt;
        }
        unsigned number = digit(at);
        if (number > 9) {
            return std::nullopt;
        }
        ++at;
        // Up to two more digits, after anything but a leading zero.
        for (int more = 0; more < 2 && digit(at) <= 9; ++more) {
            if (number == 0) {
                return std::nullopt;
            }
            number = number * 10 + digit(at++);
        }
        if (number > 255) {
            return std::nullopt;
        }
        value = value << 8 | number;
    }
    if (at != end) {
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

void BatchChecker::prefetch(std::uint32_t ipv4, PrefetchStep step) const {
    engines_.nets().prefetch(ipv4, step);
    if (countries_) {
        countries_->prefetch(ipv4, step);
    }
    if (owners_) {
        owners_->prefetch(ipv4, step);
    }
}

void BatchChecker::check(std::string_view address, CheckResult& result) {
    const std::string_view trimmed = trimWhitespace(address);
    PlainAnswer answer;
    if (const std::optional<std::uint32_t> value = plainIpv4(trimmed);
        !value || !answerPlain(*value, answer)) {
        const std::unique_lock<std::mutex> lock = oneAtATime();
        result = checkAddress(address, engines_, options_);
        return;
    }
    result.domain.assign(kNotChecked);
    result.ip.assign(trimmed);
    result.traffic.assign(*answer.traffic);
    result.country.assign(*answer.country);
    if (!answer.owner) {
        result.owner.assign(kOwnerUnknown);
        result.ownerFound.reset();
        return;
    }
    result.owner.clear();
    appendOwnerText(result.owner, answer.owner->asNumber, answer.owner->organisation);
    if (!result.ownerFound) {
        result.ownerFound.emplace();
    }
    OwnerFound& found = *result.ownerFound;
    found.asNumber = answer.owner->asNumber;
    found.organisation.assign(answer.owner->organisation);
    found.network.clear();
    answer.owner->appendNetworkText(found.network);
}

std::unique_lock<std::mutex> BatchChecker::oneAtATime() const {
    return shared_ ? std::unique_lock(*shared_) : std::unique_lock<std::mutex>();
}

const std::string& BatchChecker::countryOf(std::uint32_t key, const IpAddress& address) {
    if (key >= countryTexts_.size()) {
        countryTexts_.resize(key + 1);
    }
    std::optional<std::string>& text = countryTexts_[key];
    if (!text) {
        // The first address of each answer asks the whole way, names table included.
        const std::unique_lock<std::mutex> lock = oneAtATime();
        const CountryLookup lookup = engines_.geo().getCountryByIP(address, options_.yield);
        if (lookup.damaged && options_.onProblem) {
            options_.onProblem(*lookup.damaged);
        }
        text = countryShown(lookup);
    }
    return *text;
}

bool BatchChecker::answerPlain(std::uint32_t ipv4, PlainAnswer& answer) {
    if (options_.reverseLookup || options_.onField) {
        return false;
    }
    static const std::string unknownCountry = kCountryUnknown;
    const IpAddress ip = IpAddress::fromV4(ipv4);
    // The legacy file, which is read address by address, has no keys.
    const std::uint32_t key = countries_ ? countries_->answerKey(ip) : 0;
    if (countries_ && key == 0) {
        return false;
    }
    answer.traffic = &engines_.nets().checkIp(ip);
    // The lookup passes over the special-purpose ranges, whatever the source's key: they
    // share one answer of their own, in the slot no key uses.
    answer.countrySlot = isSpecialPurpose(ip) ? 0 : key;
    answer.country = countries_ ? &countryOf(answer.countrySlot, ip) : &unknownCountry;
    answer.owner = owners_ ? owners_->owner(ip) : std::nullopt;
    return true;
}

}  // namespace netsorter
