// Data files that are odd but not wrong: they must neither exhaust memory nor hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "check/check.h"
#include "common/files.h"
#include "common/text.h"
#include "fake_ui.h"
#include "geo/geo.h"
#include "geo_databases.h"
#include "nets/net_checker.h"
#include "temp_dir.h"
#include "test_engines.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace netsorter {
namespace {

using testing::database;
using testing::FakeUi;
using testing::leaf;
using testing::TempDir;
using testing::TestEngines;
using namespace std::string_literals;
using Answers = std::vector<std::pair<std::string, std::string>>;

// nets.txt read as the program reads it: the whole file, decoded, then loaded.
void loadNetsFile(clsNetChecker& checker, const std::string& bytes) {
    TempDir dir;
    dir.write("nets.txt", bytes);
    const Result<std::string> read = readWholeFile(dir.file("nets.txt"));
    ASSERT_TRUE(read) << read.reason();
    checker.add_nets(decodeText(*read));
}

std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// Lists exported from other tools carry long comment lines: the heading's text is kept
// once, not once per subnet under it (which took 50 GB here).
TEST(BadInput, LongHeadingIsStoredOnce) {
    constexpr size_t kHeading = 5 << 20;
    constexpr size_t kSubnets = 10000;
    constexpr size_t kBound = 6 << 20;  // the heading and 10,000 small records
    std::string text = "# " + std::string(kHeading, 'x') + "\n";
    for (size_t i = 0; i < kSubnets; ++i) {
        text += "10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) + ".0/24\n";
    }
    clsNetChecker checker;
    checker.add_nets(text);
    ASSERT_EQ(checker.nets().size(), kSubnets);
    // The memory the list holds: its records and every distinct text its subnets refer to.
    size_t bytes = checker.nets().capacity() * sizeof(clsNet);
    std::set<const std::string*> texts;
    for (const clsNet& net : checker.nets()) {
        if (texts.insert(&checker.comment(net)).second) {
            bytes += checker.comment(net).capacity();
        }
    }
    EXPECT_LT(bytes, kBound);
    EXPECT_EQ(checker.checkIp("10.0.1.1"), std::string(kHeading, 'x'));
}

// Only a regular file is read; anything else is refused at once, with the reason the
// start-up error or the tool's warning gives.
TEST(BadInput, DataFileThatIsNotARegularFileIsRefusedAtOnce) {
    enum class Kind { Fifo, EndlessDevice, OverTheBound };
    const struct {
        const char* name;
        Kind kind;
    } rows[] = {
#ifndef _WIN32
        {"nets.txt", Kind::Fifo},           {"countries.txt", Kind::Fifo},
        {"GeoIP.dat", Kind::Fifo},
#endif
        {"nets.txt", Kind::EndlessDevice},  {"countries.txt", Kind::EndlessDevice},
        {"GeoIP.dat", Kind::EndlessDevice}, {"nets.txt", Kind::OverTheBound},
    };
    for (const auto& row : rows) {
        TempDir dir;
        std::string path = dir.file(row.name);
        switch (row.kind) {
#ifndef _WIN32
            case Kind::Fifo:  // no writer ever comes: opening it for reading would wait
                ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
                break;
            case Kind::EndlessDevice:  // reached through a link, as links are followed
                std::filesystem::create_symlink("/dev/zero", dir.path() / row.name);
                break;
#else
            case Kind::Fifo:
                break;
            case Kind::EndlessDevice:  // NUL in any directory is the device
                path = dir.file("NUL");
                break;
#endif
            case Kind::OverTheBound:  // sparse where the file system allows
                dir.write(row.name, "");
                std::filesystem::resize_file(dir.path() / row.name, kMaxTextFileBytes + 1);
                break;
        }
        const std::string name = std::string(row.name) + " " + std::to_string(int(row.kind));
        const std::string expected =
            row.kind == Kind::OverTheBound ? tooLargeReason() : notARegularFileReason();
        FakeUi ui;
        clsGeo geo;
        if (std::string(row.name) == "nets.txt") {
            const Result<std::string> read = readWholeFile(path);
            EXPECT_FALSE(read) << name;
            EXPECT_EQ(read.reason(), expected) << name;
        } else if (std::string(row.name) == "countries.txt") {
            EXPECT_EQ(geo.openCountriesFile(path, ui.ask()).reason(), expected) << name;
            EXPECT_FALSE(geo.CountriesIsOK()) << name;
        } else {
            for (const GeoAccess access : {GeoAccess::PositionedReads, GeoAccess::MemoryImage}) {
                EXPECT_EQ(geo.openDataFile(path, access).reason(), expected) << name;
                EXPECT_FALSE(geo.DataFileOk()) << name;
            }
        }
        EXPECT_TRUE(ui.shown.empty()) << name;
    }
}

// nets.txt as other tools and editors leave it: every subnet loads under its heading, and
// the lines after an odd one still load.
TEST(BadInput, NetsFilesThatAreOddButNotWrong) {
    const std::string documentation1251 = "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xE0\xF6\xE8\xFF";
    const std::string nulHeading = "Head\0er"s;
    const struct {
        const char* name;
        std::string bytes;
        size_t subnets;
        Answers answers;
    } rows[] = {
        {"zero bytes", "", 0, {{"10.1.1.1", kNotInAnySubnet}}},
        {"NUL bytes",
         "# Head\0er\n10.0.0.0/8\0tail\n\0 11.0.0.0/8\n12.0.0.0/8\n"s,
         2,
         {{"10.1.1.1", nulHeading}, {"11.1.1.1", kNotInAnySubnet}, {"12.1.1.1", nulHeading}}},
        {"1 MB lines",
         "# A\n10.0.0.0/8 " + std::string(1 << 20, 'x') + "\n" + std::string(1 << 20, '9') +
             "\n11.0.0.0/8\n",
         2,
         {{"10.1.1.1", "A"}, {"11.1.1.1", "A"}}},
        // Not UTF-8 as a whole, so all of it is read as Windows-1251.
        {"UTF-8 and Windows-1251 mixed",
         "# Частные сети\n10.0.0.0/8\n# " + documentation1251 + "\n192.0.2.0/24\n",
         2,
         {{"10.1.1.1", cp1251ToUtf8("Частные сети")}, {"192.0.2.1", "Документация"}}},
        {"a byte-order mark before Windows-1251",
         "\xEF\xBB\xBF"
         "10.0.0.0/8\r\n# " +
             documentation1251 + "\r\n192.0.2.0/24\r\n",
         2,
         {{"10.1.1.1", ""}, {"192.0.2.1", "Документация"}}},
    };
    for (const auto& row : rows) {
        clsNetChecker checker;
        loadNetsFile(checker, row.bytes);
        EXPECT_EQ(checker.nets().size(), row.subnets) << row.name;
        for (const auto& [ip, answer] : row.answers) {
            EXPECT_EQ(checker.checkIp(ip), answer) << row.name << ": " << ip;
        }
    }
}

// A 50 MB list: nothing lost, the index answers its first, middle and last subnets.
TEST(BadInput, FiftyMegabytesOfLines) {
    constexpr size_t kBytes = 50 << 20;
    constexpr std::uint32_t kFirst = 0x01000000;
    std::string text;
    text.reserve(kBytes + 64);
    std::uint32_t subnets = 0;
    while (text.size() < kBytes) {
        if (subnets % 4096 == 0) {
            text += "# Блок " + std::to_string(subnets / 4096) + "\r\n";
        }
        text += dotted(kFirst + (subnets++ << 8)) + "/24\r\n";
    }
    clsNetChecker checker;
    loadNetsFile(checker, text);
    std::string().swap(text);
    ASSERT_EQ(checker.nets().size(), subnets);
    for (const std::uint32_t k : {0u, subnets / 2, subnets - 1}) {
        const std::string ip = dotted(kFirst + (k << 8) + 255);
        EXPECT_EQ(checker.checkIp(ip), "Блок " + std::to_string(k / 4096)) << ip;
    }
    EXPECT_EQ(checker.checkIp(dotted(kFirst + (subnets << 8))), kNotInAnySubnet);
}

// countries.txt with 10 KB fields: each field is kept whole, a 10 KB line without a tab is
// named whole in its prompt, and the lines after it still load.
TEST(BadInput, CountriesWithTenKilobyteFields) {
    const std::string f1(10 << 10, 'a');
    const std::string f3(10 << 10, 'c');
    const std::string noTab(10 << 10, '7');
    TempDir dir;
    dir.write("countries.txt", "1\t" + f1 + "\t" + std::string(10 << 10, 'b') + "\t" + f3 + "\t" +
                                   std::string(10 << 10, 'd') + "\n" + noTab + "\n2\tTwo\n");
    dir.write("GeoIP.dat", database({{leaf(1), leaf(2)}}));
    FakeUi ui;
    clsGeo geo;
    ASSERT_TRUE(geo.openCountriesFile(dir.file("countries.txt"), ui.ask()));
    ASSERT_TRUE(geo.openDataFile(dir.file("GeoIP.dat")));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(ui.shown[0].text.starts_with("Дублирующийся номер (" + noTab + ")\r\n"));
    const CountryLookup low = geo.getCountryByIP("1.0.0.0");
    ASSERT_TRUE(low.found);
    EXPECT_EQ(countryText(low.description), f3 + " (" + f1 + ")");
    EXPECT_EQ(geo.getCountryByIP("200.0.0.0").description, std::string_view("Two"));
}

// A database cut off inside a node (a download broken off): a walk that stays within what
// is left answers as the whole database does, any other finds nothing; no damage is
// reported and the file stays open, whether walked by positioned reads or from its image.
TEST(BadInput, DatabaseTruncatedMidNode) {
    const Result<std::string> read = readWholeFile(fullName(programDir(), "GeoIP.dat"));
    ASSERT_TRUE(read) << read.reason();
    const std::string& whole = *read;
    std::string countries;
    for (int i = 1; i <= 255; ++i) {
        countries += std::to_string(i) + "\tC" + std::to_string(i) + "\n";
    }
    TempDir dir;
    dir.write("countries.txt", countries);
    dir.write("whole.dat", whole);
    dir.write("cut.dat", whole.substr(0, whole.size() / 12 * 6 + 3));
    for (const GeoAccess access : {GeoAccess::PositionedReads, GeoAccess::MemoryImage}) {
        clsGeo full;
        clsGeo cut;
        const std::string countries = dir.file("countries.txt");
        ASSERT_TRUE(full.openCountriesFile(countries) && full.openDataFile(dir.file("whole.dat")));
        ASSERT_TRUE(cut.openCountriesFile(countries) &&
                    cut.openDataFile(dir.file("cut.dat"), access));
        std::mt19937 random(7);
        int kept = 0;
        int lost = 0;
        for (int i = 0; i < 2000; ++i) {
            const std::string ip = dotted(static_cast<std::uint32_t>(random()));
            const CountryLookup expected = full.getCountryByIP(ip);
            const CountryLookup got = cut.getCountryByIP(ip);
            ASSERT_FALSE(got.damaged) << ip;
            if (got.found) {
                ASSERT_TRUE(expected.found) << ip;
                ASSERT_EQ(got.description, expected.description) << ip;
                ++kept;
            } else {
                lost += expected.found;
            }
        }
        EXPECT_GT(kept, 0);
        EXPECT_GT(lost, 0);
        EXPECT_TRUE(cut.DataFileOk());
    }
}

// A 100 KB host name (a link a script built): the check keeps it whole, asks the resolver
// for all of it, and shows that no address was found.
TEST(BadInput, HundredKilobyteHostName) {
    const std::string name = std::string(100 << 10, 'a') + ".test";
    TestEngines test;
    const CheckResult got = checkAddress("http://" + name + "/path", test.engines);
    EXPECT_EQ(got.domain, name);
    EXPECT_EQ(got.ip, kNoIp);
    EXPECT_EQ(got.traffic, kWrongIp);
    EXPECT_EQ(got.country, kNoCountryForNoIp);
    EXPECT_EQ(test.log, testing::Log{"getIpsByName(" + name + ")"});
}

}  // namespace
}  // namespace netsorter
