#include "check/engines.h"

#include "common/files.h"
#include "common/text.h"

namespace netsorter {
namespace {

// IPv6 addresses are looked up in the IPv6 edition of the legacy database, found by this
// name beside GeoIP.dat (or beside the legacy database the user chose).
constexpr const char* kIpv6DataFile = "GeoIPv6.dat";

std::string besideFile(const std::string& path, const char* name) {
#ifdef _WIN32
    const std::size_t cut = path.find_last_of("/\\");
#else
    const std::size_t cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? name : path.substr(0, cut + 1) + name;
}

}  // namespace

Engines::Engines(std::string dataDir, std::unique_ptr<NameResolver> resolver)
    : dataDir_(std::move(dataDir)),
      geo_(dataDir_),
      resolver_(resolver ? std::move(resolver) : std::make_unique<mdlNET>()) {}

LoadReport Engines::load(const LoadOptions& options) {
    LoadReport report;
    const auto attempt = [](FileLoad& file, const Status& status) {
        file.attempted = true;
        file.loaded = status.ok();
        file.reason = status.reason();
    };

    report.nets.path = fullName(dataDir_, "nets.txt");
    std::string bytes;
    std::string reason;
    const bool read = readWholeFile(report.nets.path, bytes, reason);
    attempt(report.nets, read ? Status::success() : Status::failure(reason));
    if (!read) {
        return report;
    }
    nets_.add_nets(decodeText(bytes), options.yield);
    std::string().swap(bytes);

    report.countries.path = fullName(dataDir_, "countries.txt");
    if (!geo_.CountriesIsOK()) {
        attempt(report.countries,
                geo_.openCountriesFile("countries.txt", options.askToGoOn, options.yield));
    }
    if (!geo_.DataFileOk()) {
        loadDatabase(options, report);
    }
    return report;
}

void Engines::loadDatabase(const LoadOptions& options, LoadReport& report) {
    const auto tryOpen = [&](const std::string& path) {
        const Status chosen = chooseCountryDatabase(path, options.access);
        if (chosen) {
            report.database = {path, true, true, {}};
        } else {
            report.refused.push_back({path, true, false, chosen.reason()});
        }
        return chosen.ok();
    };
    if (!options.countryDatabase.empty()) {
        if (tryOpen(options.countryDatabase)) {
            return;
        }
        report.choiceRefused = true;
    }
    for (const std::string& path : mmdbFilesNewestFirst(dataDir_)) {
        if (tryOpen(path)) {
            return;
        }
    }
    report.database.path = fullName(dataDir_, "GeoIP.dat");
    const Status opened = geo_.openDataFile("GeoIP.dat", options.access, kIpv6DataFile);
    report.database = {report.database.path, true, opened.ok(), opened.reason()};
}

Status Engines::chooseCountryDatabase(const std::string& path, GeoAccess access) {
    std::string reason;
    std::optional<CountryDatabase> opened = openCountryDatabase(
        path, access, Provenance::Chosen, reason, besideFile(path, kIpv6DataFile));
    if (!opened) {
        return Status::failure(reason);
    }
    geo_.useDatabase(std::move(*opened));
    return Status::success();
}

void Engines::loadBytes(std::string_view nets, std::optional<std::string_view> countries,
                        std::optional<std::string_view> database) {
    nets_.add_nets(decodeText(nets));
    if (countries) {
        geo_.loadCountries(*countries, fullName(dataDir_, "countries.txt"));
    }
    if (database) {
        geo_.useSource(LegacyCountryDatabase::fromBytes(*database));
    }
}

}  // namespace netsorter
