// Data files that are odd but not wrong: they must neither exhaust memory nor hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/files.h"
#include "fake_ui.h"
#include "geo/geo.h"
#include "nets/net_checker.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace netsorter {
namespace {

using testing::FakeUi;
using testing::TempDir;

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
    FakeUi ui;
    clsNetChecker checker(ui);
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

// Only a regular file is read; anything else is refused at once, with the usual result
// for that file: the start-up error's reason for nets.txt, not loaded for the others.
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
        FakeUi ui;
        clsGeo geo(ui, dir.str());
        std::string bytes;
        std::string reason;
        if (std::string(row.name) == "nets.txt") {
            EXPECT_FALSE(readWholeFile(path, bytes, reason)) << name;
            EXPECT_EQ(reason,
                      row.kind == Kind::OverTheBound ? tooLargeReason() : notARegularFileReason())
                << name;
        } else if (std::string(row.name) == "countries.txt") {
            EXPECT_FALSE(geo.openCountriesFile(path)) << name;
            EXPECT_FALSE(geo.CountriesIsOK()) << name;
        } else {
            for (const GeoAccess access : {GeoAccess::PositionedReads, GeoAccess::MemoryImage}) {
                EXPECT_FALSE(geo.openDataFile(path, access)) << name;
                EXPECT_FALSE(geo.DataFileOk()) << name;
            }
        }
        EXPECT_TRUE(ui.shown.empty()) << name;
    }
}

}  // namespace
}  // namespace netsorter
