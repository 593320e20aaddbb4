#include "geo/country_databases.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "common/files.h"
#include "common/sha256.h"
#include "common/text.h"
#include "geo/mmdb_countries.h"

namespace netsorter {
namespace {

// Answers from the tables of a MaxMind DB, read whole at opening; the file is not held.
class MmdbCountrySource final : public CountrySource {
  public:
    explicit MmdbCountrySource(MmdbCountries countries) : countries_(std::move(countries)) {}

    bool usable() const override { return true; }
    bool answersByIndex() const override { return false; }
    bool settled() const override { return true; }
    CountryAnswer countryOf(const IpAddress& address, const Yield&) override {
        CountryAnswer answer;
        const std::optional<std::string_view> code =
            address.isV4() ? countries_.country(address.v4()) : countries_.country(address.v6());
        if (code) {
            answer.kind = CountryAnswer::Country;
            answer.code = *code;
        }
        return answer;
    }
    // The table's answer number, 0 being no country.
    std::uint32_t answerKey(const IpAddress& address) const override {
        return countries_.answer(address) + 1;
    }

    void prefetch(std::uint32_t ipv4, PrefetchStep step) const override {
        countries_.prefetch(ipv4, step);
    }

    const MmdbCountries& countries() const { return countries_; }

  private:
    MmdbCountries countries_;
};

// Every MaxMind DB ends its data with this marker and the metadata after it.
constexpr std::string_view kMmdbMarker = "\xAB\xCD\xEFMaxMind.com";
// libmaxminddb looks for the marker in the last 128 KiB.
constexpr std::uint64_t kMmdbMetadataReach = 128 * 1024;
// The legacy structure: three 0xFF bytes and the edition, within the last 20 bytes.
constexpr std::uint64_t kLegacyStructureReach = 20;
constexpr unsigned char kLegacyCountryEdition = 1;
constexpr unsigned char kLegacyCountryEditionOld = 106;  // older files add 105

std::string tail(const RandomAccessFile& file, std::uint64_t size, std::uint64_t bytes) {
    const std::uint64_t n = std::min(size, bytes);
    std::string data(static_cast<std::size_t>(n), '\0');
    if (!file.readAt(size - n, data.data(), data.size())) {
        data.clear();
    }
    return data;
}

bool endsInLegacyCountryStructure(const std::string& end) {
    for (std::size_t i = end.size(); i >= 4; --i) {
        const std::string_view at = std::string_view(end).substr(i - 4, 4);
        if (at.substr(0, 3) == "\xFF\xFF\xFF") {
            const auto edition = static_cast<unsigned char>(at[3]);
            return edition == kLegacyCountryEdition || edition == kLegacyCountryEditionOld;
        }
    }
    return false;
}

struct ShippedFile {
    std::string_view sha256;  // empty: the build ships another file, whose terms it brings
    std::uint64_t size;
    const char* credit;
};
constexpr ShippedFile kShippedCountry{NETSORTER_SHIPPED_DB_SHA256, NETSORTER_SHIPPED_DB_SIZE,
                                      kShippedCountryDatabaseCredit};
constexpr ShippedFile kShippedOwner{NETSORTER_SHIPPED_OWNER_DB_SHA256,
                                    NETSORTER_SHIPPED_OWNER_DB_SIZE, kShippedOwnerDatabaseCredit};

// A shipped database is known by its size first, so that no other file is read whole; a
// downloaded one by the note the updater wrote beside it (its kind, URL and attribution).
// A digest the load made already (knownSha256) is not made again.
std::string creditOf(const std::string& path, std::uint64_t size, const ShippedFile& shipped,
                     const std::string& knownSha256) {
    if (!shipped.sha256.empty() && size == shipped.size) {
        if (const Result<std::string> digest =
                knownSha256.empty() ? sha256OfFile(path) : Result<std::string>(knownSha256);
            digest && *digest == shipped.sha256) {
            return shipped.credit;
        }
    }
    RandomAccessFile note;
    if (!note.open(path + ".source")) {
        return {};
    }
    std::string line(512, '\0');
    const Result<std::size_t> got = note.readSome(0, line.data(), line.size());
    line.resize(got ? *got : 0);
    line = line.substr(0, line.find('\n'));
    const std::size_t second = line.find('\t', line.find('\t') + 1);
    return second == std::string::npos || !isValidUtf8(line) ? "" : line.substr(second + 1);
}

// The build date a legacy file tells in its database info record, if it has one.
std::string legacyFileDate(const std::string& path) {
    RandomAccessFile file;
    if (!file.open(path)) {
        return {};
    }
    return legacyBuildDate(tail(file, file.size().value_or(0), kLegacyInfoReach));
}

}  // namespace

std::string databaseNotes(const std::string& date, const std::string& credit) {
    return date + (date.empty() || credit.empty() ? "" : ", ") + credit;
}

Result<OwnerDatabase> openOwnerDatabase(const std::string& path, const std::string& cacheDir) {
    Result<MmdbOwners> owners = MmdbOwners::load(path, cacheDir);
    if (!owners) {
        return owners.status();
    }
    OwnerDatabase database;
    database.path = path;
    database.name = std::string(fileName(path));
    database.date = owners->metadata().buildDate();
    std::uint64_t size = 0;
    if (RandomAccessFile file; file.open(path)) {
        size = file.size().value_or(0);
    }
    database.credit = creditOf(path, size, kShippedOwner, owners->databaseSha256());
    database.table = std::make_shared<const MmdbOwners>(std::move(*owners));
    return database;
}

Result<CountryDatabase> openCountryDatabase(const std::string& path, GeoAccess access,
                                            Provenance provenance, const std::string& ipv6Path,
                                            const std::string& cacheDir) {
    bool mmdb = false;
    bool legacy = provenance == Provenance::ByName;
    std::uint64_t size = 0;
    {
        RandomAccessFile file;
        if (Status opened = file.open(path); !opened) {
            return opened;
        }
        size = file.size().value_or(0);
        mmdb = tail(file, size, kMmdbMetadataReach).find(kMmdbMarker) != std::string::npos;
        legacy = legacy || endsInLegacyCountryStructure(tail(file, size, kLegacyStructureReach));
    }
    CountryDatabase database;
    database.path = path;
    database.name = std::string(fileName(path));
    if (mmdb) {
        Result<MmdbCountries> countries = MmdbCountries::load(path, cacheDir);
        if (!countries) {
            return countries.status();
        }
        database.date = countries->metadata().buildDate();
        database.credit = creditOf(path, size, kShippedCountry, countries->databaseSha256());
        database.source = std::make_shared<MmdbCountrySource>(std::move(*countries));
        return database;
    }
    if (!legacy) {
        return Status::failure(
            "not a country database (neither a MaxMind DB nor a GeoIP country edition)");
    }
    return openLegacyDatabase(path, access, ipv6Path);
}

Result<CountryDatabase> openLegacyDatabase(const std::string& path, GeoAccess access,
                                           const std::string& ipv6Path) {
    Result<std::unique_ptr<LegacyCountryDatabase>> opened =
        LegacyCountryDatabase::open(path, access);
    if (!opened) {
        return opened.status();
    }
    std::shared_ptr<LegacyCountryDatabase> dat = std::move(*opened);
    CountryDatabase database;
    database.path = path;
    database.name = std::string(fileName(path));
    database.date = legacyFileDate(path);
    if (!ipv6Path.empty() && dat->openIpv6(ipv6Path)) {
        database.ipv6Path = ipv6Path;
        database.ipv6Date = legacyFileDate(ipv6Path);
    }
    database.source = std::move(dat);
    return database;
}

CountryDatabase legacyDatabaseFromBytes(std::string_view bytes) {
    CountryDatabase database;
    database.source = LegacyCountryDatabase::fromBytes(bytes);
    return database;
}

std::vector<std::string> mmdbFilesNewestFirst(const std::vector<std::string>& dirs) {
    namespace fs = std::filesystem;
    // Files that are no MaxMind DB rank below every build date, the latest included.
    std::vector<std::tuple<bool, std::uint64_t, std::string>> found;
    for (const std::string& dir : dirs) {
        if (dir.empty()) {
            continue;
        }
        std::error_code error;
        const fs::path folder(std::u8string(dir.begin(), dir.end()));
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const fs::path& p = it->path();
            // On Windows names ignore case, and users' files keep whatever case they came in.
            const std::u8string extension = p.extension().u8string();
            if (foldCase(std::string(extension.begin(), extension.end())) != ".mmdb") {
                continue;
            }
            const std::u8string name = p.u8string();
            std::string path(name.begin(), name.end());
            const std::optional<MmdbMetadata> metadata = MmdbCountries::readMetadata(path);
            found.emplace_back(metadata.has_value(), metadata ? metadata->buildEpoch : 0,
                               std::move(path));
        }
    }
    // Of equal dates the name decides, so that the choice does not follow the directory's
    // order.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (std::get<0>(a) != std::get<0>(b) || std::get<1>(a) != std::get<1>(b)) {
            return std::tie(std::get<0>(a), std::get<1>(a)) >
                   std::tie(std::get<0>(b), std::get<1>(b));
        }
        return std::get<2>(a) < std::get<2>(b);
    });
    std::vector<std::string> paths;
    for (auto& [isMmdb, epoch, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace netsorter
