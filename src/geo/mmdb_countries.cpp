#include "geo/mmdb_countries.h"

#include <unordered_map>

#include "geo/mmdb_fields.h"
#include "geo/table_cache.h"

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

    std::string_view cacheKind() const override { return "country"; }

    void save(TableCacheWriter& cache) const override {
        lengths_.clear();
        joined_.clear();
        for (const std::string& code : codes) {
            lengths_.push_back(static_cast<std::uint32_t>(code.size()));
            joined_ += code;
        }
        cache.add(lengths_);
        cache.add(joined_);
    }

    bool restore(TableCacheReader& cache, std::uint32_t answers) override {
        // Codes are a few bytes each; more is damage.
        constexpr std::uint64_t kMaxCodeBytes = 64;
        std::vector<std::uint32_t> lengths;
        std::string joined;
        if (!cache.read(lengths, std::uint64_t{MmdbRanges::kMaxAnswers} + 1) ||
            lengths.size() <= answers || !cache.read(joined, lengths.size() * kMaxCodeBytes) ||
            !cache.finish()) {
            return false;
        }
        std::vector<std::string> restored;
        restored.reserve(lengths.size());
        std::size_t at = 0;
        for (const std::uint32_t length : lengths) {
            if (length > joined.size() - at) {
                return false;
            }
            restored.push_back(joined.substr(at, length));
            at += length;
        }
        if (at != joined.size()) {
            return false;
        }
        codes = std::move(restored);
        byCode_.clear();
        for (std::size_t i = 1; i < codes.size(); ++i) {
            byCode_.try_emplace(codes[i], static_cast<std::uint32_t>(i));
        }
        sawCountryField_ = true;
        return true;
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
    // What save hands the cache, kept until it is written.
    mutable std::vector<std::uint32_t> lengths_;
    mutable std::string joined_;

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

Result<MmdbCountries> MmdbCountries::load(const std::string& path, const std::string& cacheDir) {
    CountryReader reader;
    Result<MmdbRanges> ranges = MmdbRanges::load(path, reader, false, cacheDir);
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
