// Country codes from a MaxMind DB file (.mmdb), read once into flat tables.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/mmdb_ranges.h"

namespace netsorter {

class MmdbCountries {
  public:
    // Reads the database at path (UTF-8). A file that is not a sound MaxMind DB whose
    // records hold a country code (country_code, or country.iso_code) is refused with the
    // reason; nothing is thrown for bad input. The tables are kept in cacheDir, if one is
    // given, as MmdbRanges::load tells.
    static Result<MmdbCountries> load(const std::string& path, const std::string& cacheDir = {});
    static std::optional<MmdbMetadata> readMetadata(const std::string& path) {
        return MmdbRanges::readMetadata(path);
    }

    // The country code of an address, as the database writes it; nothing where the database
    // holds no country for it, and for any IPv6 address in an IPv4 database.
    std::optional<std::string_view> country(std::uint32_t ipv4) const {
        return code(ranges_.find(ipv4).answer);
    }
    std::optional<std::string_view> country(Ipv6Number ipv6) const {
        return code(ranges_.find(ipv6).answer);
    }

    // The table's number of the address's country: equal numbers, equal codes; 0 for none.
    std::uint32_t answer(const IpAddress& address) const {
        return (address.isV4() ? ranges_.find(address.v4()) : ranges_.find(address.v6())).answer;
    }

    void prefetch(std::uint32_t ipv4, PrefetchStep step) const { ranges_.prefetch(ipv4, step); }

    const MmdbMetadata& metadata() const { return ranges_.metadata(); }
    const std::string& databaseSha256() const { return ranges_.databaseSha256(); }
    // The memory the tables hold, in bytes.
    std::size_t tableBytes() const;

  private:
    MmdbCountries(MmdbRanges ranges, std::vector<std::string> codes)
        : ranges_(std::move(ranges)), codes_(std::move(codes)) {}

    MmdbRanges ranges_;
    // Index 0 is no country; the ranges answer indexes into this one.
    std::vector<std::string> codes_;

    std::optional<std::string_view> code(std::uint32_t answer) const {
        if (answer == 0) {
            return std::nullopt;
        }
        return std::string_view(codes_[answer]);
    }
};

}  // namespace netsorter
