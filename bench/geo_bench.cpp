// Country lookups on Debian's GeoIP.dat, 1 M seeded random addresses: ours by positioned
// reads and from the memory image, and the legacy GeoIP C library in its standard and
// memory-cache modes. Each iteration looks up all the addresses once.
#include <GeoIP.h>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "geo/geo.h"

namespace {

void ours(benchmark::State& state, netsorter::GeoAccess access) {
    netsorter::clsGeo geo("/");
    if (!geo.openCountriesFile(NETSORTER_COUNTRIES_TXT) ||
        !geo.openDataFile(NETSORTER_GEOIP_DAT, access)) {
        state.SkipWithError("cannot open " NETSORTER_COUNTRIES_TXT " or " NETSORTER_GEOIP_DAT);
        return;
    }
    const std::vector<std::string>& addresses = bench::dottedAddresses();
    size_t found = 0;
    for (auto _ : state) {
        for (const std::string& a : addresses) {
            found += geo.getCountryByIP(a).found;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * addresses.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(ours, positioned_reads, netsorter::GeoAccess::PositionedReads)
    ->Name("ours/positioned_reads")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, memory_image, netsorter::GeoAccess::MemoryImage)
    ->Name("ours/memory_image")
    ->Unit(benchmark::kMillisecond);

// The library is handed the address numbers, its fastest way in, and also the texts that
// ours parse.
void libgeoip(benchmark::State& state, int flags, bool text) {
    const std::unique_ptr<GeoIP, decltype(&GeoIP_delete)> gi(
        GeoIP_open(NETSORTER_GEOIP_DAT, flags | GEOIP_SILENCE), &GeoIP_delete);
    if (!gi) {
        state.SkipWithError("GeoIP_open failed on " NETSORTER_GEOIP_DAT);
        return;
    }
    const std::vector<std::uint32_t>& numbers = bench::randomAddresses();
    const std::vector<std::string>& texts = bench::dottedAddresses();
    size_t found = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < numbers.size(); ++i) {
            const int id = text ? GeoIP_id_by_addr(gi.get(), texts[i].c_str())
                                : GeoIP_id_by_ipnum(gi.get(), numbers[i]);
            found += id != 0;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(libgeoip, standard, GEOIP_STANDARD, false)
    ->Name("libgeoip/standard")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libgeoip, standard_text, GEOIP_STANDARD, true)
    ->Name("libgeoip/standard_text")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libgeoip, memory_cache, GEOIP_MEMORY_CACHE, false)
    ->Name("libgeoip/memory_cache")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libgeoip, memory_cache_text, GEOIP_MEMORY_CACHE, true)
    ->Name("libgeoip/memory_cache_text")
    ->Unit(benchmark::kMillisecond);

}  // namespace
