// The country databases the program reads: MaxMind DB files (.mmdb) holding a country code,
// and GeoIP.dat. Opening either gives a CountrySource and what the file says of itself.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/country_source.h"
#include "geo/legacy_database.h"
#include "geo/mmdb_owners.h"

namespace netsorter {

// The database that answers, as the About box and the tool's --version name it.
struct CountryDatabase {
    std::shared_ptr<CountrySource> source;
    std::string path;
    std::string name;  // the file's name
    std::string date;  // its build date, YYYY-MM-DD, where the file tells one
    // A legacy database's IPv6 edition (GeoIPv6.dat) that answers IPv6 addresses; empty
    // when it has none.
    std::string ipv6Path;
    std::string ipv6Date;  // its build date, where it tells one
    // The attribution its data asks for, known by the file's content (the shipped file)
    // and not by its name; empty for any other database.
    std::string credit;
};

// What the licence of the database the program ships asks to be said wherever it is named.
inline constexpr const char* kShippedCountryDatabaseCredit = "данные NRO (nro.net), CC BY 4.0";
inline constexpr const char* kShippedOwnerDatabaseCredit =
    "данные RouteViews (routeviews.org), DB-IP (db-ip.com) и NRO (nro.net), CC BY 4.0";

// The owner database that answers, named as the country database is.
struct OwnerDatabase {
    std::shared_ptr<const MmdbOwners> table;
    std::string path;
    std::string name;
    std::string date;
    std::string credit;
};

// Opens path as a MaxMind DB of network owners; the reason when it is none. With a cacheDir
// its tables are kept there for later openings (MmdbRanges::load).
Result<OwnerDatabase> openOwnerDatabase(const std::string& path, const std::string& cacheDir = {});

// A database's build date and the credit its data asks for, joined by commas; empty when
// there is nothing to say.
std::string databaseNotes(const std::string& date, const std::string& credit);

// How sure the program must be that a file is a country database. GeoIP.dat, taken by its
// name, is read as the legacy country edition whatever it holds; a file the user chose must
// show it is one: a MaxMind DB whose records hold country codes, or a file that ends in the
// legacy country edition's structure.
enum class Provenance { ByName, Chosen };

// Opens path as a MaxMind DB when it is one, else as GeoIP.dat; the reason when it cannot be
// opened or is no country database. A GeoIP.dat answers IPv6 addresses from
// the IPv6 edition at ipv6Path when that opens (whatever it holds, as GeoIP.dat taken by its
// name); without it they get no country. A MaxMind DB's tables are kept in cacheDir, if one
// is given, as openOwnerDatabase keeps them.
Result<CountryDatabase> openCountryDatabase(const std::string& path, GeoAccess access,
                                            Provenance provenance, const std::string& ipv6Path = {},
                                            const std::string& cacheDir = {});

// The legacy branch of openCountryDatabase alone: path read as GeoIP.dat whatever it holds.
Result<CountryDatabase> openLegacyDatabase(const std::string& path, GeoAccess access,
                                           const std::string& ipv6Path = {});

// A GeoIP.dat from its bytes, as a memory image (tests and fuzz targets).
CountryDatabase legacyDatabaseFromBytes(std::string_view bytes);

// The .mmdb files in the folders, the newest build first (files that are no MaxMind DB
// last); an empty folder name is skipped.
std::vector<std::string> mmdbFilesNewestFirst(const std::vector<std::string>& dirs);

}  // namespace netsorter
