// The subnet list: checkIp by the index and by the plain scan at 1 K, 100 K and 1 M subnets,
// and add_nets of a 1 M-line text; for IPv4 and for IPv6.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "nets/net_checker.h"

namespace {

// One loaded list per family and size, shared by the benchmarks of that size.
template <bool v6>
const netsorter::clsNetChecker& checker(size_t subnets) {
    static std::map<size_t, std::unique_ptr<netsorter::clsNetChecker>> loaded;
    auto& slot = loaded[subnets];
    if (!slot) {
        slot = std::make_unique<netsorter::clsNetChecker>();
        slot->add_nets(v6 ? bench::netsText6(subnets) : bench::netsText(subnets));
        slot->checkIp(v6 ? "::" : "0.0.0.0");  // builds the index outside the timing
    }
    return *slot;
}

template <bool v6>
const auto& addresses() {
    if constexpr (v6) {
        return bench::ipv6Addresses();
    } else {
        return bench::dottedAddresses();
    }
}

template <bool byIndex, bool v6 = false>
void checkIp(benchmark::State& state) {
    const auto& list = checker<v6>(static_cast<size_t>(state.range(0)));
    const auto& queries = addresses<v6>();
    size_t i = 0;
    size_t inSubnet = 0;
    for (auto _ : state) {
        const auto& q = queries[i++ % queries.size()];
        const std::string answer = byIndex ? list.checkIp(q) : list.checkIpByScan(q);
        inSubnet += answer != netsorter::kNotInAnySubnet;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["in_subnet"] =
        benchmark::Counter(static_cast<double>(inSubnet), benchmark::Counter::kAvgIterations);
}
BENCHMARK(checkIp<true>)->Name("checkIp/index")->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(checkIp<false>)->Name("checkIp/scan")->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(checkIp<true, true>)->Name("checkIp6/index")->Arg(1000)->Arg(100000)->Arg(1000000);
BENCHMARK(checkIp<false, true>)->Name("checkIp6/scan")->Arg(1000)->Arg(100000)->Arg(1000000);

// Loading alone, and loading followed by the first check, which builds the index.
void add_nets(benchmark::State& state, bool check, bool v6) {
    const auto size = static_cast<size_t>(state.range(0));
    const std::string text = v6 ? bench::netsText6(size) : bench::netsText(size);
    for (auto _ : state) {
        netsorter::clsNetChecker list;
        list.add_nets(text);
        if (check) {
            benchmark::DoNotOptimize(list.checkIp(v6 ? "2001:db8::1" : "10.1.2.3"));
        }
        benchmark::DoNotOptimize(list.nets().data());
        benchmark::DoNotOptimize(list.nets6().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(add_nets, alone, false, false)
    ->Name("add_nets")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(add_nets, then_checkIp, true, false)
    ->Name("add_nets_then_checkIp")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(add_nets, ipv6_alone, false, true)
    ->Name("add_nets6")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(add_nets, ipv6_then_checkIp, true, true)
    ->Name("add_nets6_then_checkIp")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
