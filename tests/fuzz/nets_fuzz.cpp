// The subnet index against the linear scan: any nets.txt text of either family or both,
// loaded in two parts (cut at the first form feed), and queries around every subnet's ends
// (IPv4 ones also as ::ffff: texts) and of every line as it stands. Checks are made after each load
// and inside the second load's turns, when the index covers only the first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "fake_ui.h"
#include "fuzz_support.h"
#include "nets/net_checker.h"

namespace netsorter::fuzz {
namespace {

constexpr std::size_t kMaxNetsQueried = 16;
constexpr std::size_t kMaxLinesQueried = 32;

std::vector<std::string> queries(const clsNetChecker& checker, std::string_view text) {
    std::vector<std::string> out;
    const std::vector<clsNet>& nets = checker.nets();
    const std::size_t step = std::max<std::size_t>(1, nets.size() / kMaxNetsQueried);
    for (std::size_t k = 0; k < nets.size(); k += step) {
        const auto first = static_cast<std::uint32_t>(nets[k].firstIp);
        const double lastIp = std::min(nets[k].lastIp, 4294967295.0);
        const auto last = static_cast<std::uint32_t>(lastIp);
        const int prefix = 32 - static_cast<int>(std::log2(nets[k].lastIp - nets[k].firstIp + 1));
        for (const std::uint32_t a : {first - 1, first, first + 1, last - 1, last, last + 1}) {
            out.push_back(dotted(a));
        }
        out.push_back("::ffff:" + dotted(last));
        for (const int p : {prefix, std::min(prefix + 1, 32), std::max(prefix - 1, 0)}) {
            for (const std::uint32_t a : {first, first + 1}) {
                out.push_back(dotted(a) + "/" + std::to_string(p));
            }
        }
    }
    const std::vector<Ipv6Net>& nets6 = checker.nets6();
    const std::size_t step6 = std::max<std::size_t>(1, nets6.size() / kMaxNetsQueried);
    auto text6 = [](Ipv6Number n) { return formatIp(IpAddress::fromV6(n)); };
    for (std::size_t k = 0; k < nets6.size(); k += step6) {
        const Ipv6Number first = nets6[k].first;
        const Ipv6Number last = nets6[k].last();
        const Ipv6Number before{first.hi - (first.lo == 0), first.lo - 1};
        const Ipv6Number after{last.hi + (last.lo == ~std::uint64_t{0}), last.lo + 1};
        for (const Ipv6Number a : {before, first, last, after}) {
            out.push_back(text6(a));
        }
        const int prefix = nets6[k].prefix;
        for (const int p : {prefix, std::min(prefix + 1, 128), std::max(prefix - 1, 0)}) {
            out.push_back(text6(first) + "/" + std::to_string(p));
        }
    }
    std::size_t lines = 0;
    forEachLine(text, [&](std::string_view line) {
        if (lines++ < kMaxLinesQueried) {
            out.emplace_back(line);
        }
    });
    return out;
}

void expectIndexAsScan(const clsNetChecker& checker, const std::string& q, const char* when) {
    const std::string byIndex = checker.checkIp(q);
    const std::string byScan = checker.checkIpByScan(q);
    if (byIndex != byScan) {
        fail(std::string("checkIp(") + q + ") " + when, byIndex, byScan);
    }
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string_view input = asText(data, size);
    const std::size_t cut = input.find('\f');
    const std::string_view first = input.substr(0, cut);
    const std::string_view second =
        cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    testing::FakeUi ui;
    clsNetChecker checker;
    checker.add_nets(first);
    const std::vector<std::string> all = queries(checker, input);
    for (const std::string& q : all) {
        expectIndexAsScan(checker, q, "after one load");
    }
    std::size_t turn = 0;
    ui.onDoEvents = [&] {
        if (!all.empty()) {
            expectIndexAsScan(checker, all[turn++ % all.size()], "while loading");
        }
    };
    checker.add_nets(second, ui.yield());
    ui.onDoEvents = nullptr;
    for (const std::string& q : queries(checker, input)) {
        expectIndexAsScan(checker, q, "after a second load");
    }
    return 0;
}
