// What a check works with: the subnet list, the country lookup and name resolution, and the
// one loader of the data files behind them, for every front end (the window, the
// command-line tool, the browsers' host) and for tests, benchmarks and fuzz targets.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/geo.h"
#include "nets/net_checker.h"
#include "resolve/resolver.h"

namespace netsorter {

// One data file's part in a load.
struct FileLoad {
    std::string path;
    bool attempted = false;  // not when it was loaded already
    bool loaded = false;
    std::string reason;  // why not, when attempted and not loaded
};

// What a load did with each data file.
struct LoadReport {
    FileLoad nets;
    FileLoad countries;
    // The country database that answers, or, when none does, GeoIP.dat and why not.
    FileLoad database;
    // The databases tried before it and refused, the user's choice first.
    std::vector<FileLoad> refused;
    // The user's choice was among them: it is to be forgotten.
    bool choiceRefused = false;
};

struct LoadOptions {
    // The country database the user chose, if any: it answers when it can be opened.
    std::string countryDatabase;
    GeoAccess access = GeoAccess::PositionedReads;
    // A turn for events after each line of nets.txt and of countries.txt.
    Yield yield;
    // The question about a line of countries.txt that cannot be stored; none: go on.
    AskToGoOn askToGoOn;
};

class Engines {
  public:
    // Names are resolved by the system unless a resolver is given.
    explicit Engines(std::string dataDir, std::unique_ptr<NameResolver> resolver = nullptr);

    const std::string& dataDir() const { return dataDir_; }
    clsNetChecker& nets() { return nets_; }
    clsGeo& geo() { return geo_; }
    NameResolver& resolver() { return *resolver_; }

    // The loading step: the whole of nets.txt, then countries.txt unless the names table is
    // loaded, then a country database unless one is open: the user's choice, else the
    // newest .mmdb of the data directory, else GeoIP.dat. A GeoIP.dat (or a legacy database
    // chosen) answers IPv6 addresses from the GeoIPv6.dat of its folder, when there is one.
    // A nets.txt that cannot be read stops the load there: nothing can be checked without it.
    LoadReport load(const LoadOptions& options);

    // Answers from this country database from now on, when it is one (a lookup under way
    // keeps its own; a legacy one with the GeoIPv6.dat beside it); else the reason, and the
    // database stays as it was.
    Status chooseCountryDatabase(const std::string& path, GeoAccess access);

    // The same from the files' contents, for tests and fuzz targets; the database as a
    // memory image. A file not given is not loaded.
    void loadBytes(std::string_view nets, std::optional<std::string_view> countries,
                   std::optional<std::string_view> database);

  private:
    void loadDatabase(const LoadOptions& options, LoadReport& report);

    std::string dataDir_;
    clsNetChecker nets_;
    clsGeo geo_;
    std::unique_ptr<NameResolver> resolver_;
};

}  // namespace netsorter
