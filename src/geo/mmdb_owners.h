// Who owns the network of an address: the AS number and organisation of a MaxMind DB file
// of the GeoLite2-ASN layout (autonomous_system_number, autonomous_system_organization),
// read once into flat tables with each network of the file kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/mmdb_ranges.h"

namespace netsorter {

struct NetworkOwner {
    std::optional<std::uint32_t> asNumber;
    std::string organisation;  // as the database writes it; empty when it has none
};

struct OwnerAnswer {
    std::optional<std::uint32_t> asNumber;
    std::string_view organisation;  // held by the table until it is dropped
    std::string network;            // the database's network of the address: 8.8.8.0/24
};

class MmdbOwners {
  public:
    // Reads the database at path. A file that is not a sound MaxMind DB, or one no record of
    // which names an owner, is refused with the reason.
    static Result<MmdbOwners> load(const std::string& path);

    // Nothing where the database names no owner of the address.
    std::optional<OwnerAnswer> owner(const IpAddress& address) const;

    const MmdbMetadata& metadata() const { return ranges_.metadata(); }
    std::size_t tableBytes() const;

  private:
    MmdbOwners(MmdbRanges ranges, std::vector<NetworkOwner> owners)
        : ranges_(std::move(ranges)), owners_(std::move(owners)) {}

    MmdbRanges ranges_;
    // Index 0 is no owner; the ranges answer indexes into this one.
    std::vector<NetworkOwner> owners_;
};

// "AS15169 Google LLC": the number and the organisation, either alone when the other is
// missing.
std::string ownerText(std::optional<std::uint32_t> asNumber, std::string_view organisation);

}  // namespace netsorter
