// Writes down the GeoIP library's answers for a sample of addresses, for the Windows build
// to replay (it cannot load the library): oracle_cases GEOIP_DAT OUT. A build step runs it,
// so the Windows replay never depends on another suite having run first.
#include <GeoIP.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "oracle/oracle_support.h"

using namespace netsorter::oracle;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: oracle_cases GEOIP_DAT OUT\n", stderr);
        return 2;
    }
    const std::unique_ptr<GeoIP, void (*)(GeoIP*)> library(
        GeoIP_open(argv[1], GEOIP_MEMORY_CACHE | GEOIP_SILENCE), GeoIP_delete);
    const std::string db = readBytes(argv[1]);
    const std::vector<LeafRange> ranges = leafRanges(db);
    if (!library || !tilesAddressSpace(ranges)) {
        std::fprintf(stderr, "oracle_cases: %s is not a country database\n", argv[1]);
        return 1;
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
        return 1;
    }
    std::string text =
        "# oracle cases of the GeoIP library for the database of " + fingerprint(db) + "\n";
    for (const std::uint32_t a : addresses) {
        text += dotted(a) + " " + std::to_string(expected(a)) + "\n";
    }
    const std::filesystem::path target(argv[2]);
    const std::filesystem::path partial = target.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        if (!out.flush()) {
            std::fprintf(stderr, "oracle_cases: cannot write %s\n", partial.c_str());
            return 1;
        }
    }
    std::filesystem::rename(partial, target);
    return 0;
}
