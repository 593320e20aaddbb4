// Country codes from a MaxMind DB file (.mmdb), read once with libmaxminddb into flat
// tables. The file is neither kept open nor mapped afterwards, so a user or an updater can
// replace it while the program runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/problem.h"
#include "nets/ip_address.h"

namespace netsorter {

// What a database says of itself, for display.
struct MmdbMetadata {
    std::string databaseType;
    std::string description;       // the English one when there is one, else the first
    std::uint64_t buildEpoch = 0;  // seconds since 1970-01-01 UTC
    int ipVersion = 0;             // 4, or 6: IPv4 addresses are then found under ::/96
    std::uint32_t nodeCount = 0;
    int recordSize = 0;  // bits

    // The build date as YYYY-MM-DD (UTC).
    std::string buildDate() const;
};

class MmdbCountries {
  public:
    // Reads the database at path (UTF-8). A file that is not a sound MaxMind DB whose
    // records hold a country code (country_code, or country.iso_code) is refused with the
    // reason; nothing is thrown for bad input.
    static Result<MmdbCountries> load(const std::string& path);
    // What a MaxMind DB file says of itself, read without its tree; nothing for a file that
    // is none.
    static std::optional<MmdbMetadata> readMetadata(const std::string& path);

    // The country code of an address, two letters as the database writes them; nothing
    // where the database holds no country for it, and for any IPv6 address in an IPv4
    // database (libmaxminddb refuses those lookups).
    std::optional<std::string_view> country(std::uint32_t ipv4) const;
    std::optional<std::string_view> country(Ipv6Number ipv6) const;

    const MmdbMetadata& metadata() const { return metadata_; }

    // The memory the tables hold, in bytes.
    std::size_t tableBytes() const;

  private:
    friend class MmdbTreeReader;

    MmdbCountries() = default;  // only load makes one, with its tables

    MmdbMetadata metadata_;
    // Index 0 is no country; the tables hold indexes into this one.
    std::vector<std::string> codes_;
    // IPv4: the first address of each run of one answer, in order from 0, and the run's
    // answer; bucket4_[b] is the run holding the address b << 16 (one more entry: the last
    // run), so a lookup searches only the runs between two neighbouring entries.
    std::vector<std::uint32_t> starts4_;
    std::vector<std::uint16_t> answers4_;
    std::vector<std::uint32_t> bucket4_;
    // IPv6 likewise, without buckets; an answer may instead send the lookup to the IPv4
    // table with 32 bits of the address (the tree's IPv4 subtree, reached under ::/96 and
    // its aliases).
    std::vector<Ipv6Number> starts6_;
    std::vector<std::uint16_t> answers6_;

    std::optional<std::string_view> code(std::uint16_t answer) const;
};

}  // namespace netsorter
