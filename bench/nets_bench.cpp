// The subnet list: answering an address from about a thousand subnets, and reading nets.txt.
#include <benchmark/benchmark.h>

#include "quiet_ui.h"

#include <random>
#include <string>
#include <vector>

#include "nets/net_checker.h"

namespace {

std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

struct Subnet {
    std::uint32_t first;
    int prefix;
};

// Subnets of /16 to /28, a heading before every tenth, in the text form of nets.txt.
std::vector<Subnet> randomSubnets(size_t count) {
    std::mt19937 random(11);
    std::vector<Subnet> nets;
    for (size_t i = 0; i < count; ++i) {
        const int prefix = 16 + static_cast<int>(random() % 13);
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - prefix);
        nets.push_back({static_cast<std::uint32_t>(random()) & mask, prefix});
    }
    return nets;
}

std::string netsText(const std::vector<Subnet>& nets) {
    std::string text = "// generated for the benchmark\n";
    for (size_t i = 0; i < nets.size(); ++i) {
        if (i % 10 == 0) {
            text += "\n# Тип трафика " + std::to_string(i / 10) + "\n";
        }
        text += dotted(nets[i].first) + "/" + std::to_string(nets[i].prefix) + "\n";
    }
    return text;
}

void checkIp(benchmark::State& state, bool listed) {
    QuietUi ui;
    netsorter::clsNetChecker checker(ui);
    const std::vector<Subnet> nets = randomSubnets(1000);
    checker.add_nets(netsText(nets));
    std::mt19937 random(13);
    std::vector<std::string> queries;
    for (int i = 0; i < 4096; ++i) {
        const auto a =
            listed ? nets[random() % nets.size()].first + 1 : static_cast<std::uint32_t>(random());
        queries.push_back(dotted(a));
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(checker.checkIp(queries[i++ % queries.size()]));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["subnets"] = static_cast<double>(checker.nets().size());
}
BENCHMARK_CAPTURE(checkIp, random_addresses, false);
BENCHMARK_CAPTURE(checkIp, addresses_in_listed_subnets, true);

void add_nets(benchmark::State& state) {
    QuietUi ui;
    const std::string text = netsText(randomSubnets(static_cast<size_t>(state.range(0))));
    for (auto _ : state) {
        netsorter::clsNetChecker checker(ui);
        checker.add_nets(text);
        benchmark::DoNotOptimize(checker.nets().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["subnets"] = static_cast<double>(state.range(0));
}
BENCHMARK(add_nets)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
