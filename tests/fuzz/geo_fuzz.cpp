// A country database of any bytes, with an IPv6 edition of any bytes beside it, looked up
// by positioned reads and from their memory images: for the same addresses in the same
// order both give the same descriptions, the damage message at the same lookup and the
// databases closed alike. The input's tail names the addresses (up to 16, of either
// family) and how many bytes of its front are GeoIPv6.dat; the rest is GeoIP.dat.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fake_ui.h"
#include "fuzz_support.h"
#include "geo/geo.h"
#include "temp_dir.h"

namespace netsorter::fuzz {
namespace {

// One lookup object with the table of every index but 3, whose leaves find no entry; the
// damage messages of each family's lookups are counted apart.
struct Lookup {
    testing::FakeUi ui;
    clsGeo geo;
    int damaged[2] = {0, 0};  // IPv4, IPv6

    explicit Lookup(const testing::TempDir& dir) {
        expect(geo.openCountriesFile(dir.file("countries.txt")).ok(), "countries.txt loads");
    }

    std::string lookup(const IpAddress& address) {
        const CountryLookup found = geo.getCountryByIP(address, ui.yield());
        if (found.damaged) {
            expectEqual("the message", found.damaged->joined(""), kDamagedDatabase);
            ++damaged[address.ipv4() ? 0 : 1];
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
    std::vector<IpAddress> addresses(provider.ConsumeIntegralInRange<std::size_t>(1, 16));
    for (IpAddress& a : addresses) {
        if (provider.ConsumeBool()) {
            a = IpAddress::fromV4(provider.ConsumeIntegral<std::uint32_t>());
        } else {
            const auto hi = provider.ConsumeIntegral<std::uint64_t>();
            a = IpAddress::fromV6({hi, provider.ConsumeIntegral<std::uint64_t>()});
        }
    }
    const std::string ipv6 = provider.ConsumeBytesAsString(
        provider.ConsumeIntegralInRange<std::size_t>(0, provider.remaining_bytes()));
    const std::string bytes = provider.ConsumeRemainingBytesAsString();

    const testing::TempDir& dir = scratch();
    static Lookup walk(dir);
    static Lookup image(dir);
    dir.write("GeoIP.dat", bytes);
    dir.write("GeoIPv6.dat", ipv6);
    // Opening again starts afresh, also after a walk found the last database damaged.
    expect(walk.geo
               .openDataFile(dir.file("GeoIP.dat"), GeoAccess::PositionedReads,
                             dir.file("GeoIPv6.dat"))
               .ok(),
           "opens for reads");
    expect(image.geo
               .openDataFile(dir.file("GeoIP.dat"), GeoAccess::MemoryImage, dir.file("GeoIPv6.dat"))
               .ok(),
           "opens as an image");
    expect(!walk.geo.database().ipv6Path.empty() && !image.geo.database().ipv6Path.empty(),
           "GeoIPv6.dat opens");
    for (Lookup* lookup : {&walk, &image}) {
        lookup->damaged[0] = lookup->damaged[1] = 0;
    }
    for (const IpAddress& a : addresses) {
        const std::string text = formatIp(a);
        expectEqual("description of " + text, image.lookup(a), walk.lookup(a));
        for (int family = 0; family < 2; ++family) {
            expect(walk.damaged[family] == image.damaged[family], "messages after " + text);
            expect(walk.damaged[family] <= 1, "the damage message more than once");
        }
        expect(walk.geo.DataFileOk() == image.geo.DataFileOk(), "database open after " + text);
        expect(walk.geo.DataFileOk() == (walk.damaged[0] == 0), "closed without the message");
    }
    return 0;
}
