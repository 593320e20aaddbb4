// Country codes from MaxMind DB files: what is refused and why, what is shown of a database,
// and that nothing of the file is held after loading. The answers themselves are compared
// with an independent reader in oracle/mmdb_oracle_test.cpp.
#include "geo/mmdb_countries.h"
#include "geo/mmdb_owners.h"
#include "geo/table_cache.h"
#include "nets/ip_address.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <cstring>
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

// What a database of the kind answers for a fixed spread of addresses (IPv4, IPv6, IPv4 under
// ::ffff:0:0/96), and what it says of itself, as one text: equal texts, equal tables.
std::string answersOf(const std::string& kind, const std::string& path, const std::string& cache) {
    std::mt19937_64 random(7);
    const auto spread = [&](auto answer) {
        std::string out;
        for (int i = 0; i < 4000; ++i) {
            const auto v4 = static_cast<std::uint32_t>(random());
            const Ipv6Number v6{0x2000000000000000 | random() >> 4, random()};
            out += answer(IpAddress::fromV4(v4)) + answer(IpAddress::fromV6(v6)) +
                   answer(IpAddress::fromV6({0, kMappedBits | v4})) + ",";
        }
        return out;
    };
    const auto said = [](const MmdbMetadata& m) {
        return m.databaseType + m.description + m.buildDate() + std::to_string(m.nodeCount);
    };
    if (kind == "country") {
        const Result<MmdbCountries> load = MmdbCountries::load(path, cache);
        return !load ? load.reason() : said(load->metadata()) + spread([&](const IpAddress& a) {
                                           return std::string((a.isV4() ? load->country(a.v4())
                                                                        : load->country(a.v6()))
                                                                  .value_or("-"));
                                       });
    }
    const Result<MmdbOwners> load = MmdbOwners::load(path, cache);
    return !load ? load.reason()
                 : said(load->metadata()) + spread([&](const IpAddress& a) {
                       const std::optional<OwnerAnswer> o = load->owner(a);
                       return o ? ownerText(o->asNumber, o->organisation) + o->networkText() : "-";
                   });
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MmdbCache, CachedTablesAnswerAsTheTreeDoes) {
    for (const auto& [kind, name] : {std::pair{"country", "geolite2.mmdb"},
                                     {"country", "location-ipv4.mmdb"},
                                     {"country", "location-ipv6-32.mmdb"},
                                     {"owner", "owners.mmdb"}}) {
        TempDir dir;
        dir.write("db.mmdb", sample(name));
        const std::string cache = dir.file("cache");
        const std::string walked = answersOf(kind, dir.file("db.mmdb"), "");
        EXPECT_EQ(answersOf(kind, dir.file("db.mmdb"), cache), walked) << name << ": made";
        const std::string file = tableCachePath(cache, kind, dir.file("db.mmdb"));
        ASSERT_TRUE(std::filesystem::exists(file)) << name;
#ifndef _WIN32
        // Read, not made again: the file is the one written before.
        struct stat before {
        }, after{};
        ::stat(file.c_str(), &before);
        EXPECT_EQ(answersOf(kind, dir.file("db.mmdb"), cache), walked) << name << ": read";
        ::stat(file.c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino) << name;
#endif
    }
}

// Whatever is wrong with the cache, the answers are the tree's, and the cache is made anew.
TEST(MmdbCache, AnyFaultOfTheCacheFallsBackToTheTree) {
    TempDir dir;
    dir.write("db.mmdb", sample("owners.mmdb"));
    const std::string db = dir.file("db.mmdb"), cache = dir.file("cache");
    const std::string walked = answersOf("owner", db, "");
    ASSERT_EQ(answersOf("owner", db, cache), walked);
    const std::string file = tableCachePath(cache, "owner", db);
    const std::string good = readAll(file);
    // Where the fourth section's length (the IPv4 runs) lies: after the header and three.
    std::size_t runs4 = 104;
    for (int i = 0; i < 3; ++i) {
        std::uint64_t length = 0;
        std::memcpy(&length, good.data() + runs4, 8);
        runs4 += 8 + length;
    }
    const auto with = [&](std::size_t at, std::uint64_t value, std::size_t width = 8) {
        std::string bytes = good;
        std::memcpy(bytes.data() + at, &value, width);
        return bytes;
    };
    const auto flipped = [&](std::size_t at) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
        return bytes;
    };
    const struct {
        const char* fault;
        std::string bytes;
    } faults[] = {
        {"a byte of the header", flipped(60)},
        {"a byte of the runs", flipped(runs4 + 1000)},
        {"the last byte", flipped(good.size() - 1)},
        {"truncated", good.substr(0, good.size() - 1)},
        {"half of it", good.substr(0, good.size() / 2)},
        {"a byte more", good + "x"},
        {"empty", ""},
        {"another version", with(8, 0xFFFF, 4)},
        {"another database's hash", std::string(good).replace(32, 64, std::string(64, '0'))},
        {"an absurd first length", with(104, std::uint64_t{1} << 62)},
        {"an absurd length of the runs", with(runs4, ~std::uint64_t{0} - 7)},
        {"the runs' length one off", with(runs4, good.size())},
    };
    for (const auto& f : faults) {
        dir.write("cache/" + std::filesystem::path(file).filename().string(), f.bytes);
        EXPECT_EQ(answersOf("owner", db, cache), walked) << f.fault;
        EXPECT_TRUE(readAll(file) == good) << f.fault << ": not made anew";
    }
    // A database changed under its cache answers as it is now.
    dir.write("db.mmdb", sample("both.mmdb"));
    EXPECT_EQ(answersOf("owner", db, cache), answersOf("owner", db, ""));
    // No cache to be had: a file in the folder's place, or the folder a file.
    dir.write("file", "");
    EXPECT_EQ(answersOf("owner", db, dir.file("file")), answersOf("owner", db, ""));
    EXPECT_EQ(answersOf("owner", db, dir.file("file") + "/cache"), answersOf("owner", db, ""));
}

}  // namespace
}  // namespace netsorter
