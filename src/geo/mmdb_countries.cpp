#include "geo/mmdb_countries.h"

#include <unordered_map>

#include "geo/mmdb_fields.h"

namespace netsorter {
namespace {

class CountryReader final : public MmdbRecordReader {
  public:
    std::vector<std::string> codes{std::string()};

    bool recognised() const override { return sawCountryField_; }
    std::string unrecognised() const override {
        return std::string(kUnrecognised) +
               "a country code (country_code or country.iso_code) in it";
    }

    Result<std::uint32_t> read(MMDB_entry_s& record) override {
        // ip-location-db's layout, then GeoLite2's (also GeoIP2's and DB-IP's).
        static const char* const codeOnly[] = {"country_code", nullptr};
        static const char* const isoCode[] = {"country", "iso_code", nullptr};
        for (const char* const* path : {codeOnly, isoCode}) {
            MMDB_entry_data_s data{};
            const Result<bool> has = mmdbField(record, path, data);
            if (!has) {
                return has.status();
            }
            if (!*has) {
                continue;
            }
            sawCountryField_ = true;
            // Not every database keeps to two letters ("A1", the legacy anonymous proxy,
            // has its line in countries.txt): a code is answered as it is, and an empty
            // one, or one that is no text, means no country.
            if (data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size == 0) {
                return 0u;
            }
            return intern(std::string(data.utf8_string, data.data_size));
        }
        return 0u;
    }

  private:
    std::unordered_map<std::string, std::uint32_t> byCode_;
    bool sawCountryField_ = false;  // some record holds one, whatever its value

    std::uint32_t intern(std::string code) {
        const auto [at, added] =
            byCode_.try_emplace(code, static_cast<std::uint32_t>(codes.size()));
        if (added) {
            codes.push_back(std::move(code));
        }
        return at->second;
    }
};

}  // namespace

Result<MmdbCountries> MmdbCountries::load(const std::string& path) {
    CountryReader reader;
    Result<MmdbRanges> ranges = MmdbRanges::load(path, reader, false);
    if (!ranges) {
        return ranges.status();
    }
    reader.codes.shrink_to_fit();
    return MmdbCountries(std::move(*ranges), std::move(reader.codes));
}

std::size_t MmdbCountries::tableBytes() const {
    return ranges_.tableBytes() + codes_.capacity() * sizeof(codes_[0]);
}

}  // namespace netsorter
