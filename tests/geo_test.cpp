#include "geo/geo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/files.h"
#include "fake_ui.h"
#include "geo_databases.h"
#include "temp_dir.h"

namespace netsorter {
namespace {

using testing::database;
using testing::FakeUi;
using testing::kLeafBase;
using testing::leaf;
using testing::Node;
using testing::octetDatabase;
using testing::TempDir;
namespace fs = std::filesystem;

constexpr const char* kPromptTitle = "Ошибка";

// One path of a node per level that follows the bits of address (its low levels bits) to
// the record end (the leaf "Here"); every turn off it ends at once in the leaf "Off".
std::string singlePathDatabase(Ipv6Number address, int levels, std::uint32_t end = leaf(1)) {
    std::vector<Node> nodes;
    for (int level = 0; level < levels; ++level) {
        const std::uint32_t next =
            level == levels - 1 ? end : static_cast<std::uint32_t>(level + 1);
        const int bit = levels - 1 - level;
        const bool right = ((bit >= 64 ? address.hi >> (bit - 64) : address.lo >> bit) & 1) != 0;
        nodes.push_back(right ? Node{leaf(2), next} : Node{next, leaf(2)});
    }
    return database(nodes);
}
std::string singlePathDatabase(std::uint32_t address, std::uint32_t end = leaf(1)) {
    return singlePathDatabase({0, address}, 32, end);
}
constexpr const char* kSinglePathCountries = "1\tHere\n2\tOff\n";

Ipv6Number v6(std::string_view text) {
    IpAddress address;
    EXPECT_TRUE(parseIp(text, address) && !address.isV4()) << text;
    return address.v6();
}

std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// A lookup object with its files in a private directory; what it would have the user told
// (the damage message, the questions of a load) is recorded in ui.shown.
struct Geo {
    TempDir dir;
    FakeUi ui;
    clsGeo geo;

    bool loadCountries(const std::string& text) {
        dir.write("countries.txt", text);
        return openCountries("countries.txt");
    }
    bool openCountries(const std::string& name) {
        return geo.openCountriesFile(dir.file(name), ui.ask(), ui.yield()).ok();
    }
    // With GeoIPv6.dat beside it when ipv6 is given.
    bool loadDatabase(const std::string& bytes, GeoAccess access = GeoAccess::PositionedReads,
                      const std::optional<std::string>& ipv6 = std::nullopt) {
        dir.write("GeoIP.dat", bytes);
        if (ipv6) {
            dir.write("GeoIPv6.dat", *ipv6);
        }
        return geo.openDataFile(dir.file("GeoIP.dat"), access, dir.file("GeoIPv6.dat")).ok();
    }
    void load(const std::string& bytes, const std::string& countries) {
        EXPECT_TRUE(loadCountries(countries));
        EXPECT_TRUE(loadDatabase(bytes));
    }
    std::optional<std::string> lookup(std::string_view ip) {
        const CountryLookup found = geo.getCountryByIP(ip, ui.yield());
        if (found.damaged) {
            ui.report(*found.damaged);
        }
        if (found.found) {
            return std::string(found.description);
        }
        return std::nullopt;
    }
    std::optional<std::string> byIndex(int index) {
        return lookup(std::to_string(index) + ".0.0.1");
    }
    std::vector<std::string> promptKeys() const {
        std::vector<std::string> keys;
        for (const auto& box : ui.shown) {
            const size_t open = box.text.find('(');
            const size_t close = box.text.find(")\r\n");
            keys.push_back(box.text.substr(open + 1, close - open - 1));
        }
        return keys;
    }
};

void expectDamageBox(const testing::ShownBox& box) {
    EXPECT_EQ(box.text, "Файл с данными о IP повреждён!");
    EXPECT_EQ(box.title, "Внимание");
}

// --- the database walk ---

TEST(GeoDatabase, SixByteDatabaseAnswersByTheTopBit) {
    Geo g;
    // The key "0" must stay out of reach: 16776960 is no leaf.
    g.load(database({{kLeafBase, leaf(1)}}), "0\tZero\n1\tOne\n");
    const struct {
        const char* ip;
        std::optional<std::string> expected;
    } rows[] = {
        {"128.0.0.1", "One"},
        {"255.255.255.255", "One"},
        {"128.0.0.0", "One"},
        // 16776960 is a node number here, far beyond a 6-byte file.
        {"10.0.0.1", std::nullopt},
        {"0.0.0.0", std::nullopt},
        {"127.255.255.255", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(g.lookup(row.ip), row.expected) << row.ip;
    }
    EXPECT_TRUE(g.ui.shown.empty());
    EXPECT_TRUE(g.geo.DataFileOk());
}

TEST(GeoDatabase, WalkLeavingTheFileEndsQuietlyAndKeepsItOpen) {
    // The left side of the root goes astray; the right side stays a good leaf.
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"node number equal to the length", database({{12, leaf(1)}, {0, 0}})},
        {"node number far beyond the length", database({{1000000, leaf(1)}})},
        {"node past the last one, number below the length", database({{5, leaf(1)}, {0, 0}})},
        {"node whose bytes lie partly past the end", database({{1, leaf(1)}}) + "\x01\x02"},
        {"not-found record", database({{kLeafBase, leaf(1)}})},
    };
    for (const auto& row : rows) {
        Geo g;
        g.load(row.bytes, "1\tOne\n");
        EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt) << row.name;
        EXPECT_EQ(g.lookup("200.0.0.1"), "One") << row.name;
        EXPECT_TRUE(g.ui.shown.empty()) << row.name;
        EXPECT_TRUE(g.geo.DataFileOk()) << row.name;
    }
}

TEST(GeoDatabase, NoCountryOnTheLastLevelIsNoDamage) {
    // The real GeoIP.dat holds such single addresses, 91.218.38.187 among them.
    Geo g;
    g.load(singlePathDatabase(0x5BDA26BB, kLeafBase), kSinglePathCountries);
    EXPECT_EQ(g.lookup("91.218.38.187"), std::nullopt);
    EXPECT_TRUE(g.ui.shown.empty());
    EXPECT_TRUE(g.geo.DataFileOk());
    EXPECT_EQ(g.lookup("91.218.38.186"), "Off");
}

TEST(GeoDatabase, EmptyDatabaseFindsNothing) {
    Geo g;
    g.load("", "1\tOne\n");
    EXPECT_EQ(g.lookup("128.0.0.1"), std::nullopt);
    EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
    EXPECT_TRUE(g.ui.shown.empty());
    EXPECT_TRUE(g.geo.DataFileOk());
}

TEST(GeoDatabase, CyclicDatabaseIsReportedOnceAndClosed) {
    for (const size_t size : {size_t{6}, size_t{12}, size_t{600}}) {
        Geo g;
        g.load(std::string(size, '\0'), "1\tOne\n");
        EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
        ASSERT_EQ(g.ui.shown.size(), 1u) << size;
        expectDamageBox(g.ui.shown[0]);
        EXPECT_FALSE(g.geo.DataFileOk());

        const int turns = g.ui.doEventsCalls;
        EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
        EXPECT_EQ(g.lookup("255.0.0.1"), std::nullopt);
        EXPECT_EQ(g.ui.shown.size(), 1u);
        EXPECT_EQ(g.ui.doEventsCalls, turns) << "a closed database is not even walked";

        // Only a new open brings it back, damage and all.
        EXPECT_TRUE(g.geo.openDataFile(g.dir.file("GeoIP.dat")).ok());
        EXPECT_TRUE(g.geo.DataFileOk());
        EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
        EXPECT_EQ(g.ui.shown.size(), 2u);
    }
}

TEST(GeoDatabase, PathFollowsTheAddressBitsMostSignificantFirst) {
    // 0.0.0.0 turns left at all 32 levels, 255.255.255.255 right; the others check that
    // both 16-bit halves are padded and placed in order.
    for (const std::uint32_t address :
         {0x00000000u, 0xFFFFFFFFu, 0x01020304u, 0x00010000u, 0x00008000u, 0x80000001u, 0x0000FFFFu,
          0xFFFF0000u, 0x7FFFFFFEu}) {
        Geo g;
        g.load(singlePathDatabase(address), kSinglePathCountries);
        EXPECT_EQ(g.lookup(dotted(address)), "Here") << dotted(address);
        for (int bit = 0; bit < 32; ++bit) {
            const std::uint32_t other = address ^ (1u << bit);
            EXPECT_EQ(g.lookup(dotted(other)), "Off") << dotted(address) << " bit " << bit;
        }
        EXPECT_TRUE(g.ui.shown.empty());
    }
}

TEST(GeoDatabase, AddressTextIsReadAsDottedOctets) {
    Geo g;
    g.load(singlePathDatabase(0x01020304), kSinglePathCountries);
    const struct {
        const char* ip;
        std::optional<std::string> expected;
    } rows[] = {
        {"1.2.3.4", "Here"},         {"1.2.3.4xyz", "Here"},  {"1.2.3.4/8", "Here"},
        {"1.2.3.5", "Off"},          {"1.2.3", std::nullopt}, {"a.b.c.d", std::nullopt},
        {"1.2.3.256", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(g.lookup(row.ip), row.expected) << row.ip;
    }
}

TEST(GeoDatabase, LeafIndexIsLookedUpByItsPlainDecimalText) {
    Geo g;
    g.load(database({{leaf(7), leaf(255)}}),
           "07\tleading zero\n 7\tleading blank\n+7\tsign\n7 \ttrailing blank\n255\tLast\n");
    EXPECT_EQ(g.lookup("1.0.0.0"), std::nullopt);
    EXPECT_EQ(g.lookup("200.0.0.0"), "Last");

    // A later load adds to the table.
    EXPECT_TRUE(g.loadCountries("7\tSeven\n"));
    EXPECT_EQ(g.lookup("1.0.0.0"), "Seven");
    EXPECT_TRUE(g.ui.shown.empty());
}

TEST(GeoDatabase, WithoutTheTableTheDatabaseIsNeverRead) {
    enum class Table { NeverLoaded, FileMissing, Refused };
    for (const Table table : {Table::NeverLoaded, Table::FileMissing, Table::Refused}) {
        Geo g;
        if (table == Table::FileMissing) {
            EXPECT_FALSE(g.openCountries("countries.txt"));
        } else if (table == Table::Refused) {
            g.ui.answers = {false};
            EXPECT_FALSE(g.loadCountries("1\tA\n1\tB\n"));
        }
        const size_t prompts = g.ui.shown.size();
        EXPECT_FALSE(g.geo.CountriesIsOK());
        // Damaged: reading it would show the damage message.
        EXPECT_TRUE(g.loadDatabase(std::string(12, '\0')));
        EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
        EXPECT_EQ(g.ui.shown.size(), prompts);
        EXPECT_TRUE(g.geo.DataFileOk());
    }
}

TEST(GeoDatabase, OpeningFails) {
    Geo g;
    EXPECT_FALSE(g.geo.openDataFile(g.dir.file("GeoIP.dat")).ok());
    EXPECT_FALSE(g.geo.DataFileOk());
    EXPECT_FALSE(g.geo.openDataFile(g.dir.file("absent.dat")).ok());
    fs::create_directory(g.dir.path() / "folder.dat");
    EXPECT_FALSE(g.geo.openDataFile(g.dir.file("folder.dat")).ok());
    EXPECT_TRUE(g.ui.shown.empty());

    // A failed open after a good one leaves no usable database.
    g.load(database({{leaf(1), leaf(1)}}), "1\tOne\n");
    EXPECT_EQ(g.lookup("1.2.3.4"), "One");
    EXPECT_FALSE(g.geo.openDataFile(g.dir.file("absent.dat")).ok());
    EXPECT_FALSE(g.geo.DataFileOk());
    EXPECT_EQ(g.lookup("1.2.3.4"), std::nullopt);
}

TEST(GeoDatabase, OpensAnAbsoluteName) {
    Geo g;
    TempDir elsewhere;
    elsewhere.write("other.dat", database({{leaf(1), leaf(1)}}));
    EXPECT_TRUE(g.loadCountries("1\tOne\n"));
    EXPECT_TRUE(g.geo.openDataFile(elsewhere.file("other.dat")).ok());
    EXPECT_EQ(g.lookup("1.2.3.4"), "One");
}

// --- lookups nested in the turns a lookup gives to other events ---

TEST(GeoDatabase, NestedLookupThatFindsDamageEndsTheOuterOneQuietly) {
    const std::string damaged(12, '\0');
    const std::string good = database({{leaf(1), leaf(1)}});
    const struct {
        const char* name;
        std::string v4;
        std::string v6;
        const char* outer;
        const char* nested;
    } rows[] = {
        {"GeoIP.dat", damaged, good, "1.2.3.4", "5.6.7.8"},
        {"GeoIPv6.dat", good, damaged, "2001:db8::1", "2001:db8::2"},
        {"GeoIP.dat, which closes GeoIPv6.dat too", damaged, good, "2001:db8::1", "1.2.3.4"},
    };
    for (const auto& row : rows) {
        Geo g;
        EXPECT_TRUE(g.loadCountries("1\tOne\n"));
        EXPECT_TRUE(g.loadDatabase(row.v4, GeoAccess::PositionedReads, row.v6));
        bool nested = false;
        g.ui.onDoEvents = [&] {
            if (!nested) {
                nested = true;
                EXPECT_EQ(g.lookup(row.nested), std::nullopt) << row.name;
            }
        };
        EXPECT_EQ(g.lookup(row.outer), std::nullopt) << row.name;
        EXPECT_TRUE(nested) << row.name;
        ASSERT_EQ(g.ui.shown.size(), 1u) << row.name;
        expectDamageBox(g.ui.shown[0]);
    }
}

TEST(GeoDatabase, NestedRefusedLoadEndsTheOuterLookupQuietly) {
    Geo g;
    g.load(octetDatabase(), "1\tOne\n");
    g.dir.write("bad.txt", "2\tA\n2\tB\n");
    bool nested = false;
    g.ui.answers = {false};
    g.ui.onDoEvents = [&] {
        if (!nested) {
            nested = true;
            EXPECT_FALSE(g.openCountries("bad.txt"));
        }
    };
    EXPECT_EQ(g.lookup("1.0.0.1"), std::nullopt);
    EXPECT_FALSE(g.geo.CountriesIsOK());
    EXPECT_EQ(g.ui.shown.size(), 1u);
    EXPECT_TRUE(g.geo.DataFileOk());
}

TEST(GeoDatabase, RealSizedTreeAnswersEveryFirstOctet) {
    Geo g;
    std::string countries;
    for (int i = 1; i <= 255; ++i) {
        countries += std::to_string(i) + "\tC" + std::to_string(i) + "\n";
    }
    g.load(octetDatabase(), countries);
    EXPECT_EQ(g.byIndex(0), std::nullopt);
    for (int i = 1; i <= 255; ++i) {
        EXPECT_EQ(g.byIndex(i), "C" + std::to_string(i));
    }
}

// --- the IPv6 edition beside GeoIP.dat ---

TEST(GeoIpv6Database, PathFollowsAll128BitsWithATurnPerDigitOfEachGroup) {
    const struct {
        const char* ip;
        int turns;  // the binary digits of its eight 16-bit groups
    } rows[] = {
        {"::", 8},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 128},
        {"2001:db8::1", 14 + 12 + 5 + 1},
        {"8000::", 16 + 7},
        {"::1", 8},
        {"0:0:0:1::", 8},
        {"::8000:0:0:0", 7 + 16},
        {"7fff:ffff:ffff:ffff:ffff:ffff:ffff:fffe", 15 + 7 * 16},
    };
    for (const auto& row : rows) {
        const Ipv6Number address = v6(row.ip);
        Geo g;
        EXPECT_TRUE(g.loadCountries(kSinglePathCountries));
        EXPECT_TRUE(g.loadDatabase(database({{leaf(2), leaf(2)}}), GeoAccess::PositionedReads,
                                   singlePathDatabase(address, 128)));
        g.ui.doEventsCalls = 0;
        EXPECT_EQ(g.lookup(row.ip), "Here") << row.ip;
        EXPECT_EQ(g.ui.doEventsCalls, row.turns) << row.ip;
        for (int bit = 0; bit < 128; ++bit) {
            Ipv6Number other = address;
            (bit < 64 ? other.lo : other.hi) ^= std::uint64_t{1} << (bit % 64);
            const std::string text = formatIp(IpAddress::fromV6(other));
            EXPECT_EQ(g.lookup(text), "Off") << row.ip << " bit " << bit;
        }
        EXPECT_TRUE(g.ui.shown.empty());
    }
}

// Lookups in turn on one lookup object: what each answers and how many damage messages
// have been shown by then. GeoIP.dat below: 128.0.0.0 up is "One", the rest "Two".
TEST(GeoIpv6Database, EndsOfTheWalkAndTheDamageRule) {
    const std::string good = database({{leaf(2), leaf(1)}});
    const std::string damaged(12, '\0');
    const std::string three = database({{leaf(3), leaf(3)}});
    struct Step {
        const char* ip;
        std::optional<std::string> expected;
        size_t messages;
    };
    const struct {
        const char* name;
        std::string v4;
        std::optional<std::string> v6;
        std::vector<Step> steps;
    } rows[] = {
        {"no GeoIPv6.dat", good, std::nullopt, {{"2001:db8::1", {}, 0}, {"200.0.0.1", "One", 0}}},
        {"empty", good, "", {{"2001:db8::1", {}, 0}}},
        {"node number far beyond the length",
         good,
         database({{1000000, leaf(3)}}),
         {{"2001:db8::1", {}, 0}, {"8000::1", "Three", 0}}},
        {"node whose bytes lie partly past the end",
         good,
         database({{1, leaf(3)}}) + "\x01\x02",
         {{"2001:db8::1", {}, 0}, {"8000::1", "Three", 0}}},
        {"no country at the last level is no damage",
         good,
         singlePathDatabase(v6("2001:db8::5bda:26bb"), 128, kLeafBase),
         {{"2001:db8::5bda:26bb", {}, 0}, {"2001:db8::5bda:26ba", "Two", 0}}},
        {"back to the root at the last level: GeoIPv6.dat alone is closed",
         good,
         singlePathDatabase(v6("2001:db8::5bda:26bb"), 128, 0),
         {{"2001:db8::5bda:26bb", {}, 1}, {"2001:db8::5bda:26ba", {}, 1}, {"200.0.0.1", "One", 1}}},
        {"every record back to the root",
         good,
         damaged,
         {{"8000::1", {}, 1}, {"::1", {}, 1}, {"1.2.3.4", "Two", 1}}},
        {"::ffff:a.b.c.d is looked up in GeoIP.dat, ::a.b.c.d in GeoIPv6.dat",
         good,
         three,
         {{"::ffff:200.0.0.1", "One", 0}, {"::ffff:1.2.3.4", "Two", 0}, {"::1.2.3.4", "Three", 0}}},
        {"damage of GeoIP.dat closes both",
         damaged,
         three,
         {{"2001:db8::1", "Three", 0}, {"1.2.3.4", {}, 1}, {"2001:db8::1", {}, 1}}},
    };
    for (const auto& row : rows) {
        Geo g;
        EXPECT_TRUE(g.loadCountries("1\tOne\n2\tTwo\n3\tThree\n"));
        EXPECT_TRUE(g.loadDatabase(row.v4, GeoAccess::PositionedReads, row.v6));
        EXPECT_EQ(g.geo.database().ipv6Path.empty(), !row.v6) << row.name;
        for (const Step& step : row.steps) {
            EXPECT_EQ(g.lookup(step.ip), step.expected) << row.name << ": " << step.ip;
            EXPECT_EQ(g.ui.shown.size(), step.messages) << row.name << ": " << step.ip;
        }
        for (const auto& box : g.ui.shown) {
            expectDamageBox(box);
        }
    }
}

// The memory image answers as the walk by positioned reads, lookup after lookup: the same
// descriptions, the same damage message at the same lookup, the database closed alike.
// Rows with GeoIPv6.dat look up IPv6 addresses too, each followed by an IPv4 one.
TEST(GeoDatabase, MemoryImageAnswersAsThePositionedWalk) {
    const Result<std::string> read = readWholeFile(fullName(programDir(), "GeoIP.dat"));
    const Result<std::string> read6 = readWholeFile(fullName(programDir(), "GeoIPv6.dat"));
    ASSERT_TRUE(read && read6) << read.reason() << read6.reason();
    const std::string& real = *read;
    const std::string& real6 = *read6;
    const std::string good = database({{leaf(1), leaf(2)}});
    const Ipv6Number lonely = v6("::5bda:26bb");
    const struct {
        const char* name;
        std::string bytes;
        std::optional<std::string> ipv6;
        size_t randomAddresses;
    } rows[] = {
        {"Debian's GeoIP.dat", real, std::nullopt, 3000},
        {"a full tree of 8 levels", octetDatabase(), std::nullopt, 300},
        {"empty", "", std::nullopt, 50},
        {"one node", database({{kLeafBase, leaf(1)}}), std::nullopt, 50},
        {"cyclic", std::string(12, '\0'), std::nullopt, 50},
        {"node number equal to the length", database({{12, leaf(1)}, {0, 0}}), std::nullopt, 50},
        {"node past the last, number below the length", database({{5, leaf(1)}, {0, 0}}),
         std::nullopt, 50},
        {"last node partly past the end", database({{1, leaf(1)}}) + "\x01\x02", std::nullopt, 50},
        {"no country at the last level", singlePathDatabase(0x5BDA26BB, kLeafBase), std::nullopt,
         50},
        {"back to the root at the last level", singlePathDatabase(0x5BDA26BB, 0), std::nullopt, 50},
        {"Debian's GeoIPv6.dat", good, real6, 3000},
        {"IPv6: empty", good, "", 50},
        {"IPv6: cyclic", good, std::string(12, '\0'), 50},
        {"IPv6: node number equal to the length", good, database({{12, leaf(1)}, {0, 0}}), 50},
        {"IPv6: last node partly past the end", good, database({{1, leaf(1)}}) + "\x01\x02", 50},
        {"IPv6: no country at the last level", good, singlePathDatabase(lonely, 128, kLeafBase),
         50},
        {"IPv6: back to the root at the last level", good, singlePathDatabase(lonely, 128, 0), 50},
    };
    std::string countries;
    for (int i = 1; i <= 255; ++i) {
        countries += std::to_string(i) + "\tC" + std::to_string(i) + "\n";
    }
    for (const auto& row : rows) {
        std::vector<std::string> addresses;
        std::mt19937 random(99);
        const auto ipv4 = [&](std::uint32_t a) { addresses.push_back(dotted(a)); };
        const auto ipv6 = [&](Ipv6Number a) {
            addresses.push_back(formatIp(IpAddress::fromV6(a)));
            ipv4(static_cast<std::uint32_t>(random()));
        };
        for (const std::uint32_t a :
             {0u, 0xFFFFFFFFu, 0x5BDA26BBu, 0x5BDA26BAu, 0x80000001u, 0x0A000001u}) {
            ipv4(a);
        }
        if (row.ipv6) {
            for (const char* a : {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::5bda:26bb",
                                  "::5bda:26ba", "2001:db8::1", "8000::1"}) {
                ipv6(v6(a));
            }
        }
        for (size_t i = 0; i < row.randomAddresses; ++i) {
            if (!row.ipv6) {
                ipv4(static_cast<std::uint32_t>(random()));
                continue;
            }
            // Allocations in 2000::/3, IPv4 addresses as ::a.b.c.d, and anywhere.
            const std::uint64_t hi = std::uint64_t{random()} << 32 | random();
            const std::uint64_t lo = std::uint64_t{random()} << 32 | random();
            const Ipv6Number kinds[] = {
                {hi >> 3 | std::uint64_t{1} << 61, lo}, {0, lo & 0xFFFFFFFF}, {hi, lo}};
            ipv6(kinds[i % 3]);
        }
        Geo walk;
        Geo image;
        EXPECT_TRUE(walk.loadCountries(countries));
        EXPECT_TRUE(image.loadCountries(countries));
        ASSERT_TRUE(walk.loadDatabase(row.bytes, GeoAccess::PositionedReads, row.ipv6)) << row.name;
        ASSERT_TRUE(image.loadDatabase(row.bytes, GeoAccess::MemoryImage, row.ipv6)) << row.name;
        ASSERT_EQ(image.geo.database().ipv6Path.empty(), !row.ipv6) << row.name;
        for (const std::string& a : addresses) {
            ASSERT_EQ(image.lookup(a), walk.lookup(a)) << row.name << ": " << a;
            ASSERT_EQ(image.ui.shown.size(), walk.ui.shown.size()) << row.name << ": " << a;
            ASSERT_EQ(image.geo.DataFileOk(), walk.geo.DataFileOk()) << row.name;
        }
    }
}

// --- digits ---

TEST(GeoToBase, DigitsMostSignificantFirstOneTurnPerDigit) {
    const struct {
        std::uint32_t value;
        std::uint8_t base;
        const char* expected;
    } rows[] = {
        {0, 2, "0"},
        {1, 2, "1"},
        {6, 2, "110"},
        {32768, 2, "1000000000000000"},
        {65535, 2, "1111111111111111"},
        {0, 16, "0"},
        {255, 16, "FF"},
        {48879, 16, "BEEF"},
        {4294967295u, 16, "FFFFFFFF"},
        {35, 36, "Z"},
        {36, 36, "10"},
        {1295, 36, "ZZ"},
        {1234, 10, "1234"},
        {5, 1, ""},
        {5, 0, ""},
    };
    for (const auto& row : rows) {
        FakeUi ui;
        EXPECT_EQ(toBase(row.value, row.base, ui.yield()), row.expected)
            << row.value << " in base " << int{row.base};
        EXPECT_EQ(ui.doEventsCalls, static_cast<int>(std::string_view(row.expected).size()))
            << row.value << " in base " << int{row.base};
    }
}

// --- countries.txt ---

TEST(GeoCountries, DescriptionIsEverythingAfterTheFirstTab) {
    Geo g;
    g.load(octetDatabase(),
           "1\tA\tB\tC\tD\n"
           "2\t\n"
           "3\t\tafter an empty field\n"
           "4\tРоссия\t\n"
           "5\t spaces kept \n"
           "6\t#not a comment\n");
    const struct {
        int index;
        const char* expected;
    } rows[] = {
        {1, "A\tB\tC\tD"},
        {2, ""},
        {3, "\tafter an empty field"},
        {4, "Россия\t"},
        {5, " spaces kept "},
        {6, "#not a comment"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(g.byIndex(row.index), row.expected) << row.index;
    }
    EXPECT_TRUE(g.ui.shown.empty());
}

TEST(GeoCountries, LinesThatCannotBeStoredAskToGoOn) {
    const struct {
        const char* text;
        std::vector<std::string> prompts;  // keys between the parentheses
    } rows[] = {
        {"# comment without a tab\n\n#\n1\tA\n\n", {}},
        {" #x\n", {" #x"}},
        {"   \n", {"   "}},
        {"abc\n1\tA", {"abc"}},
        {"5\tA\n5\tB\n", {"5"}},
        {"5\tA\n5\tB\n5\tC\n", {"5", "5"}},
        {"ab\tx\nAB\ty\n", {"AB"}},
        {"бв\tx\nБВ\ty\n", {"БВ"}},
        {"ёж\tx\nЁЖ\ty\n", {"ЁЖ"}},
        {"Я\tx\nя\ty\n", {"я"}},
        {"\tx\n\ty\n", {""}},
        {"7\tx\n 7\ty\n07\tz\n", {}},
    };
    for (const auto& row : rows) {
        Geo g;
        EXPECT_TRUE(g.loadCountries(row.text)) << row.text;
        EXPECT_TRUE(g.geo.CountriesIsOK()) << row.text;
        EXPECT_EQ(g.promptKeys(), row.prompts) << row.text;
        for (const auto& box : g.ui.shown) {
            EXPECT_EQ(box.title, kPromptTitle);
        }
    }
}

TEST(GeoCountries, PromptNamesKeyPathAndLineWhateverTheLineEnds) {
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (const char* line : {"# header", "", "5\tfirst", "1\tone", "#", "", "5\tsecond"}) {
            text += std::string(line) + eol;
        }
        Geo g;
        g.load(octetDatabase(), text);
        ASSERT_EQ(g.ui.shown.size(), 1u);
        const auto& box = g.ui.shown[0];
        EXPECT_EQ(box.text, "Дублирующийся номер (5)\r\nФайл " + g.dir.file("countries.txt") +
                                "\r\nСтрока 7\r\nПродолжить обработку файла?");
        EXPECT_EQ(box.title, kPromptTitle);
        EXPECT_EQ(g.byIndex(5), "first");
        EXPECT_EQ(g.byIndex(1), "one");
    }
}

TEST(GeoCountries, NoDiscardsTheTableAndALaterLoadStartsAfresh) {
    Geo g;
    g.ui.answers = {false};
    EXPECT_TRUE(g.loadDatabase(octetDatabase()));
    EXPECT_FALSE(g.loadCountries("1\tOne\n2\tTwo\n2\tdup\n3\tThree\n2\tagain\n"));
    EXPECT_FALSE(g.geo.CountriesIsOK());
    EXPECT_EQ(g.ui.shown.size(), 1u) << "nothing after the refused line is read";
    EXPECT_EQ(g.byIndex(1), std::nullopt);

    EXPECT_TRUE(g.loadCountries("2\tTwo again\n"));
    EXPECT_TRUE(g.geo.CountriesIsOK());
    EXPECT_EQ(g.byIndex(1), std::nullopt);
    EXPECT_EQ(g.byIndex(2), "Two again");
    EXPECT_EQ(g.byIndex(3), std::nullopt);
    EXPECT_EQ(g.ui.shown.size(), 1u);
}

TEST(GeoCountries, LaterLoadsAddToTheTable) {
    Geo g;
    g.load(octetDatabase(), "1\tOne\n");
    EXPECT_TRUE(g.loadCountries("2\tTwo\n"));
    EXPECT_TRUE(g.loadCountries("1\tagain\n"));
    EXPECT_EQ(g.promptKeys(), std::vector<std::string>{"1"});
    EXPECT_EQ(g.byIndex(1), "One");
    EXPECT_EQ(g.byIndex(2), "Two");
}

TEST(GeoCountries, FilesWithoutDataAndMissingFiles) {
    const struct {
        const char* name;
        std::optional<std::string> text;
        bool ok;
    } rows[] = {
        {"empty", std::string(), true},
        {"comments and empty lines", std::string("#a\n\n#b\r\n\r#\tc\n"), true},
        {"missing", std::nullopt, false},
    };
    for (const auto& row : rows) {
        Geo g;
        if (row.text) {
            g.dir.write("countries.txt", *row.text);
        }
        EXPECT_EQ(g.openCountries("countries.txt"), row.ok) << row.name;
        EXPECT_EQ(g.geo.CountriesIsOK(), row.ok) << row.name;
        EXPECT_TRUE(g.ui.shown.empty()) << row.name;
    }
}

TEST(GeoCountries, YieldsOncePerLine) {
    const struct {
        const char* text;
        int turns;
    } rows[] = {
        {"", 0}, {"1\tA", 1}, {"1\tA\n", 2}, {"1\tA\r\n\r\n#c\rabc", 4}, {"\n\n\n", 4},
    };
    for (const auto& row : rows) {
        Geo g;
        EXPECT_TRUE(g.loadCountries(row.text));
        EXPECT_EQ(g.ui.doEventsCalls, row.turns) << row.text;
    }
}

TEST(GeoCountries, Windows1251AndUtf8ReadAlike) {
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"Windows-1251",
         "1\t\xD0\xEE\xF1\xF1\xE8\xFF\n2\t\xC5\xE2\xF0\xEE\xEF\xE0\n\xE0\xE1\tx\n\xC0\xC1\ty\n"},
        {"UTF-8", "1\tРоссия\n2\tЕвропа\nаб\tx\nАБ\ty\n"},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF"
         "1\tРоссия\n2\tЕвропа\nаб\tx\nАБ\ty\n"},
    };
    for (const auto& row : rows) {
        Geo g;
        g.load(octetDatabase(), row.bytes);
        EXPECT_EQ(g.byIndex(1), "Россия") << row.name;
        EXPECT_EQ(g.byIndex(2), "Европа") << row.name;
        EXPECT_EQ(g.promptKeys(), std::vector<std::string>{"АБ"}) << row.name;
    }
}

}  // namespace
}  // namespace netsorter
