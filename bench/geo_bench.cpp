// Country lookups on the real database: one length query and up to 32 positioned reads each.
#include <benchmark/benchmark.h>

#include "quiet_ui.h"

#include <random>
#include <string>
#include <vector>

#include "geo/geo.h"

namespace {

std::vector<std::string> randomAddresses(size_t count) {
    std::mt19937 random(7);
    std::vector<std::string> out;
    for (size_t i = 0; i < count; ++i) {
        const auto a = static_cast<std::uint32_t>(random());
        out.push_back(std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
                      std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF));
    }
    return out;
}

void getCountryByIP(benchmark::State& state) {
    QuietUi ui;
    netsorter::clsGeo geo(ui, "/");
    if (!geo.openCountriesFile(NETSORTER_COUNTRIES_TXT) || !geo.openDataFile(NETSORTER_GEOIP_DAT)) {
        state.SkipWithError("cannot open " NETSORTER_COUNTRIES_TXT " or " NETSORTER_GEOIP_DAT);
        return;
    }
    const std::vector<std::string> addresses = randomAddresses(4096);
    std::string description;
    size_t i = 0;
    size_t found = 0;
    for (auto _ : state) {
        found += geo.getCountryByIP(addresses[i++ % addresses.size()], description);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["found"] =
        benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}
BENCHMARK(getCountryByIP);

void toBase(benchmark::State& state) {
    QuietUi ui;
    netsorter::clsGeo geo(ui, "/");
    std::uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(geo.toBase(value++ & 0xFFFF, 2));
    }
}
BENCHMARK(toBase);

}  // namespace
