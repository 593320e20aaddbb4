// Country lookups on Debian's GeoIP.dat, 1 M seeded random addresses: ours by positioned
// reads and from the memory image, and the legacy GeoIP C library in its standard and
// memory-cache modes. Each iteration looks up all the addresses once. The same for IPv6 on
// its GeoIPv6.dat, from the memory image and the memory-cache mode.
#include <GeoIP.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "geo/geo.h"

namespace {

using netsorter::IpAddress;
using netsorter::Ipv6Number;

void ours(benchmark::State& state, netsorter::GeoAccess access) {
    netsorter::clsGeo geo;
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

// --- IPv6 ---

// Random IPv6 addresses almost never have a country: these are drawn inside the leaves of
// GeoIPv6.dat that have one, outside the IPv4 addresses it repeats (::a.b.c.d, ::ffff:
// a.b.c.d, 6to4's 2002::/16): a leaf at random, an address at random inside it.
const std::vector<IpAddress>& ipv6Addresses() {
    static const std::vector<IpAddress> addresses = [] {
        std::ifstream in(NETSORTER_GEOIPV6_DAT, std::ios::binary);
        const std::string db{std::istreambuf_iterator<char>(in), {}};
        const auto record = [&](std::uint64_t node, int side) {
            const auto* b = reinterpret_cast<const unsigned char*>(db.data() + node * 6 + side * 3);
            return b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16);
        };
        struct Leaf {
            Ipv6Number first;
            Ipv6Number span;  // the bits that vary inside it
        };
        struct Pending {
            std::uint64_t node;
            int depth;
            Ipv6Number first;
        };
        std::vector<Leaf> leaves;
        std::vector<Pending> pending{{0, 0, {}}};
        while (!pending.empty() && leaves.size() < db.size()) {
            const Pending p = pending.back();
            pending.pop_back();
            if ((p.node + 1) * 6 > db.size() || p.depth >= 128) {
                continue;
            }
            for (int side = 0; side < 2; ++side) {
                const int bit = 127 - p.depth;
                Ipv6Number first = p.first;
                Ipv6Number span;
                if (bit >= 64) {
                    first.hi |= std::uint64_t(side) << (bit - 64);
                    span = {(std::uint64_t{1} << (bit - 64)) - 1, ~std::uint64_t{0}};
                } else {
                    first.lo |= std::uint64_t(side) << bit;
                    span = {0, (std::uint64_t{1} << bit) - 1};
                }
                const std::uint32_t r = record(p.node, side);
                if (r < 16776960) {
                    pending.push_back({r, p.depth + 1, first});
                } else if (r > 16776960 && first.hi != 0 && first.hi >> 48 != 0x2002) {
                    leaves.push_back({first, span});
                }
            }
        }
        std::vector<IpAddress> out;
        if (leaves.empty()) {
            return out;
        }
        std::mt19937_64 random(20240517);
        out.reserve(bench::kAddresses);
        for (size_t i = 0; i < bench::kAddresses; ++i) {
            const Leaf& leaf = leaves[random() % leaves.size()];
            out.push_back(IpAddress::fromV6({leaf.first.hi | (random() & leaf.span.hi),
                                             leaf.first.lo | (random() & leaf.span.lo)}));
        }
        return out;
    }();
    return addresses;
}

const std::vector<std::string>& ipv6Texts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        for (const IpAddress& a : ipv6Addresses()) {
            out.push_back(netsorter::formatIp(a));
        }
        return out;
    }();
    return texts;
}

void ours6(benchmark::State& state, bool text) {
    netsorter::clsGeo geo;
    if (!geo.openCountriesFile(NETSORTER_COUNTRIES_TXT) ||
        !geo.openDataFile(NETSORTER_GEOIP_DAT, netsorter::GeoAccess::MemoryImage,
                          NETSORTER_GEOIPV6_DAT) ||
        geo.database().ipv6Path.empty() || ipv6Addresses().empty()) {
        state.SkipWithError("cannot open " NETSORTER_GEOIP_DAT " or " NETSORTER_GEOIPV6_DAT);
        return;
    }
    const std::vector<IpAddress>& numbers = ipv6Addresses();
    const std::vector<std::string>& texts = ipv6Texts();
    size_t found = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < numbers.size(); ++i) {
            found += (text ? geo.getCountryByIP(texts[i]) : geo.getCountryByIP(numbers[i])).found;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(ours6, memory_image, false)
    ->Name("ours6/memory_image")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours6, memory_image_text, true)
    ->Name("ours6/memory_image_text")
    ->Unit(benchmark::kMillisecond);

// Teredo addresses are taken as ours take them; none are drawn anyway.
void libgeoip6(benchmark::State& state, bool text) {
    const std::unique_ptr<GeoIP, decltype(&GeoIP_delete)> gi(
        GeoIP_open(NETSORTER_GEOIPV6_DAT, GEOIP_MEMORY_CACHE | GEOIP_SILENCE), &GeoIP_delete);
    if (!gi || ipv6Addresses().empty()) {
        state.SkipWithError("GeoIP_open failed on " NETSORTER_GEOIPV6_DAT);
        return;
    }
    GeoIP_enable_teredo(gi.get(), 0);
    std::vector<geoipv6_t> numbers(ipv6Addresses().size());
    for (size_t i = 0; i < numbers.size(); ++i) {
        std::memcpy(numbers[i].s6_addr, ipv6Addresses()[i].v6Bytes().data(), 16);
    }
    const std::vector<std::string>& texts = ipv6Texts();
    size_t found = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < numbers.size(); ++i) {
            const int id = text ? GeoIP_id_by_addr_v6(gi.get(), texts[i].c_str())
                                : GeoIP_id_by_ipnum_v6(gi.get(), numbers[i]);
            found += id != 0;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(libgeoip6, memory_cache, false)
    ->Name("libgeoip6/memory_cache")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libgeoip6, memory_cache_text, true)
    ->Name("libgeoip6/memory_cache_text")
    ->Unit(benchmark::kMillisecond);

}  // namespace
