// Country codes and network owners from MaxMind DB files against python3-maxminddb's
// pure-Python reader, which shares no code with libmaxminddb: its answers for seeded random
// addresses are written by tests/tools/mmdb_oracle.py (the fixture mmdb_oracle). Each answer
// also holds for the first and the last address of the network the reader found, so those
// are compared too; an owner's network is compared itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

#include "geo/mmdb_countries.h"
#include "geo/mmdb_owners.h"

namespace netsorter {
namespace {

// An address (an IPv4 one in the low 32 bits) as the answers write it, in hex.
Ipv6Number parseHex(const std::string& digits) {
    Ipv6Number w;
    for (const char c : digits) {
        const std::uint64_t d = c <= '9' ? c - '0' : c - 'a' + 10;
        w.hi = w.hi << 4 | w.lo >> 60;
        w.lo = w.lo << 4 | d;
    }
    return w;
}

// The address with every bit from bit `from` on (0 the most significant of `bits`) set to
// `one`.
Ipv6Number networkEnd(Ipv6Number a, int bits, int from, bool one) {
    for (int bit = from; bit < bits; ++bit) {
        const int shift = bits - 1 - bit;
        std::uint64_t& half = shift >= 64 ? a.hi : a.lo;
        const std::uint64_t mask = std::uint64_t{1} << (shift % 64);
        half = one ? half | mask : half & ~mask;
    }
    return a;
}

std::string ours(const MmdbCountries& db, int family, Ipv6Number a, int) {
    std::optional<std::string_view> code;
    if (family == 4) {
        code = db.country(static_cast<std::uint32_t>(a.lo));
    } else {
        code = db.country(a);
    }
    return code ? std::string(*code) : "-";
}

// As the oracle writes an owner, with the network's length when it is found.
std::string ours(const MmdbOwners& db, int family, Ipv6Number a, int length) {
    const IpAddress address =
        family == 4 ? IpAddress::fromV4(static_cast<std::uint32_t>(a.lo)) : IpAddress::fromV6(a);
    const std::optional<OwnerAnswer> owner = db.owner(address);
    if (!owner) {
        return "- -";
    }
    std::ostringstream out;
    out << (owner->asNumber ? std::to_string(*owner->asNumber) : "-") << ' ' << std::hex
        << std::setfill('0');
    for (const unsigned char c : owner->organisation) {
        out << std::setw(2) << static_cast<int>(c);
    }
    if (owner->organisation.empty()) {
        out << '-';
    }
    // The network is the one the oracle found the address in.
    if (owner->prefixLength != length) {
        out << " in " << owner->networkText();
    }
    return out.str();
}

template <class Database>
void compareWithOracle(const std::string& database, const std::string& answers,
                       double foundAtLeast) {
    const Result<Database> load = Database::load(database);
    ASSERT_TRUE(load) << database << ": " << load.reason();
    std::ifstream in(answers);
    ASSERT_TRUE(in) << answers;
    std::size_t lines = 0;
    std::size_t found = 0;
    std::size_t compared = 0;
    std::size_t disagreements = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int family = 0;
        std::string hex;
        int length = 0;
        ASSERT_TRUE(fields >> family >> hex >> length) << line;
        std::string code;
        std::getline(fields >> std::ws, code);
        ++lines;
        found += code != "-" && code != "- -";
        const int bits = family == 4 ? 32 : 128;
        const Ipv6Number a = parseHex(hex);
        for (const Ipv6Number probe :
             {a, networkEnd(a, bits, length, false), networkEnd(a, bits, length, true)}) {
            ++compared;
            const std::string got = ours(*load, family, probe, length);
            if (got != code && ++disagreements <= 10) {
                ADD_FAILURE() << line << ": ours " << got << " at " << std::hex << probe.hi << ":"
                              << probe.lo;
            }
        }
    }
    std::cout << database << ": " << lines << " oracle answers (" << found << " with an answer), "
              << compared << " addresses compared, " << disagreements << " disagreements\n";
    EXPECT_EQ(disagreements, 0u);
    // A database that answers nowhere would prove nothing.
    EXPECT_GE(static_cast<double>(found), foundAtLeast * static_cast<double>(lines));
}

const std::string kAnswers = NETSORTER_MMDB_ANSWERS;
const std::string kSamples = NETSORTER_MMDB_SAMPLES;

#ifdef NETSORTER_COUNTRY_MMDB
TEST(MmdbOracle, ShippedDatabase) {
    compareWithOracle<MmdbCountries>(NETSORTER_COUNTRY_MMDB, kAnswers + "/shipped.txt", 0.6);
}
#endif

#ifdef NETSORTER_OWNER_MMDB
// The shipped owner database, made by MaxMind's Perl writer from the pinned CSV files.
TEST(MmdbOracle, ShippedOwnerDatabase) {
    compareWithOracle<MmdbOwners>(NETSORTER_OWNER_MMDB, kAnswers + "/shipped-owners.txt", 0.5);
}
#endif

// The GeoLite2-ASN layout with aliases and the owner records at their worst.
TEST(MmdbOracle, OwnersSample) {
    compareWithOracle<MmdbOwners>(kSamples + "/owners.mmdb", kAnswers + "/owners.txt", 0.1);
}

TEST(MmdbOracle, GeoLite2LayoutIpv6TreeWithAliases) {
    compareWithOracle<MmdbCountries>(kSamples + "/geolite2.mmdb", kAnswers + "/geolite2.txt", 0.3);
}

TEST(MmdbOracle, LocationLayoutIpv4Tree) {
    compareWithOracle<MmdbCountries>(kSamples + "/location-ipv4.mmdb",
                                     kAnswers + "/location-ipv4.txt", 0.3);
}

TEST(MmdbOracle, LocationLayoutIpv6Tree32BitRecords) {
    compareWithOracle<MmdbCountries>(kSamples + "/location-ipv6-32.mmdb",
                                     kAnswers + "/location-ipv6-32.txt", 0.1);
}

}  // namespace
}  // namespace netsorter
