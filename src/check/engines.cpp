#include "check/engines.h"

#include "common/files.h"
#include "common/text.h"

namespace netsorter {

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
        std::string reason;
        if (std::optional<CountryDatabase> opened =
                openCountryDatabase(path, options.access, Provenance::Chosen, reason)) {
            geo_.useDatabase(std::move(*opened));
            report.database = {path, true, true, {}};
            return true;
        }
        report.refused.push_back({path, true, false, reason});
        return false;
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
    const Status opened = geo_.openDataFile("GeoIP.dat", options.access);
    report.database = {report.database.path, true, opened.ok(), opened.reason()};
}

Status Engines::chooseCountryDatabase(const std::string& path, GeoAccess access) {
    std::string reason;
    std::optional<CountryDatabase> opened =
        openCountryDatabase(path, access, Provenance::Chosen, reason);
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
