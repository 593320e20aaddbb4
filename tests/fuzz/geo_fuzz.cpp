// A country database of any bytes, looked up by positioned reads and from its memory image:
// for the same addresses in the same order both give the same descriptions, the damage
// message at the same lookup and the database closed alike. The input's tail names the
// addresses (up to 16); the rest is the database.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fake_ui.h"
#include "fuzz_support.h"
#include "geo/geo.h"
#include "temp_dir.h"

namespace netsorter::fuzz {
namespace {

// One lookup object with the table of every index but 3, whose leaves find no entry.
struct Lookup {
    testing::FakeUi ui;
    clsGeo geo;

    explicit Lookup(const testing::TempDir& dir) : geo(dir.str()) {
        expect(geo.openCountriesFile("countries.txt").ok(), "countries.txt loads");
    }

    std::string lookup(std::uint32_t address) {
        const CountryLookup found = geo.getCountryByIP(dotted(address), ui.yield());
        if (found.damaged) {
            ui.report(*found.damaged);
        }
        return found.found ? std::string(found.description) : "none";
    }
};

const testing::TempDir& scratch() {
    static const testing::TempDir dir;
    static const bool written = [] {
        std::string countries;
        for (int i = 1; i <= 255; ++i) {
            if (i != 3) {
                countries += std::to_string(i) + "\tC" + std::to_string(i) + "\n";
            }
        }
        dir.write("countries.txt", countries);
        return true;
    }();
    expect(written, "countries.txt is written");
    return dir;
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    FuzzedDataProvider provider(data, size);
    std::vector<std::uint32_t> addresses(provider.ConsumeIntegralInRange<std::size_t>(1, 16));
    for (std::uint32_t& a : addresses) {
        a = provider.ConsumeIntegral<std::uint32_t>();
    }
    const std::string bytes = provider.ConsumeRemainingBytesAsString();

    const testing::TempDir& dir = scratch();
    static Lookup walk(dir);
    static Lookup image(dir);
    dir.write("GeoIP.dat", bytes);
    // Opening again starts afresh, also after a walk found the last database damaged.
    expect(walk.geo.openDataFile("GeoIP.dat", GeoAccess::PositionedReads).ok(), "opens for reads");
    expect(image.geo.openDataFile("GeoIP.dat", GeoAccess::MemoryImage).ok(), "opens as an image");
    walk.ui.shown.clear();
    image.ui.shown.clear();
    for (const std::uint32_t a : addresses) {
        expectEqual("description of " + dotted(a), image.lookup(a), walk.lookup(a));
        expect(walk.ui.shown.size() == image.ui.shown.size(), "messages after " + dotted(a));
        expect(walk.ui.shown.size() <= 1, "the damage message more than once");
        expect(walk.geo.DataFileOk() == image.geo.DataFileOk(), "database open after " + dotted(a));
        expect(walk.geo.DataFileOk() == walk.ui.shown.empty(), "closed without the message");
    }
    for (const auto& box : walk.ui.shown) {
        expectEqual("the message", box.text, kDamagedDatabase);
    }
    return 0;
}
