#include "geo/geo.h"

#include "common/files.h"
#include "common/text.h"
#include "nets/ip_address.h"

namespace netsorter {

Status clsGeo::openDataFile(const std::string& path, GeoAccess access,
                            const std::string& ipv6Path) {
    Result<CountryDatabase> opened = openLegacyDatabase(path, access, ipv6Path);
    database_ = opened ? std::move(*opened) : CountryDatabase{};
    return opened.status();
}

Status clsGeo::openCountriesFile(const std::string& path, const AskToGoOn& ask,
                                 const Yield& yield) {
    names_.create();
    const Result<std::string> bytes = readWholeFile(path);
    if (!bytes) {
        return bytes.status();
    }
    return loadCountries(*bytes, path, ask, yield);
}

Status clsGeo::loadCountries(std::string_view bytes, const std::string& path, const AskToGoOn& ask,
                             const Yield& yield) {
    const Result<std::string> text = decodeDataFile(bytes);
    if (!text) {
        names_.create();
        return text.status();
    }
    return names_.load(*text, path, ask, yield);
}

CountryLookup clsGeo::getCountryByIP(std::string_view ipStr, const Yield& yield) {
    IpAddress address;
    if (!parseIp(ipStr, address)) {
        return {};
    }
    return getCountryByIP(address, yield);
}

CountryLookup clsGeo::getCountryByIP(const IpAddress& ip, const Yield& yield) {
    const IpAddress address = ip.ipv4().value_or(ip);
    // This lookup's own database, whatever another event opens while it yields.
    const std::shared_ptr<CountrySource> source = database_.source;
    if (!source || !source->usable() || (source->answersByIndex() && !names_.ok())) {
        return {};
    }
    // A current database's answer for a range no one can place is its data's error (the
    // documentation blocks answer AU and JP in the shipped one); the legacy file keeps its
    // own answers, and has none for them.
    if (!source->answersByIndex() && isSpecialPurpose(address)) {
        return {};
    }
    const CountryAnswer answer = source->countryOf(address, yield);
    CountryLookup lookup;
    if (answer.kind == CountryAnswer::Damaged) {
        lookup.damaged = Problem{Problem::Kind::Warning,
                                 Problem::Subject::CountryDatabase,
                                 database_.path,
                                 {answer.message}};
    } else if (answer.kind == CountryAnswer::Country && !answer.code.empty()) {
        lookup.found = true;
        if (const std::string* description = names_.byCode(answer.code)) {
            lookup.description = *description;
        } else {
            lookup.code = answer.code;
        }
    } else if (answer.kind == CountryAnswer::Country) {
        // The table may have been refused by a load nested in the lookup's turns.
        if (const std::string* description = names_.byIndex(answer.index); description) {
            lookup.found = true;
            lookup.description = *description;
        }
    }
    return lookup;
}

}  // namespace netsorter
