#include "geo/mmdb_owners.h"

#include <utility>

#include "common/text.h"
#include "geo/mmdb_fields.h"
#include "geo/table_cache.h"

namespace netsorter {
namespace {

class OwnerReader final : public MmdbRecordReader {
  public:
    TableVector<MmdbOwners::Owner> owners{MmdbOwners::Owner{}};
    TableVector<char> organisations;

    bool recognised() const override { return sawOwnerField; }
    std::string unrecognised() const override {
        return std::string(kUnrecognised) +
               "an owner (autonomous_system_number or autonomous_system_organization) in it";
    }

    std::string_view cacheKind() const override { return "owner"; }

    void save(TableCacheWriter& cache) const override {
        cache.add(owners);
        cache.add(organisations);
    }

    bool restore(TableCacheReader& cache, std::uint32_t answers) override {
        TableVector<MmdbOwners::Owner> restored;
        TableVector<char> names;
        if (!cache.read(restored, std::uint64_t{MmdbRanges::kMaxAnswers} + 1) ||
            restored.size() <= answers || !cache.read(names, UINT32_MAX) || !cache.finish()) {
            return false;
        }
        for (const MmdbOwners::Owner& owner : restored) {
            if (owner.hasNumber > 1 ||
                std::uint64_t{owner.organisationAt} + owner.organisationSize > names.size()) {
                return false;
            }
        }
        owners = std::move(restored);
        organisations = std::move(names);
        sawOwnerField = true;
        return true;
    }

    Result<std::uint32_t> read(MMDB_entry_s& record) override {
        static const char* const numberPath[] = {"autonomous_system_number", nullptr};
        static const char* const organisationPath[] = {"autonomous_system_organization", nullptr};
        std::optional<std::uint32_t> number;
        std::string_view organisation;
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
                number = data.uint32;
            } else if (data.type == MMDB_DATA_TYPE_UINT16) {
                number = data.uint16;
            } else if (data.type == MMDB_DATA_TYPE_UINT64 && data.uint64 <= UINT32_MAX) {
                number = static_cast<std::uint32_t>(data.uint64);
            } else if (data.type == MMDB_DATA_TYPE_INT32 && data.int32 >= 0) {
                number = static_cast<std::uint32_t>(data.int32);
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
                organisation = text;
            }
        }
        if (!number && organisation.empty()) {
            return 0u;
        }
        return intern(number, organisation);
    }

  private:
    bool sawOwnerField = false;

    // Each record is read once, and writers store equal records once: no owner is kept
    // twice but by a writer that repeats records, which costs memory, not answers.
    Result<std::uint32_t> intern(std::optional<std::uint32_t> number,
                                 std::string_view organisation) {
        // Offsets are 32-bit; the format's own limit (4 GiB) is the same.
        if (organisations.size() + organisation.size() > UINT32_MAX) {
            return Status::failure("holds more organisation names than 4 GiB");
        }
        owners.push_back({number.value_or(0), number.has_value(),
                          static_cast<std::uint32_t>(organisations.size()),
                          static_cast<std::uint32_t>(organisation.size())});
        organisations.insert(organisations.end(), organisation.begin(), organisation.end());
        return static_cast<std::uint32_t>(owners.size() - 1);
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

Result<MmdbOwners> MmdbOwners::load(const std::string& path, const std::string& cacheDir) {
    OwnerReader reader;
    Result<MmdbRanges> ranges = MmdbRanges::load(path, reader, true, cacheDir);
    if (!ranges) {
        return ranges.status();
    }
    reader.owners.shrink_to_fit();
    reader.organisations.shrink_to_fit();
    return MmdbOwners(std::move(*ranges), std::move(reader.owners),
                      std::move(reader.organisations));
}

std::optional<OwnerAnswer> MmdbOwners::owner(const IpAddress& address) const {
    const MmdbHit hit = address.isV4() ? ranges_.find(address.v4()) : ranges_.find(address.v6());
    if (hit.answer == 0) {
        return std::nullopt;
    }
    const Owner& owner = owners_[hit.answer];
    OwnerAnswer answer;
    if (owner.hasNumber) {
        answer.asNumber = owner.asNumber;
    }
    answer.organisation = std::string_view(organisations_.data(), organisations_.size())
                              .substr(owner.organisationAt, owner.organisationSize);
    answer.prefixLength = hit.prefixLength;
    answer.key = hit.answer;
    if (address.isV4()) {
        const std::uint32_t mask =
            hit.prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - hit.prefixLength);
        answer.network = IpAddress::fromV4(address.v4() & mask);
    } else {
        answer.network = IpAddress::fromV6(masked(address.v6(), hit.prefixLength));
    }
    return answer;
}

std::string OwnerAnswer::networkText() const {
    std::string text;
    appendNetworkText(text);
    return text;
}

void OwnerAnswer::appendNetworkText(std::string& out) const {
    appendIp(out, network);
    out += '/';
    appendDecimal(out, static_cast<std::uint64_t>(prefixLength));
}

std::size_t MmdbOwners::tableBytes() const {
    return ranges_.tableBytes() + owners_.capacity() * sizeof(owners_[0]) +
           organisations_.capacity();
}

std::string ownerText(std::optional<std::uint32_t> asNumber, std::string_view organisation) {
    std::string text;
    appendOwnerText(text, asNumber, organisation);
    return text;
}

void appendOwnerText(std::string& out, std::optional<std::uint32_t> asNumber,
                     std::string_view organisation) {
    if (asNumber) {
        out += "AS";
        appendDecimal(out, *asNumber);
    }
    if (!organisation.empty()) {
        if (asNumber) {
            out += ' ';
        }
        out += organisation;
    }
}

}  // namespace netsorter
