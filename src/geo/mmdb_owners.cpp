#include "geo/mmdb_owners.h"

#include <map>
#include <utility>

#include "common/text.h"
#include "geo/mmdb_fields.h"

namespace netsorter {
namespace {

class OwnerReader final : public MmdbRecordReader {
  public:
    std::vector<NetworkOwner> owners{NetworkOwner{}};

    bool recognised() const override { return sawOwnerField; }
    std::string unrecognised() const override {
        return std::string(kUnrecognised) +
               "an owner (autonomous_system_number or autonomous_system_organization) in it";
    }

    Result<std::uint32_t> read(MMDB_entry_s& record) override {
        static const char* const numberPath[] = {"autonomous_system_number", nullptr};
        static const char* const organisationPath[] = {"autonomous_system_organization",
                                                       nullptr};
        NetworkOwner owner;
        MMDB_entry_data_s data{};
        Result<bool> has = mmdbField(record, numberPath, data);
        if (!has) {
            return has.status();
        }
        if (*has) {
            sawOwnerField = true;
            // GeoLite2 writes a uint32; other writers pick the smallest type that holds it.
            // Anything else is no number.
            if (data.type == MMDB_DATA_TYPE_UINT32) {
                owner.asNumber = data.uint32;
            } else if (data.type == MMDB_DATA_TYPE_UINT16) {
                owner.asNumber = data.uint16;
            } else if (data.type == MMDB_DATA_TYPE_UINT64 && data.uint64 <= UINT32_MAX) {
                owner.asNumber = static_cast<std::uint32_t>(data.uint64);
            } else if (data.type == MMDB_DATA_TYPE_INT32 && data.int32 >= 0) {
                owner.asNumber = static_cast<std::uint32_t>(data.int32);
            }
        }
        has = mmdbField(record, organisationPath, data);
        if (!has) {
            return has.status();
        }
        if (*has) {
            sawOwnerField = true;
            // Bytes that are no UTF-8 cannot be shown as the database meant them.
            std::string_view text = data.type == MMDB_DATA_TYPE_UTF8_STRING
                                        ? std::string_view(data.utf8_string, data.data_size)
                                        : std::string_view();
            if (isValidUtf8(text)) {
                owner.organisation = std::string(text);
            }
        }
        if (!owner.asNumber && owner.organisation.empty()) {
            return 0u;
        }
        return intern(std::move(owner));
    }

  private:
    bool sawOwnerField = false;
    std::map<std::pair<std::optional<std::uint32_t>, std::string>, std::uint32_t> known_;

    std::uint32_t intern(NetworkOwner owner) {
        const auto [at, added] = known_.try_emplace({owner.asNumber, owner.organisation},
                                                    static_cast<std::uint32_t>(owners.size()));
        if (added) {
            owners.push_back(std::move(owner));
        }
        return at->second;
    }
};

// The address with every bit past the first length cleared.
Ipv6Number masked(Ipv6Number a, int length) {
    const auto keep = [](int bits) {
        return bits <= 0 ? 0 : bits >= 64 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> bits);
    };
    return {a.hi & keep(length), a.lo & keep(length - 64)};
}

}  // namespace

Result<MmdbOwners> MmdbOwners::load(const std::string& path) {
    OwnerReader reader;
    Result<MmdbRanges> ranges = MmdbRanges::load(path, reader, true);
    if (!ranges) {
        return ranges.status();
    }
    reader.owners.shrink_to_fit();
    return MmdbOwners(std::move(*ranges), std::move(reader.owners));
}

std::optional<OwnerAnswer> MmdbOwners::owner(const IpAddress& address) const {
    const MmdbHit hit = address.isV4() ? ranges_.find(address.v4()) : ranges_.find(address.v6());
    if (hit.answer == 0) {
        return std::nullopt;
    }
    const NetworkOwner& owner = owners_[hit.answer];
    OwnerAnswer answer{owner.asNumber, owner.organisation, {}};
    if (address.isV4()) {
        const std::uint32_t mask =
            hit.prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - hit.prefixLength);
        answer.network = formatIp(IpAddress::fromV4(address.v4() & mask));
    } else {
        answer.network = formatIp(IpAddress::fromV6(masked(address.v6(), hit.prefixLength)));
    }
    answer.network += "/" + std::to_string(hit.prefixLength);
    return answer;
}

std::size_t MmdbOwners::tableBytes() const {
    std::size_t bytes = ranges_.tableBytes() + owners_.capacity() * sizeof(owners_[0]);
    for (const NetworkOwner& owner : owners_) {
        bytes += owner.organisation.capacity();
    }
    return bytes;
}

std::string ownerText(std::optional<std::uint32_t> asNumber, std::string_view organisation) {
    std::string text = asNumber ? "AS" + std::to_string(*asNumber) : std::string();
    if (!organisation.empty()) {
        text += (text.empty() ? "" : " ") + std::string(organisation);
    }
    return text;
}

}  // namespace netsorter
