// The libmaxminddb this build links (Debian's natively, the pinned source built with this
// build's compilers for Windows) against the shipped country database: a library built for
// the wrong target, or a database damaged on its way, answers wrongly or not at all.
#include <maxminddb.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

struct MmdbClose {
    void operator()(MMDB_s* db) const {
        MMDB_close(db);
        delete db;
    }
};
using Mmdb = std::unique_ptr<MMDB_s, MmdbClose>;

Mmdb openShipped() {
    auto db = std::make_unique<MMDB_s>();
    const int status = MMDB_open(NETSORTER_COUNTRY_MMDB, MMDB_MODE_MMAP, db.get());
    if (status != MMDB_SUCCESS) {
        ADD_FAILURE() << NETSORTER_COUNTRY_MMDB << ": " << MMDB_strerror(status);
        return nullptr;
    }
    return Mmdb(db.release());
}

// The record's country_code, or nothing where the database has no entry.
std::optional<std::string> countryCode(MMDB_s& db, const char* address) {
    int gai_error = 0;
    int status = MMDB_SUCCESS;
    MMDB_lookup_result_s result = MMDB_lookup_string(&db, address, &gai_error, &status);
    EXPECT_EQ(gai_error, 0) << address;
    EXPECT_EQ(status, MMDB_SUCCESS) << address << ": " << MMDB_strerror(status);
    if (!result.found_entry)
        return std::nullopt;
    MMDB_entry_data_s data{};
    status = MMDB_get_value(&result.entry, &data, "country_code", nullptr);
    EXPECT_EQ(status, MMDB_SUCCESS) << address << ": " << MMDB_strerror(status);
    if (status != MMDB_SUCCESS || !data.has_data || data.type != MMDB_DATA_TYPE_UTF8_STRING) {
        return std::string{};
    }
    return std::string(data.utf8_string, data.data_size);
}

TEST(ShippedCountryDatabase, AnswersIpv4AndIpv6) {
    const struct {
        const char* address;
        std::optional<std::string> code;
    } cases[] = {
        // IPv4 addresses through the IPv6 tree's IPv4 subtree.
        {"77.88.8.8", "RU"},
        {"1.1.1.1", "AU"},
        {"8.8.8.8", "US"},
        // IPv6, whose 128-bit arithmetic differs between the i686 and x86_64 builds.
        {"2a02:6b8::1", "RU"},
        {"2001:4860:4860::8888", "US"},
        // Private and link-local addresses have no entry.
        {"10.0.0.1", std::nullopt},
        {"fe80::1", std::nullopt},
    };
    const Mmdb db = openShipped();
    ASSERT_TRUE(db);
    EXPECT_EQ(db->metadata.ip_version, 6);
    for (const auto& c : cases)
        EXPECT_EQ(countryCode(*db, c.address), c.code) << c.address;
}

}  // namespace
