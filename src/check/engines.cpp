#include "check/engines.h"

#include "common/files.h"
#include "common/text.h"

namespace netsorter {
namespace {

// The data files by the names the program looks for them under, in the data directory.
constexpr const char* kNetsFile = "nets.txt";
constexpr const char* kCountriesFile = "countries.txt";
// The country database taken by its name when no .mmdb answers.
constexpr const char* kLegacyCountryFile = "GeoIP.dat";
// IPv6 addresses are looked up in the IPv6 edition of the legacy database, found by this
// name beside GeoIP.dat (or beside the legacy database the user chose).
constexpr const char* kLegacyIpv6File = "GeoIPv6.dat";

std::string besideFile(const std::string& path, const char* name) {
    return path.substr(0, path.size() - fileName(path).size()) + name;
}

void attempt(FileLoad& file, const Status& status) {
    file.attempted = true;
    file.loaded = status.ok();
    file.reason = status.reason();
}

}  // namespace

Engines::Engines(std::string dataDir, std::unique_ptr<NameResolver> resolver)
    : dataDir_(std::move(dataDir)),
      resolver_(resolver ? std::move(resolver) : std::make_unique<mdlNET>()) {}

LoadReport Engines::load(const LoadOptions& options) {
    LoadReport report;
    report.nets.path = fullName(dataDir_, kNetsFile);
    {
        Result<std::string> text = readWholeFile(report.nets.path);
        if (text) {
            text = decodeDataFile(*text);
        }
        attempt(report.nets, text.status());
        if (!text) {
            return report;
        }
        nets_.add_nets(*text, options.yield);
    }

    report.countries.path = fullName(dataDir_, kCountriesFile);
    if (!geo_.CountriesIsOK()) {
        attempt(report.countries, loadCountries(report.countries.path, options));
    }
    loadDatabases(options, report);
    return report;
}

void Engines::loadDatabases(const LoadOptions& options, LoadReport& report) {
    cacheDir_ = options.cacheDir;
    if (!geo_.DataFileOk()) {
        loadDatabase(DatabaseKind::Country, options,
                     report.databases[static_cast<std::size_t>(DatabaseKind::Country)]);
    }
    if (!owners_.table) {
        loadDatabase(DatabaseKind::Owner, options,
                     report.databases[static_cast<std::size_t>(DatabaseKind::Owner)]);
    }
}

Status Engines::loadCountries(const std::string& path, const LoadOptions& options) {
    return geo_.openCountriesFile(path, options.askToGoOn, options.yield);
}

void Engines::loadDatabase(DatabaseKind kind, const LoadOptions& options, DatabaseLoad& report) {
    const std::string& chosen = options.chosen[static_cast<std::size_t>(kind)];
    const auto tryOpen = [&](const std::string& path, Provenance provenance) {
        const Status opened = openDatabase(kind, path, provenance, options.access);
        FileLoad file{path, true, opened.ok(), opened.reason()};
        if (opened) {
            report.answering = std::move(file);
        } else if (!isUnrecognised(opened) || provenance == Provenance::ByName || path == chosen) {
            report.refused.push_back(std::move(file));
        }
        return opened.ok();
    };
    if (!chosen.empty()) {
        if (tryOpen(chosen, Provenance::Chosen)) {
            return;
        }
        report.choiceRefused = true;
    }
    for (const std::string& path : mmdbFilesNewestFirst({downloadDir_, dataDir_})) {
        if (path != chosen && tryOpen(path, Provenance::Chosen)) {
            return;
        }
    }
    if (kind == DatabaseKind::Owner) {
        return;  // no database by name: without an owner database no owner is shown
    }
    // The last in line is reported as the one that answers not, rather than as refused.
    if (!tryOpen(fullName(dataDir_, kLegacyCountryFile), Provenance::ByName)) {
        report.answering = std::move(report.refused.back());
        report.refused.pop_back();
    }
}

Status Engines::openDatabase(DatabaseKind kind, const std::string& path, Provenance provenance,
                             GeoAccess access) {
    if (kind == DatabaseKind::Owner) {
        Result<OwnerDatabase> opened = openOwnerDatabase(path, cacheDir_);
        if (!opened) {
            return opened.status();
        }
        owners_ = std::move(*opened);
        return Status::success();
    }
    // The IPv6 edition chosen stands for the legacy pair of its folder: GeoIP.dat answers
    // IPv4 addresses, and it IPv6 ones.
    const bool ipv6Edition = foldCase(fileName(path)) == foldCase(kLegacyIpv6File);
    Result<CountryDatabase> opened =
        ipv6Edition ? openCountryDatabase(besideFile(path, kLegacyCountryFile), access,
                                          Provenance::ByName, path, cacheDir_)
                    : openCountryDatabase(path, access, provenance,
                                          besideFile(path, kLegacyIpv6File), cacheDir_);
    if (!opened) {
        if (provenance == Provenance::ByName) {
            // No database is better than the one before it: GeoIP.dat is the last in line.
            geo_.useDatabase({});
        }
        return opened.status();
    }
    geo_.useDatabase(std::move(*opened));
    return Status::success();
}

Status Engines::chooseDatabase(DatabaseKind kind, const std::string& path, GeoAccess access) {
    return openDatabase(kind, path, Provenance::Chosen, access);
}

void Engines::loadBytes(std::string_view nets, std::optional<std::string_view> countries,
                        std::optional<std::string_view> database) {
    if (const Result<std::string> text = decodeDataFile(nets); text) {
        nets_.add_nets(*text);
    }
    if (countries) {
        geo_.loadCountries(*countries, fullName(dataDir_, kCountriesFile));
    }
    if (database) {
        geo_.useDatabase(legacyDatabaseFromBytes(*database));
    }
}

std::vector<DatabaseDescription> Engines::databases() const {
    const CountryDatabase& country = geo_.database();
    DatabaseDescription countries;
    countries.kind = DatabaseKind::Country;
    if (country.source) {
        countries.path = country.path;
        countries.name = country.name;
        countries.date = country.date;
        countries.credit = country.credit;
        countries.ipv6Path = country.ipv6Path;
        countries.ipv6Date = country.ipv6Date;
    }
    DatabaseDescription owners;
    owners.kind = DatabaseKind::Owner;
    if (owners_.table) {
        owners.path = owners_.path;
        owners.name = owners_.name;
        owners.date = owners_.date;
        owners.credit = owners_.credit;
    }
    for (DatabaseDescription* d : {&countries, &owners}) {
        d->notes = databaseNotes(d->date, d->credit);
    }
    return {countries, owners};
}

}  // namespace netsorter
