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
    report.database.path = fullName(dataDir_, "GeoIP.dat");
    if (!geo_.DataFileOk()) {
        attempt(report.database, geo_.openDataFile("GeoIP.dat", options.access));
    }
    return report;
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
