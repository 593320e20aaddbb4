// GeoIP.dat, a GeoIP Legacy country database: a binary tree walked one 6-byte node per bit
// of the address, most significant first, to a leaf whose value is a country index into
// the names table of countries.txt. Only the node layout is read; every file is taken to be
// the country edition. IPv6 addresses walk the 128 levels of the IPv6 country edition
// (GeoIPv6.dat) beside it, when there is one: the same nodes, the same indexes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/problem.h"
#include "geo/country_source.h"
#include "geo/geo_image.h"

namespace netsorter {

inline constexpr const char* kDamagedDatabase = "Файл с данными о IP повреждён!";

// How lookups reach the database: by positioned reads on the open file, one length query
// and one read per level (the window's way, with a turn for other events per path digit),
// or from a memory image read once at opening, for batches: the same answers, the damage
// rule included, but no turns.
enum class GeoAccess { PositionedReads, MemoryImage };

class LegacyCountryDatabase final : public CountrySource {
  public:
    // Opens path for reading, never creating it, and keeps it open until the object dies
    // or finds the database damaged. Refused with the reason.
    static Result<std::unique_ptr<LegacyCountryDatabase>> open(const std::string& path,
                                                               GeoAccess access);
    // A memory image of the database's bytes.
    static std::unique_ptr<LegacyCountryDatabase> fromBytes(std::string_view bytes);

    // From now on IPv6 addresses are walked in the IPv6 edition at path, opened as the
    // database was; refused with the reason, and then they get no country from here.
    Status openIpv6(const std::string& path);

    // False once the IPv4 database has been found damaged; that closes the IPv6 part too.
    bool usable() const override { return v4_.usable; }
    bool answersByIndex() const override { return true; }
    // A walk of all the levels (32, or 128 for IPv6) that reaches no leaf is damage: the
    // file of that edition is closed, Damaged is answered once, and nothing after it. The
    // IPv4 file's damage closes both; the IPv6 file's only itself.
    CountryAnswer countryOf(const IpAddress& address, const Yield& yield) override;

  private:
    // One edition's tree, in its file or its memory image.
    struct Tree {
        explicit Tree(int levels) : levels(levels) {}

        int levels;
        RandomAccessFile file;
        std::optional<GeoImage> image;
        bool usable = false;

        Status open(const std::string& path, GeoAccess access);
        void fromBytes(std::string_view bytes);
        WalkEnd walkFile(const Ipv6Number& address) const;
        void close();
    };

    GeoAccess access_ = GeoAccess::MemoryImage;
    Tree v4_{kIpv4Levels};
    Tree v6_{kIpv6Levels};
};

// The build date (YYYY-MM-DD) a legacy database tells in its last bytes, end: the text
// after three NUL bytes that libGeoIP calls the database info ("GEO-106FREE 20191224
// Build 1 ..."); empty when there is none.
inline constexpr std::size_t kLegacyInfoReach = 128;
std::string legacyBuildDate(std::string_view end);

// The digits of value in base (2..36), most significant first, with a turn for events
// after each digit; the empty text for a base below 2. The walk by positioned reads gives
// the turns this gives for the address's 16-bit groups in base 2 (two for IPv4, eight for
// IPv6).
std::string toBase(std::uint32_t value, std::uint8_t base, const Yield& yield = {});

}  // namespace netsorter
