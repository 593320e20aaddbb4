// Writes down the GeoIP library's answers for a sample of addresses, for the Windows build
// to replay (it cannot load the library): oracle_cases GEOIP_DAT OUT GEOIPV6_DAT OUT6. A
// build step runs it, so the Windows replay never depends on another suite having run first.
#include <GeoIP.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "oracle/oracle_support.h"

using namespace netsorter;
using namespace netsorter::oracle;

namespace {

using Library = std::unique_ptr<GeoIP, void (*)(GeoIP*)>;

Library openLibrary(const char* path) {
    return Library(GeoIP_open(path, GEOIP_MEMORY_CACHE | GEOIP_SILENCE), GeoIP_delete);
}

// Writes text whole or not at all.
bool writeCases(const char* path, const std::string& text) {
    const std::filesystem::path target(path);
    const std::filesystem::path partial = target.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "oracle_cases: cannot write %s\n", partial.c_str());
            return false;
        }
    }
    std::filesystem::rename(partial, target);
    return true;
}

bool writeIpv4Cases(const char* database, const char* out) {
    const Library library = openLibrary(database);
    const std::string db = readBytes(database);
    const std::vector<LeafRange> ranges = leafRanges(db);
    if (!library || !tilesAddressSpace(ranges)) {
        std::fprintf(stderr, "oracle_cases: %s is not a country database\n", database);
        return false;
    }
    // The library answers 0 for the address 0 without reading the tree; there the tree's
    // own leaf, as the test walks it, is the answer.
    const auto expected = [&](std::uint32_t a) {
        return a == 0 ? ranges.front().index : GeoIP_id_by_ipnum(library.get(), a);
    };

    const std::vector<std::uint32_t> random = randomAddresses();
    std::vector<std::uint32_t> addresses(random.begin(), random.begin() + kReplayRandom);
    size_t lonely = 0;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const LeafRange& r = ranges[i];
        if (r.first == r.last && r.index == 0) {
            addresses.push_back(r.first);
            ++lonely;
        } else if (i % kReplayLeafStride == 0) {
            addresses.push_back(r.first);
        }
    }
    if (lonely == 0) {
        std::fputs("oracle_cases: the database has no single address without a country\n", stderr);
        return false;
    }
    std::string text =
        "# oracle cases of the GeoIP library for the database of " + fingerprint(db) + "\n";
    for (const std::uint32_t a : addresses) {
        text += dotted(a) + " " + std::to_string(expected(a)) + "\n";
    }
    return writeCases(out, text);
}

bool writeIpv6Cases(const char* database, const char* out) {
    const Library library = openLibrary(database);
    const std::string db = readBytes(database);
    const std::vector<LeafRange6> ranges = leafRanges6(db);
    if (!library || GeoIP_database_edition(library.get()) != GEOIP_COUNTRY_EDITION_V6 ||
        !tilesAddressSpace(ranges)) {
        std::fprintf(stderr, "oracle_cases: %s is not an IPv6 country database\n", database);
        return false;
    }
    // As the native oracle test: Teredo addresses are the tree's.
    GeoIP_enable_teredo(library.get(), 0);
    std::string text =
        "# oracle cases of the GeoIP library for the database of " + fingerprint(db) + "\n";
    for (const Ipv6Number& a : ipv6Addresses(ranges)) {
        geoipv6_t number{};
        std::memcpy(number.s6_addr, networkBytes(a).data(), sizeof number.s6_addr);
        text +=
            fullHex(a) + " " + std::to_string(GeoIP_id_by_ipnum_v6(library.get(), number)) + "\n";
    }
    return writeCases(out, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: oracle_cases GEOIP_DAT OUT GEOIPV6_DAT OUT6\n", stderr);
        return 2;
    }
    return writeIpv4Cases(argv[1], argv[2]) && writeIpv6Cases(argv[3], argv[4]) ? 0 : 1;
}
