// What a check works with: the subnet list, the country lookup and name resolution, and the
// one loader of the data files behind them, for every front end (the window, the
// command-line tool, the browsers' host) and for tests, benchmarks and fuzz targets.
#pragma once

#include <array>
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

// The kinds of database a check asks, each answering one question of an address.
enum class DatabaseKind { Country, Owner };
inline constexpr std::size_t kDatabaseKinds = 2;

// What a load did for one kind of database.
struct DatabaseLoad {
    // The database that answers, or, when none does, the last one tried and why not.
    FileLoad answering;
    // The databases tried before it and refused, the user's choice first; not those of
    // another kind, passed over in silence.
    std::vector<FileLoad> refused;
    // The user's choice was among them: it is to be forgotten.
    bool choiceRefused = false;
};

// What a load did with each data file.
struct LoadReport {
    FileLoad nets;
    FileLoad countries;
    std::array<DatabaseLoad, kDatabaseKinds> databases;

    const DatabaseLoad& of(DatabaseKind kind) const {
        return databases[static_cast<std::size_t>(kind)];
    }
};

// A database in use as the About box and the tool's --version name it.
struct DatabaseDescription {
    DatabaseKind kind = DatabaseKind::Country;
    std::string path;  // empty: none of this kind answers
    std::string name;  // the file's name
    // Its build date (YYYY-MM-DD) where the file tells one, and what its licence asks to
    // be said of it; notes joins the two by a comma.
    std::string date;
    std::string credit;
    std::string notes;
    // A legacy country database's IPv6 edition that answers IPv6 addresses, if any, and its
    // date.
    std::string ipv6Path;
    std::string ipv6Date;
};

struct LoadOptions {
    // The database of each kind the user chose, if any: it answers when it can be opened.
    std::array<std::string, kDatabaseKinds> chosen;
    GeoAccess access = GeoAccess::PositionedReads;
    // A turn for events after each line of nets.txt and of countries.txt.
    Yield yield;
    // The question about a line of countries.txt that cannot be stored; none: go on.
    AskToGoOn askToGoOn;
    // Where the tables made of MaxMind DB files are kept for later starts (userDataDir()'s
    // "cache" for the programs); empty: they are made on every load. The databases chosen
    // later (chooseDatabase) are kept there too.
    std::string cacheDir;
};

class Engines {
  public:
    // Names are resolved by the system unless a resolver is given. The data files are
    // looked for in dataDir by their names; no other part of the program knows them.
    explicit Engines(std::string dataDir, std::unique_ptr<NameResolver> resolver = nullptr);

    const std::string& dataDir() const { return dataDir_; }
    // The user's folder of downloaded databases: searched with the data directory, the
    // newest database of each kind answering from either.
    void useDownloads(std::string dir) { downloadDir_ = std::move(dir); }
    const std::string& downloadDir() const { return downloadDir_; }
    clsNetChecker& nets() { return nets_; }
    clsGeo& geo() { return geo_; }
    // The owner database in use; its table is empty when there is none. A copy keeps its
    // table for as long as it is held, whatever database is chosen meanwhile.
    const OwnerDatabase& owners() const { return owners_; }
    NameResolver& resolver() { return *resolver_; }

    // The loading step: the whole of nets.txt, then countries.txt unless the names table is
    // loaded, then the databases (loadDatabases). A
    // GeoIP.dat (or a legacy database chosen) answers IPv6 addresses from the GeoIPv6.dat of its
    // folder, when there is one. A nets.txt that cannot be read stops the load there: nothing can
    // be checked without it.
    LoadReport load(const LoadOptions& options);
    // A country database unless one is open: the user's choice, else the newest .mmdb of
    // the download and data directories that holds countries, else GeoIP.dat; then an
    // owner database likewise (the user's choice, else the newest .mmdb holding owners).
    void loadDatabases(const LoadOptions& options, LoadReport& report);

    // Answers from this database of the kind from now on, when it is one (a lookup under way
    // keeps its own; a legacy one with the GeoIPv6.dat beside it); else the reason, and the
    // database stays as it was.
    Status chooseDatabase(DatabaseKind kind, const std::string& path, GeoAccess access);

    // The same steps from the files' contents, for tests and fuzz targets; the country
    // database is a legacy one, as a memory image. A file not given is not loaded.
    void loadBytes(std::string_view nets, std::optional<std::string_view> countries,
                   std::optional<std::string_view> database);

    // Each kind's database in use, in the order of the kinds.
    std::vector<DatabaseDescription> databases() const;

  private:
    // Every database is opened here: chosen, found in the data directory or taken by name.
    Status openDatabase(DatabaseKind kind, const std::string& path, Provenance provenance,
                        GeoAccess access);
    void loadDatabase(DatabaseKind kind, const LoadOptions& options, DatabaseLoad& report);
    Status loadCountries(const std::string& path, const LoadOptions& options);

    std::string dataDir_;
    std::string downloadDir_;
    std::string cacheDir_;
    clsNetChecker nets_;
    clsGeo geo_;
    OwnerDatabase owners_;
    std::unique_ptr<NameResolver> resolver_;
};

}  // namespace netsorter
