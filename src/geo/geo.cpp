#include "geo/geo.h"

#include "common/files.h"
#include "common/text.h"
#include "nets/ip_address.h"

namespace netsorter {

clsGeo::clsGeo(std::string dataDir) : dataDir_(std::move(dataDir)) {}

Status clsGeo::openDataFile(std::string_view FileName, GeoAccess access,
                            std::string_view ipv6FileName) {
    Status status = Status::success();
    const std::string path = fullName(dataDir_, FileName);
    std::unique_ptr<LegacyCountryDatabase> legacy =
        LegacyCountryDatabase::open(path, access, status);
    std::string ipv6Path = ipv6FileName.empty() ? "" : fullName(dataDir_, ipv6FileName);
    if (!legacy || ipv6Path.empty() || !legacy->openIpv6(ipv6Path)) {
        ipv6Path.clear();
    }
    database_ = {std::move(legacy), path, std::string(FileName), {}, std::move(ipv6Path)};
    return status;
}

Status clsGeo::openCountriesFile(std::string_view FileName, const AskToGoOn& ask,
                                 const Yield& yield) {
    const std::string path = fullName(dataDir_, FileName);
    names_.create();
    std::string bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        return Status::failure(reason);
    }
    return loadCountries(bytes, path, ask, yield);
}

Status clsGeo::loadCountries(std::string_view bytes, const std::string& path, const AskToGoOn& ask,
                             const Yield& yield) {
    return names_.load(decodeText(bytes), path, ask, yield);
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
