// Country lookups on the shipped MaxMind DB, 1 M seeded random IPv4 addresses: ours from the
// tables loaded once, and libmaxminddb's lookup (of a text, and of a socket address) with
// its MMDB_get_value of the same field. Also the load into tables, beside libmaxminddb's
// own open. The same for owners (the AS number and the organisation) on the shipped owner
// database. Each lookup iteration looks up all the addresses once.
#include <benchmark/benchmark.h>
#include <maxminddb.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <memory>
#include <string>
#include <vector>

#include "bench_data.h"
#include "geo/mmdb_countries.h"
#include "geo/mmdb_owners.h"
#include "nets/ipv4.h"

namespace {

const netsorter::MmdbCountries* shipped() {
    static const netsorter::Result<netsorter::MmdbCountries> load =
        netsorter::MmdbCountries::load(NETSORTER_COUNTRY_MMDB);
    return load ? &*load : nullptr;
}

void ours(benchmark::State& state, bool text) {
    const netsorter::MmdbCountries* db = shipped();
    if (!db) {
        state.SkipWithError("cannot load " NETSORTER_COUNTRY_MMDB);
        return;
    }
    const std::vector<std::uint32_t>& numbers = bench::randomAddresses();
    const std::vector<std::string>& texts = bench::dottedAddresses();
    std::size_t found = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            std::uint32_t address = numbers[i];
            if (text) {
                double number = 0;
                netsorter::ipToNumber(texts[i], number);
                address = static_cast<std::uint32_t>(number);
            }
            found += db->country(address).has_value();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(ours, numbers, false)->Name("mmdb/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, texts, true)->Name("mmdb/ours_text")->Unit(benchmark::kMillisecond);

struct MmdbClose {
    void operator()(MMDB_s* db) const {
        MMDB_close(db);
        delete db;
    }
};

void libmaxminddb(benchmark::State& state, bool text) {
    std::unique_ptr<MMDB_s, MmdbClose> db(new MMDB_s{});
    if (MMDB_open(NETSORTER_COUNTRY_MMDB, MMDB_MODE_MMAP, db.get()) != MMDB_SUCCESS) {
        delete db.release();
        state.SkipWithError("MMDB_open failed on " NETSORTER_COUNTRY_MMDB);
        return;
    }
    const std::vector<std::uint32_t>& numbers = bench::randomAddresses();
    const std::vector<std::string>& texts = bench::dottedAddresses();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::size_t found = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            int gaiError = 0;
            int mmdbError = 0;
            MMDB_lookup_result_s result;
            if (text) {
                result = MMDB_lookup_string(db.get(), texts[i].c_str(), &gaiError, &mmdbError);
            } else {
                address.sin_addr.s_addr = htonl(numbers[i]);
                result = MMDB_lookup_sockaddr(db.get(), reinterpret_cast<sockaddr*>(&address),
                                              &mmdbError);
            }
            MMDB_entry_data_s data;
            found +=
                gaiError == 0 && mmdbError == MMDB_SUCCESS && result.found_entry &&
                MMDB_get_value(&result.entry, &data, "country_code", nullptr) == MMDB_SUCCESS &&
                data.has_data;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(libmaxminddb, lookup_string, true)
    ->Name("mmdb/libmaxminddb_string")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libmaxminddb, lookup_sockaddr, false)
    ->Name("mmdb/libmaxminddb_sockaddr")
    ->Unit(benchmark::kMillisecond);

void oursLoad(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const netsorter::Result<netsorter::MmdbCountries> loaded =
            netsorter::MmdbCountries::load(NETSORTER_COUNTRY_MMDB);
        if (!loaded) {
            state.SkipWithError(loaded.reason().c_str());
            return;
        }
        bytes = loaded->tableBytes();
    }
    state.counters["table_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(oursLoad)->Name("mmdb/load")->Unit(benchmark::kMillisecond);

// Maps the file and reads its metadata; lookups then read the mapped tree.
void libmaxminddbOpen(benchmark::State& state) {
    for (auto _ : state) {
        MMDB_s db{};
        if (MMDB_open(NETSORTER_COUNTRY_MMDB, MMDB_MODE_MMAP, &db) != MMDB_SUCCESS) {
            state.SkipWithError("MMDB_open failed on " NETSORTER_COUNTRY_MMDB);
            return;
        }
        MMDB_close(&db);
    }
}
BENCHMARK(libmaxminddbOpen)->Name("mmdb/libmaxminddb_open")->Unit(benchmark::kMillisecond);

const netsorter::MmdbOwners* shippedOwners() {
    static const netsorter::Result<netsorter::MmdbOwners> load =
        netsorter::MmdbOwners::load(NETSORTER_OWNER_MMDB);
    return load ? &*load : nullptr;
}

void oursOwners(benchmark::State& state) {
    const netsorter::MmdbOwners* db = shippedOwners();
    if (!db) {
        state.SkipWithError("cannot load " NETSORTER_OWNER_MMDB);
        return;
    }
    const std::vector<std::uint32_t>& numbers = bench::randomAddresses();
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::uint32_t number : numbers) {
            const auto owner = db->owner(netsorter::IpAddress::fromV4(number));
            found += owner && owner->asNumber && !owner->organisation.empty();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * numbers.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(oursOwners)->Name("owner/ours")->Unit(benchmark::kMillisecond);

void libmaxminddbOwners(benchmark::State& state) {
    std::unique_ptr<MMDB_s, MmdbClose> db(new MMDB_s{});
    if (MMDB_open(NETSORTER_OWNER_MMDB, MMDB_MODE_MMAP, db.get()) != MMDB_SUCCESS) {
        delete db.release();
        state.SkipWithError("MMDB_open failed on " NETSORTER_OWNER_MMDB);
        return;
    }
    const std::vector<std::string>& texts = bench::dottedAddresses();
    std::size_t found = 0;
    for (auto _ : state) {
        for (const std::string& text : texts) {
            int gaiError = 0;
            int mmdbError = 0;
            MMDB_lookup_result_s result =
                MMDB_lookup_string(db.get(), text.c_str(), &gaiError, &mmdbError);
            MMDB_entry_data_s number;
            MMDB_entry_data_s organisation;
            found += gaiError == 0 && mmdbError == MMDB_SUCCESS && result.found_entry &&
                     MMDB_get_value(&result.entry, &number, "autonomous_system_number", nullptr) ==
                         MMDB_SUCCESS &&
                     MMDB_get_value(&result.entry, &organisation, "autonomous_system_organization",
                                    nullptr) == MMDB_SUCCESS &&
                     number.has_data && organisation.has_data;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(libmaxminddbOwners)->Name("owner/libmaxminddb_string")->Unit(benchmark::kMillisecond);

void oursOwnersLoad(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const netsorter::Result<netsorter::MmdbOwners> loaded =
            netsorter::MmdbOwners::load(NETSORTER_OWNER_MMDB);
        if (!loaded) {
            state.SkipWithError(loaded.reason().c_str());
            return;
        }
        bytes = loaded->tableBytes();
    }
    state.counters["table_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(oursOwnersLoad)->Name("owner/load")->Unit(benchmark::kMillisecond);

}  // namespace
