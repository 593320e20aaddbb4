// Country lookup: walks a GeoIP Legacy country database on disk, one 6-byte node per bit of
// the address, and turns the country index it reaches into a description of countries.txt.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/files.h"
#include "common/ui.h"
#include "geo/geo_image.h"

namespace netsorter {

inline constexpr const char* kDamagedDatabase = "Файл с данными о IP повреждён!";

// How lookups reach the database: by positioned reads on the open file, one length query
// and one read per level (the window's way), or from a memory image read once at opening,
// for batches: the same answers, the damage rule included, but no turn for other events
// during a lookup.
enum class GeoAccess { PositionedReads, MemoryImage };

class clsGeo {
  public:
    // Bare file names are looked for in dataDir (the program's directory in the window).
    clsGeo(Ui& ui, std::string dataDir);

    bool CountriesIsOK() const { return countriesOk_; }
    bool DataFileOk() const { return dataFileOk_; }

    // True with description filled when the address's country has an entry in the table.
    bool getCountryByIP(std::string_view ipStr, std::string& description);

    // Opens the database and keeps it open until this object dies or finds it damaged.
    bool openDataFile(std::string_view FileName, GeoAccess access = GeoAccess::PositionedReads);

    // Loads countries.txt ("index<TAB>description" lines) into the table. Asks the user
    // whether to go on when a line cannot be stored.
    bool openCountriesFile(std::string_view FileName);

    // The digits of value in base (2..36), most significant first; yields after each digit.
    std::string toBase(std::uint32_t value, std::uint8_t base);

  private:
    Ui& ui_;
    std::string dataDir_;
    RandomAccessFile dataFile_;
    std::optional<GeoImage> image_;
    // Keys are stored case-folded; absent until the first load and after a load is refused.
    std::optional<std::unordered_map<std::string, std::string>> lCountries_;
    bool countriesOk_ = false;
    bool dataFileOk_ = false;
    // The table's description of each country index, looked up once per change of the table.
    std::array<const std::string*, 256> byIndex_{};
    bool byIndexValid_ = false;

    void closeAsDamaged();
    void yieldPerDigit(std::uint32_t value);
    WalkEnd walkFile(std::uint32_t address) const;
    bool answer(const WalkEnd& end, std::string& description);
    const std::string* countryDescription(std::uint32_t country);
};

}  // namespace netsorter
