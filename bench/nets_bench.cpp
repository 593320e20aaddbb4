// The subnet list: checkIp by the index and by the plain scan at 1 K, 100 K and 1 M subnets,
// and add_nets of a 1 M-line text.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "nets/net_checker.h"

namespace {

// One loaded list per size, shared by the benchmarks of that size.
const netsorter::clsNetChecker& checker(size_t subnets) {
    static std::map<size_t, std::unique_ptr<netsorter::clsNetChecker>> loaded;
    auto& slot = loaded[subnets];
    if (!slot) {
        slot = std::make_unique<netsorter::clsNetChecker>();
        slot->add_nets(bench::netsText(subnets));
        slot->checkIp("0.0.0.0");  // builds the index outside the timing
    }
    return *slot;
}

template <bool byIndex>
void checkIp(benchmark::State& state) {
    const auto& list = checker(static_cast<size_t>(state.range(0)));
    const std::vector<std::string>& queries = bench::dottedAddresses();
    size_t i = 0;
    size_t inSubnet = 0;
    for (auto _ : state) {
        const std::string& q = queries[i++ % queries.size()];
        const std::string answer = byIndex ? list.checkIp(q) : list.checkIpByScan(q);
        inSubnet += answer != netsorter::kNotInAnySubnet;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["in_subnet"] =
        benchmark::Counter(static_cast<double>(inSubnet), benchmark::Counter::kAvgIterations);
}
BENCHMARK(checkIp<true>)->Name("checkIp/index")->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(checkIp<false>)->Name("checkIp/scan")->Arg(1000)->Arg(100000)->Arg(1000000);

// Loading alone, and loading followed by the first check, which builds the index.
void add_nets(benchmark::State& state, bool check) {
    const std::string text = bench::netsText(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        netsorter::clsNetChecker list;
        list.add_nets(text);
        if (check) {
            benchmark::DoNotOptimize(list.checkIp("10.1.2.3"));
        }
        benchmark::DoNotOptimize(list.nets().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(add_nets, alone, false)
    ->Name("add_nets")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(add_nets, then_checkIp, true)
    ->Name("add_nets_then_checkIp")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
