// A MaxMind DB of any bytes: loading never crashes, and a database that loads answers as
// libmaxminddb's own lookup (MMDB_lookup_sockaddr, then country_code, else
// country.iso_code; for owners the AS number, the organisation and the network's length)
// for every address the input names, as IPv4 and as IPv6. The input's
// first byte gives the number of addresses (its value mod 8, plus 1), the next 16 bytes each
// an IPv6 address whose last 4 bytes are the IPv4 one; the rest is the database.
#include <maxminddb.h>

#ifndef _WIN32
#include <netinet/in.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz_support.h"
#include "geo/mmdb_countries.h"
#include "geo/mmdb_owners.h"
#include "temp_dir.h"

namespace netsorter::fuzz {
namespace {

struct MmdbClose {
    void operator()(MMDB_s* db) const {
        MMDB_close(db);
        delete db;
    }
};

std::string hex(const std::uint8_t* bytes, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += "0123456789abcdef"[bytes[i] >> 4];
        text += "0123456789abcdef"[bytes[i] & 15];
    }
    return text;
}

// libmaxminddb's answer for a socket address: the code, or "-" for none.
std::string libraryCountry(const MMDB_s& db, const sockaddr* address, const std::string& what) {
    int error = MMDB_SUCCESS;
    MMDB_lookup_result_s result = MMDB_lookup_sockaddr(&db, address, &error);
    if (error == MMDB_IPV6_LOOKUP_IN_IPV4_DATABASE_ERROR) {
        return "-";
    }
    expect(error == MMDB_SUCCESS,
           what + ": libmaxminddb finds damage in a loaded database: " + MMDB_strerror(error));
    if (!result.found_entry) {
        return "-";
    }
    MMDB_entry_data_s data{};
    int status = MMDB_get_value(&result.entry, &data, "country_code", nullptr);
    if (status == MMDB_LOOKUP_PATH_DOES_NOT_MATCH_DATA_ERROR) {
        status = MMDB_get_value(&result.entry, &data, "country", "iso_code", nullptr);
    }
    if (status == MMDB_LOOKUP_PATH_DOES_NOT_MATCH_DATA_ERROR) {
        return "-";
    }
    expect(status == MMDB_SUCCESS,
           what + ": libmaxminddb cannot read the country of a loaded database");
    // A code that is empty or no text is no country.
    if (data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size == 0) {
        return "-";
    }
    return {data.utf8_string, data.data_size};
}

std::string ours(std::optional<std::string_view> code) {
    return code ? std::string(*code) : "-";
}

// libmaxminddb's owner for a socket address as "number organisation /length", the length
// counted in the address's own family; "-" for none.
std::string libraryOwner(const MMDB_s& db, const sockaddr* address, const std::string& what) {
    int error = MMDB_SUCCESS;
    MMDB_lookup_result_s result = MMDB_lookup_sockaddr(&db, address, &error);
    if (error == MMDB_IPV6_LOOKUP_IN_IPV4_DATABASE_ERROR || !result.found_entry) {
        return "-";
    }
    expect(error == MMDB_SUCCESS, what + ": libmaxminddb finds damage in a loaded database");
    std::string number;
    MMDB_entry_data_s data{};
    if (MMDB_get_value(&result.entry, &data, "autonomous_system_number", nullptr) == MMDB_SUCCESS) {
        if (data.type == MMDB_DATA_TYPE_UINT32) {
            number = std::to_string(data.uint32);
        } else if (data.type == MMDB_DATA_TYPE_UINT16) {
            number = std::to_string(data.uint16);
        } else if (data.type == MMDB_DATA_TYPE_UINT64 && data.uint64 <= UINT32_MAX) {
            number = std::to_string(data.uint64);
        } else if (data.type == MMDB_DATA_TYPE_INT32 && data.int32 >= 0) {
            number = std::to_string(data.int32);
        }
    }
    std::string organisation;
    if (MMDB_get_value(&result.entry, &data, "autonomous_system_organization", nullptr) ==
            MMDB_SUCCESS &&
        data.type == MMDB_DATA_TYPE_UTF8_STRING) {
        organisation.assign(data.utf8_string, data.data_size);
        if (!isValidUtf8(organisation)) {
            organisation.clear();
        }
    }
    if (number.empty() && organisation.empty()) {
        return "-";
    }
    int length = result.netmask;
    if (address->sa_family == AF_INET && db.metadata.ip_version == 6) {
        length -= 96;
    }
    return number + " " + organisation + " /" + std::to_string(length);
}

std::string ours(const std::optional<OwnerAnswer>& owner) {
    if (!owner) {
        return "-";
    }
    return (owner->asNumber ? std::to_string(*owner->asNumber) : "") + " " +
           std::string(owner->organisation) + " /" + std::to_string(owner->prefixLength);
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    if (size == 0) {
        return 0;
    }
    const std::size_t count = std::min<std::size_t>(data[0] % 8 + 1, (size - 1) / 16);
    std::vector<std::array<std::uint8_t, 16>> addresses(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(addresses[i].data(), data + 1 + 16 * i, 16);
    }
    const std::size_t skip = 1 + 16 * count;
    static const testing::TempDir dir;
    dir.write("db.mmdb", std::string(reinterpret_cast<const char*>(data) + skip, size - skip));
    const std::string path = dir.file("db.mmdb");

    const Result<MmdbCountries> load = MmdbCountries::load(path);
    expect(load.ok() != !load.reason().empty(), "a reason exactly on refusal");
    const Result<MmdbOwners> owners = MmdbOwners::load(path);
    expect(owners.ok() != !owners.reason().empty(), "a reason exactly on refusal");
    if (!load && !owners) {
        return 0;
    }
    std::unique_ptr<MMDB_s, MmdbClose> library(new MMDB_s{});
    if (MMDB_open(path.c_str(), MMDB_MODE_MMAP, library.get()) != MMDB_SUCCESS) {
        delete library.release();
        fail("libmaxminddb cannot open a database that loaded");
    }
    for (const std::array<std::uint8_t, 16>& a : addresses) {
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        std::memcpy(&v4.sin_addr, a.data() + 12, 4);
        const std::uint32_t number = std::uint32_t{a[12]} << 24 | std::uint32_t{a[13]} << 16 |
                                     std::uint32_t{a[14]} << 8 | a[15];
        const std::string what4 = dotted(number);
        const auto* address4 = reinterpret_cast<const sockaddr*>(&v4);
        if (load) {
            expectEqual("IPv4 " + what4, ours(load->country(number)),
                        libraryCountry(*library, address4, what4));
        }
        // Where the tree holds IPv4 elsewhere than under ::/96, libmaxminddb's length of an
        // IPv4 network is no IPv4 length.
        if (owners &&
            (library->metadata.ip_version == 4 || library->ipv4_start_node.netmask == 96)) {
            expectEqual("IPv4 owner " + what4, ours(owners->owner(IpAddress::fromV4(number))),
                        libraryOwner(*library, address4, what4));
        }

        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        std::memcpy(&v6.sin6_addr, a.data(), 16);
        const std::string what6 = hex(a.data(), 16);
        const auto* address6 = reinterpret_cast<const sockaddr*>(&v6);
        if (load) {
            expectEqual("IPv6 " + what6, ours(load->country(IpAddress::fromV6Bytes(a).v6())),
                        libraryCountry(*library, address6, what6));
        }
        if (owners) {
            expectEqual("IPv6 owner " + what6, ours(owners->owner(IpAddress::fromV6Bytes(a))),
                        libraryOwner(*library, address6, what6));
        }
    }
    return 0;
}
