// Country lookup: walks a GeoIP Legacy country database on disk, one 6-byte node per bit of
// the address, and turns the country index it reaches into a description of countries.txt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/files.h"
#include "common/ui.h"

namespace netsorter {

inline constexpr const char* kDamagedDatabase = "Файл с данными о IP повреждён!";

class clsGeo {
public:
    // Bare file names are looked for in dataDir (the program's directory in the window).
    clsGeo(Ui& ui, std::string dataDir);

    bool CountriesIsOK() const { return countriesOk_; }
    bool DataFileOk() const { return dataFileOk_; }

    // True with description filled when the address's country has an entry in the table.
    bool getCountryByIP(std::string_view ipStr, std::string& description);

    // Opens the database and keeps it open until this object dies or finds it damaged.
    bool openDataFile(std::string_view FileName);

    // Loads countries.txt ("index<TAB>description" lines) into the table. Asks the user
    // whether to go on when a line cannot be stored.
    bool openCountriesFile(std::string_view FileName);

    // The digits of value in base (2..36), most significant first; yields after each digit.
    std::string toBase(std::uint32_t value, std::uint8_t base);

private:
    Ui& ui_;
    std::string dataDir_;
    RandomAccessFile dataFile_;
    // Keys are stored case-folded; absent until the first load and after a load is refused.
    std::optional<std::unordered_map<std::string, std::string>> lCountries_;
    bool countriesOk_ = false;
    bool dataFileOk_ = false;

    void closeAsDamaged();
};

}  // namespace netsorter
