// The country lookup against the legacy GeoIP C library, on the real database and on
// databases that the library's own generator builds from CSV ranges.
#include <GeoIP.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "oracle/oracle_support.h"

namespace netsorter::oracle {
namespace {

struct GeoIPDelete {
    void operator()(GeoIP* gi) const { GeoIP_delete(gi); }
};
using GeoIPHandle = std::unique_ptr<GeoIP, GeoIPDelete>;

GeoIPHandle openLibrary(const std::string& path) {
    return GeoIPHandle(GeoIP_open(path.c_str(), GEOIP_MEMORY_CACHE | GEOIP_SILENCE));
}

int libraryIndex(GeoIP* gi, std::uint32_t address) {
    return GeoIP_id_by_ipnum(gi, address);
}

// The library answers 0 for the address 0 without reading the tree; there the tree's own
// leaf, as the test walks it, is the answer.
int expectedIndex(GeoIP* gi, const std::vector<LeafRange>& ranges, std::uint32_t address) {
    return address == 0 ? ranges.front().index : libraryIndex(gi, address);
}

// Counts the addresses compared and reports the first few disagreements.
class Comparison {
  public:
    explicit Comparison(const char* what) : what_(what) {}
    ~Comparison() {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        std::cout << what_ << ": " << checked_ << " addresses compared, " << mismatches_
                  << " disagreements, " << took.count() << " s\n";
    }

    void expect(std::uint32_t address, int ours, int theirs) {
        ++checked_;
        if (ours != theirs && ++mismatches_ <= 10) {
            ADD_FAILURE() << dotted(address) << ": ours " << ours << ", library " << theirs;
        }
    }
    size_t checked() const { return checked_; }

  private:
    const char* what_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    size_t checked_ = 0;
    size_t mismatches_ = 0;
};

class OracleRealDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = openLibrary(NETSORTER_GEOIP_DAT);
        ASSERT_TRUE(library_) << NETSORTER_GEOIP_DAT;
        ASSERT_EQ(GeoIP_database_edition(library_.get()), GEOIP_COUNTRY_EDITION);
        ASSERT_TRUE(ours_.ready()) << NETSORTER_GEOIP_DAT;
        db_ = readBytes(NETSORTER_GEOIP_DAT);
        ranges_ = leafRanges(db_);
        ASSERT_TRUE(tilesAddressSpace(ranges_)) << ranges_.size() << " leaves";
    }
    void TearDown() override {
        EXPECT_TRUE(ours_.ui().shown.empty()) << "no message box on a sound database";
    }

    int expected(std::uint32_t address) const {
        return expectedIndex(library_.get(), ranges_, address);
    }

    GeoIPHandle library_;
    IndexLookup ours_{NETSORTER_GEOIP_DAT};
    std::string db_;
    std::vector<LeafRange> ranges_;
};

TEST_F(OracleRealDatabase, RandomAddressesAgree) {
    Comparison c("random addresses");
    size_t found = 0;
    for (const std::uint32_t a : randomAddresses()) {
        const int theirs = expected(a);
        found += theirs != 0;
        c.expect(a, ours_.index(a), theirs);
    }
    EXPECT_EQ(c.checked(), kRandomAddresses);
    // Most of the address space has a country; a database that answers nowhere proves nothing.
    EXPECT_GT(found, kRandomAddresses / 2);
}

TEST_F(OracleRealDatabase, FirstAndLastAddressOfEveryLeafAgree) {
    std::cout << ranges_.size() << " leaf ranges enumerated\n";
    Comparison c("first and last addresses of the leaves");
    for (const LeafRange& r : ranges_) {
        for (const std::uint32_t a : {r.first, r.last}) {
            const int theirs = expected(a);
            ASSERT_EQ(theirs, r.index) << "the test's own walk disagrees at " << dotted(a);
            c.expect(a, ours_.index(a), theirs);
        }
    }
    EXPECT_EQ(c.checked(), 2 * ranges_.size());
}

// --- the IPv6 edition ---

// The library's IPv6 lookup, told not to take a Teredo address (2001:0::/32) for the IPv4
// address of its client, which it does by default: the file's own tree answers those, as
// the .mmdb's does.
int libraryIndex(GeoIP* gi, const Ipv6Number& address) {
    geoipv6_t number{};
    std::memcpy(number.s6_addr, networkBytes(address).data(), sizeof number.s6_addr);
    return GeoIP_id_by_ipnum_v6(gi, number);
}

// Both take 16776960 for no country: the library as the leaf of index 0, ours as a node
// number beyond the file's end (or, at the last level, as the answer it stands for).
TEST(OracleIpv6Database, AddressesWhereTheDatabaseAnswersAgree) {
    GeoIPHandle library = openLibrary(NETSORTER_GEOIPV6_DAT);
    ASSERT_TRUE(library) << NETSORTER_GEOIPV6_DAT;
    ASSERT_EQ(GeoIP_database_edition(library.get()), GEOIP_COUNTRY_EDITION_V6);
    GeoIP_enable_teredo(library.get(), 0);
    IndexLookup ours(NETSORTER_GEOIP_DAT, NETSORTER_GEOIPV6_DAT);
    ASSERT_TRUE(ours.ready()) << NETSORTER_GEOIPV6_DAT;
    const std::vector<LeafRange6> ranges = leafRanges6(readBytes(NETSORTER_GEOIPV6_DAT));
    ASSERT_TRUE(tilesAddressSpace(ranges)) << ranges.size() << " leaves";
    std::cout << ranges.size() << " leaf ranges enumerated\n";

    const std::vector<Ipv6Number> addresses = ipv6Addresses(ranges);
    size_t checked = 0;
    size_t found = 0;
    size_t mismatches = 0;
    for (const Ipv6Number& a : addresses) {
        const int theirs = libraryIndex(library.get(), a);
        const auto leaf =
            std::upper_bound(ranges.begin(), ranges.end(), a,
                             [](const Ipv6Number& x, const LeafRange6& r) { return x < r.first; }) -
            1;
        ASSERT_EQ(theirs, leaf->index) << "the test's own walk disagrees at " << fullHex(a);
        const int mine = ours.index(a);
        ++checked;
        found += theirs != 0;
        if (mine != theirs && ++mismatches <= 10) {
            ADD_FAILURE() << fullHex(a) << ": ours " << mine << ", library " << theirs;
        }
    }
    std::cout << checked << " IPv6 addresses compared, " << found << " with a country, "
              << mismatches << " disagreements\n";
    EXPECT_EQ(checked, kIpv6Addresses);
    EXPECT_GT(found, kIpv6Addresses / 2);
    EXPECT_TRUE(ours.ui().shown.empty()) << "no message box on a sound database";
}

// --- databases built by the library's generator ---

struct CsvRange {
    const char* first;
    const char* last;
    const char* code;
};

std::uint32_t addressNumber(const char* text) {
    std::uint32_t n = 0;
    std::string_view s(text);
    for (int i = 0; i < 4; ++i) {
        unsigned octet = 0;
        const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), octet);
        n = n << 8 | octet;
        s.remove_prefix(static_cast<size_t>(end - s.data()) + (i < 3 ? 1 : 0));
        (void)error;
    }
    return n;
}

std::string csvLine(const CsvRange& r) {
    return "\"" + std::string(r.first) + "\",\"" + r.last + "\",\"" +
           std::to_string(addressNumber(r.first)) + "\",\"" +
           std::to_string(addressNumber(r.last)) + "\",\"" + r.code + "\",\"" + r.code + "\"\n";
}

TEST(OracleGeneratedDatabases, RangesOfTheCsvAgree) {
    const struct {
        const char* name;
        std::vector<CsvRange> ranges;
    } databases[] = {
        {"scattered",
         {{"1.0.0.0", "1.0.0.255", "AU"},
          {"10.0.0.5", "10.0.1.7", "RU"},
          {"77.88.55.66", "77.88.55.66", "RU"},
          {"128.0.0.0", "191.255.255.255", "US"},
          {"192.168.1.1", "192.168.1.254", "DE"},
          {"200.1.2.3", "200.1.2.200", "BR"}}},
        {"ends of the address space",
         {{"0.0.0.0", "0.0.0.255", "FR"},
          {"0.0.1.0", "0.0.1.0", "GB"},
          {"255.255.255.0", "255.255.255.255", "JP"}}},
        {"adjacent ranges, lowest and highest indexes",
         {{"5.5.5.0", "5.5.5.127", "UA"},
          {"5.5.5.128", "5.5.5.128", "AP"},
          {"5.5.5.129", "5.5.6.10", "EU"},
          {"5.5.6.11", "5.5.6.11", "BY"},
          {"9.255.255.255", "10.0.0.0", "ZW"},
          {"100.0.0.0", "100.0.0.3", "BQ"}}},
        {"one country everywhere", {{"0.0.0.0", "255.255.255.255", "SE"}}},
    };
    for (const auto& database : databases) {
        SCOPED_TRACE(database.name);
        testing::TempDir dir;
        std::string csv;
        for (const CsvRange& r : database.ranges) {
            ASSERT_NE(GeoIP_id_by_code(r.code), 0) << r.code;
            csv += csvLine(r);
        }
        dir.write("ranges.csv", csv);
        const std::string out = (dir.path() / "GeoIP.dat").string();
        const std::string command = std::string("\"") + NETSORTER_GEOIP_GENERATOR + "\" -o \"" +
                                    out + "\" \"" + (dir.path() / "ranges.csv").string() + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        GeoIPHandle library = openLibrary(out);
        ASSERT_TRUE(library);
        IndexLookup ours(out);
        ASSERT_TRUE(ours.ready());

        auto expected = [&](std::uint32_t a) {
            for (const CsvRange& r : database.ranges) {
                if (a >= addressNumber(r.first) && a <= addressNumber(r.last)) {
                    return GeoIP_id_by_code(r.code);
                }
            }
            return 0;
        };
        Comparison c(database.name);
        for (const CsvRange& r : database.ranges) {
            const std::uint64_t first = addressNumber(r.first);
            const std::uint64_t last = addressNumber(r.last);
            for (const std::uint64_t a : {first - 1, first, (first + last) / 2, last, last + 1}) {
                if (a > 0xFFFFFFFFu) {
                    continue;  // before 0.0.0.0 or after 255.255.255.255
                }
                const auto address = static_cast<std::uint32_t>(a);
                if (address != 0) {
                    EXPECT_EQ(libraryIndex(library.get(), address), expected(address))
                        << dotted(address);
                }
                c.expect(address, ours.index(address), expected(address));
            }
        }
        // And every leaf the generator wrote.
        const std::vector<LeafRange> ranges = leafRanges(readBytes(out));
        ASSERT_TRUE(tilesAddressSpace(ranges));
        for (const LeafRange& r : ranges) {
            for (const std::uint32_t a : {r.first, r.last}) {
                c.expect(a, ours.index(a), expectedIndex(library.get(), ranges, a));
            }
        }
        EXPECT_TRUE(ours.ui().shown.empty());
    }
}

}  // namespace
}  // namespace netsorter::oracle
