// GeoIP.dat, a GeoIP Legacy country database: a binary tree walked one 6-byte node per bit
// of the address, most significant first, to a leaf whose value is a country index into
// the names table of countries.txt. Only the node layout is read; every file is taken to be
// the country edition.
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
    static std::unique_ptr<LegacyCountryDatabase> open(const std::string& path, GeoAccess access,
                                                       Status& status);
    // A memory image of the database's bytes.
    static std::unique_ptr<LegacyCountryDatabase> fromBytes(std::string_view bytes);

    bool usable() const override { return usable_; }
    bool answersByIndex() const override { return true; }
    // A walk of 32 levels that reaches no leaf is damage: the file is closed, Damaged is
    // answered once, and nothing after it.
    CountryAnswer countryOf(const IpAddress& address, const Yield& yield) override;

  private:
    RandomAccessFile file_;
    std::optional<GeoImage> image_;
    bool usable_ = true;

    WalkEnd walkFile(std::uint32_t address) const;
};

// The digits of value in base (2..36), most significant first, with a turn for events
// after each digit; the empty text for a base below 2. The walk by positioned reads gives
// the turns this gives for the two 16-bit halves of the address in base 2.
std::string toBase(std::uint32_t value, std::uint8_t base, const Yield& yield = {});

}  // namespace netsorter
