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

struct OwnerAnswer {
    std::optional<std::uint32_t> asNumber;
    std::string_view organisation;  // held by the table until it is dropped
    // The database's network of the address: its first address and prefix length.
    IpAddress network;
    int prefixLength = 0;
    // The owner's place in its table: equal keys, equal number and organisation.
    std::uint32_t key = 0;

    // The network as text: 8.8.8.0/24.
    std::string networkText() const;
    void appendNetworkText(std::string& out) const;
};

class MmdbOwners {
  public:
    // Reads the database at path. A file that is not a sound MaxMind DB, or one no record of
    // which names an owner, is refused with the reason. The tables are kept in cacheDir, if
    // one is given, as MmdbRanges::load tells.
    static Result<MmdbOwners> load(const std::string& path, const std::string& cacheDir = {});

    // Nothing where the database names no owner of the address.
    std::optional<OwnerAnswer> owner(const IpAddress& address) const;
    void prefetch(std::uint32_t ipv4, PrefetchStep step) const { ranges_.prefetch(ipv4, step); }

    const MmdbMetadata& metadata() const { return ranges_.metadata(); }
    const std::string& databaseSha256() const { return ranges_.databaseSha256(); }
    std::size_t tableBytes() const;

    // One owner as the tables hold it: small, so that a lookup reads one place for it. The
    // organisation is a part of organisations_; empty when the database names none.
    struct Owner {
        std::uint32_t asNumber = 0;
        std::uint32_t hasNumber = 0;  // 0 or 1; a word, so that the table has no padding
        std::uint32_t organisationAt = 0;
        std::uint32_t organisationSize = 0;
    };

  private:
    MmdbOwners(MmdbRanges ranges, TableVector<Owner> owners, TableVector<char> organisations)
        : ranges_(std::move(ranges)),
          owners_(std::move(owners)),
          organisations_(std::move(organisations)) {}

    MmdbRanges ranges_;
    // Index 0 is no owner; the ranges answer indexes into this one.
    TableVector<Owner> owners_;
    TableVector<char> organisations_;
};

// "AS15169 Google LLC": the number and the organisation, either alone when the other is
// missing.
std::string ownerText(std::optional<std::uint32_t> asNumber, std::string_view organisation);
void appendOwnerText(std::string& out, std::optional<std::uint32_t> asNumber,
                     std::string_view organisation);

}  // namespace netsorter
