// Country codes from MaxMind DB files: what is refused and why, what is shown of a database,
// and that nothing of the file is held after loading. The answers themselves are compared
// with an independent reader in oracle/mmdb_oracle_test.cpp.
#include "geo/mmdb_countries.h"
#include "nets/ip_address.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "common/files.h"
#include "temp_dir.h"

namespace netsorter {
namespace {

using testing::TempDir;

const std::string kMarker = "\xAB\xCD\xEFMaxMind.com";

std::string sample(const std::string& name) {
    std::ifstream in(std::string(NETSORTER_MMDB_SAMPLES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Result<MmdbCountries> loadBytes(const std::string& bytes) {
    TempDir dir;
    dir.write("countries.mmdb", bytes);
    return MmdbCountries::load(dir.file("countries.mmdb"));
}

// Damage done to a sound IPv4 database of 24-bit records: node n's records at 6 n.
struct Surgery {
    std::string bytes = sample("location-ipv4.mmdb");
    std::uint32_t nodes = loadBytes(bytes).value().metadata().nodeCount;
    std::size_t treeEnd = std::size_t{nodes} * 6;
    std::size_t metadata = bytes.rfind(kMarker);

    std::uint32_t record(std::uint32_t node, int side) const {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + node * 6 + side * 3;
        return std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
    }
    Surgery& set(std::uint32_t node, int side, std::uint32_t value) {
        for (int i = 0; i < 3; ++i) {
            bytes[node * 6 + side * 3 + i] = static_cast<char>(value >> (16 - 8 * i));
        }
        return *this;
    }
    Surgery& fill(std::size_t from, std::size_t to, bool random) {
        std::mt19937 bits(18);
        for (std::size_t i = from; i < to; ++i) {
            bytes[i] = random ? static_cast<char>(bits()) : '\0';
        }
        return *this;
    }
    std::string cut(std::size_t size) const { return bytes.substr(0, size); }
    // Every node up to 31 leads to the next by both records, so the tree holds 2^32 paths.
    std::string sharedAtEveryLevel() {
        std::uint32_t data = 0;
        for (std::uint32_t n = 0; n < nodes && data == 0; ++n) {
            data = record(n, 0) > nodes ? record(n, 0) : 0;
        }
        for (std::uint32_t n = 0; n < 32; ++n) {
            set(n, 0, n < 31 ? n + 1 : data).set(n, 1, n < 31 ? n + 1 : data);
        }
        return bytes;
    }
};

TEST(MmdbCountries, DamagedOrForeignFilesAreRefusedWithTheReason) {
    const Surgery s;
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;  // a part of it
    } rows[] = {
        {"empty", "", "not a MaxMind DB"},
        {"truncated to one byte", s.cut(1), "not a MaxMind DB"},
        {"truncated in the tree", s.cut(s.treeEnd / 2), "not a MaxMind DB"},
        {"truncated in the separator", s.cut(s.treeEnd + 8), "not a MaxMind DB"},
        {"truncated in the data", s.cut((s.treeEnd + s.metadata) / 2), "not a MaxMind DB"},
        {"truncated before the metadata", s.cut(s.metadata), "not a MaxMind DB"},
        {"truncated in the marker", s.cut(s.metadata + 5), "not a MaxMind DB"},
        {"truncated in the metadata", s.cut(s.bytes.size() - 1), "not a MaxMind DB"},
        {"zero-filled", std::string(s.bytes.size(), '\0'), "not a MaxMind DB"},
        {"random", Surgery(s).fill(0, s.bytes.size(), true).bytes, "not a MaxMind DB"},
        {"zero-filled tree", Surgery(s).fill(0, s.treeEnd, false).bytes, "back to its root"},
        {"random tree", Surgery(s).fill(0, s.treeEnd, true).bytes, ""},
        {"random data", Surgery(s).fill(s.treeEnd + 16, s.metadata, true).bytes, ""},
        {"record past the data", Surgery(s).set(1, 0, 0xFFFFFF).bytes, "past the data section"},
        {"record into the separator", Surgery(s).set(1, 0, s.nodes + 3).bytes, "separator"},
        {"node leading to itself", Surgery(s).set(1, 0, 1).bytes, "past 32 bits"},
        {"nodes shared at every level", Surgery(s).sharedAtEveryLevel(), "far more often"},
        {"record size 30", sample("record-size-30.mmdb"), "not a MaxMind DB"},
        {"records without a country", sample("no-country.mmdb"), "no address has a country"},
        {"records that are texts", sample("not-maps.mmdb"), "is not a map"},
    };
    for (const auto& row : rows) {
        const Result<MmdbCountries> load = loadBytes(row.bytes);
        EXPECT_FALSE(load) << row.name;
        EXPECT_NE(load.reason(), "") << row.name;
        EXPECT_NE(load.reason().find(row.reason), std::string::npos)
            << row.name << ": " << load.reason();
    }
}

// A record's code is answered as it is, whatever its form; an empty one, or one that is no
// text, is no country. Only damage or a database without the field refuses the file.
TEST(MmdbCountries, OddCodesAnswerAsTheyAre) {
    const Result<MmdbCountries> load = loadBytes(sample("odd-codes.mmdb"));
    ASSERT_TRUE(load) << load.reason();
    const std::pair<const char*, std::optional<std::string_view>> rows[] = {
        {"10.1.1.1", "A1"},         {"11.1.1.1", std::nullopt}, {"12.1.1.1", "RUS"},
        {"13.1.1.1", std::nullopt}, {"14.1.1.1", std::nullopt},
    };
    for (const auto& [address, code] : rows) {
        IpAddress ip;
        ASSERT_TRUE(parseIp(address, ip)) << address;
        EXPECT_EQ(load->country(ip.v4()), code) << address;
    }
}

TEST(MmdbCountries, OnlyRegularFilesAreOpened) {
    TempDir dir;
    EXPECT_NE(MmdbCountries::load(dir.file("absent.mmdb")).reason(), "");
#ifndef _WIN32
    // libmaxminddb would wait for a writer.
    ASSERT_EQ(mkfifo(dir.file("fifo.mmdb").c_str(), 0600), 0);
    EXPECT_EQ(MmdbCountries::load(dir.file("fifo.mmdb")).reason(), notARegularFileReason());
#endif
}

TEST(MmdbCountries, MetadataForDisplay) {
    const struct {
        const char* sample;
        const char* type;
        const char* description;
        int ipVersion;
        int recordSize;
    } rows[] = {
        // English although another language comes first.
        {"geolite2.mmdb", "GeoLite2-Country", "GeoLite2 test data", 6, 28},
        {"location-ipv4.mmdb", "country ipv4", "Проверка", 4, 24},
        {"location-ipv6-32.mmdb", "country ipvAll", "", 6, 32},
    };
    for (const auto& row : rows) {
        const Result<MmdbCountries> load = loadBytes(sample(row.sample));
        ASSERT_TRUE(load) << row.sample << ": " << load.reason();
        const MmdbMetadata& m = load->metadata();
        EXPECT_EQ(m.databaseType, row.type) << row.sample;
        EXPECT_EQ(m.description, row.description) << row.sample;
        EXPECT_EQ(m.ipVersion, row.ipVersion) << row.sample;
        EXPECT_EQ(m.recordSize, row.recordSize) << row.sample;
        EXPECT_EQ(m.buildDate(), "2026-06-17") << row.sample;
    }
    Surgery notUtf8;
    notUtf8.bytes[notUtf8.bytes.rfind("Проверка")] = '\xFF';
    const Result<MmdbCountries> load = loadBytes(notUtf8.bytes);
    ASSERT_TRUE(load) << load.reason();
    EXPECT_EQ(load->metadata().description, "");

    const struct {
        std::uint64_t epoch;
        const char* date;
    } dates[] = {
        {0, "1970-01-01"},
        {951868799, "2000-02-29"},
        {951868800, "2000-03-01"},
        {std::numeric_limits<std::uint64_t>::max(), "9999-12-31"},
    };
    for (const auto& row : dates) {
        MmdbMetadata m;
        m.buildEpoch = row.epoch;
        EXPECT_EQ(m.buildDate(), row.date) << row.epoch;
    }
}

TEST(MmdbCountries, NothingOfTheFileIsHeldAfterLoading) {
    TempDir dir;
    dir.write("countries.mmdb", sample("geolite2.mmdb"));
    const Result<MmdbCountries> load = MmdbCountries::load(dir.file("countries.mmdb"));
    ASSERT_TRUE(load) << load.reason();
    std::ifstream maps("/proc/self/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
    EXPECT_EQ(mapped.find(dir.file("countries.mmdb")), std::string::npos);
    // On Windows an open or mapped file cannot be removed.
    std::filesystem::remove(dir.path() / "countries.mmdb");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "countries.mmdb"));
}

TEST(MmdbCountries, Ipv6InAnIpv4DatabaseFindsNothing) {
    const Result<MmdbCountries> load = loadBytes(sample("location-ipv4.mmdb"));
    ASSERT_TRUE(load) << load.reason();
    std::mt19937 random(18);
    int found = 0;
    while (found < 20) {
        const auto a = static_cast<std::uint32_t>(random());
        if (!load->country(a)) {
            continue;
        }
        ++found;
        Ipv6Number mapped{0, a};
        EXPECT_EQ(load->country(mapped), std::nullopt) << a;
        mapped.lo |= kMappedBits;
        EXPECT_EQ(load->country(mapped), std::nullopt) << a;
    }
}

}  // namespace
}  // namespace netsorter
