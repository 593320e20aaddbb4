// The country lookup: a country database and the names table of countries.txt that turns
// its answers into descriptions.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/problem.h"
#include "common/yield.h"
#include "geo/country_databases.h"
#include "geo/country_names.h"
#include "geo/country_source.h"
#include "geo/legacy_database.h"

namespace netsorter {

// What a lookup answers the check.
struct CountryLookup {
    bool found = false;
    // Found: the names table's description of the country, as the table holds it until its
    // next load; empty when the table has no line for the country's code.
    std::string_view description;
    // Found by a code the names table has no line for: the code, shown as it is.
    std::string code;
    // The lookup found the database damaged; it answers nothing from then on.
    std::optional<Problem> damaged;
};

class clsGeo {
  public:
    bool CountriesIsOK() const { return names_.ok(); }
    bool DataFileOk() const { return database_.source && database_.source->usable(); }

    // The country of an address: nothing without a usable database, nor, for a database
    // that answers by index, without the names table: then the database is not even read.
    // An IPv4 address written in IPv6 (::ffff:a.b.c.d) is looked up as the IPv4 address.
    CountryLookup getCountryByIP(const IpAddress& address, const Yield& yield = {});
    // The same for an address text (IPv4 with the lenient tail, or IPv6).
    CountryLookup getCountryByIP(std::string_view ipStr, const Yield& yield = {});

    // Opens the file at path as GeoIP.dat, whatever it holds; a failed open leaves no
    // database at all. IPv6 addresses are looked up in ipv6Path (GeoIPv6.dat) when given and
    // it opens; the result is GeoIP.dat's alone. The program's loader opens its databases
    // itself (Engines); this is the same step for one legacy file.
    Status openDataFile(const std::string& path, GeoAccess access = GeoAccess::PositionedReads,
                        const std::string& ipv6Path = {});
    // Answers from this database from now on (a lookup under way keeps its own).
    void useDatabase(CountryDatabase database) { database_ = std::move(database); }
    void useSource(std::shared_ptr<CountrySource> source) {
        database_ = CountryDatabase{};
        database_.source = std::move(source);
    }
    // The database that answers; its source is empty when there is none.
    const CountryDatabase& database() const { return database_; }

    // Loads the countries.txt at path into the names table (see CountryNames::load).
    Status openCountriesFile(const std::string& path, const AskToGoOn& ask = {},
                             const Yield& yield = {});
    // The same from the file's bytes; path names it in the prompt.
    Status loadCountries(std::string_view bytes, const std::string& path, const AskToGoOn& ask = {},
                         const Yield& yield = {});

  private:
    CountryNames names_;
    CountryDatabase database_;
};

}  // namespace netsorter
