#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fake_ui.h"
#include "nets/ip_address.h"
#include "nets/ipv4.h"
#include "nets/net_checker.h"

namespace netsorter {
namespace {

using testing::FakeUi;

constexpr double ip(double a, double b, double c, double d) {
    return a * 16777216 + b * 65536 + c * 256 + d;
}
constexpr double kTwoTo32 = 4294967296.0;

TEST(ReadOctet, TakesAtMostThreeDigitsOffTheFront) {
    struct Row {
        std::string text;
        bool ok;
        std::int32_t value;  // -1: left as it was
        std::string rest;
    };
    const Row rows[] = {
        {"", false, -1, ""},       {"a1", false, -1, "a1"}, {" 1", false, -1, " 1"},
        {"-1", false, -1, "-1"},   {"+1", false, -1, "+1"}, {"0", true, 0, ""},
        {"7.", true, 7, "."},      {"1a", true, 1, "a"},    {"010", true, 10, ""},
        {"08", true, 8, ""},       {"255", true, 255, ""},  {"1234", true, 123, "4"},
        {"256", false, 256, ""},  // too big, yet consumed and stored
        {"999.", false, 999, "."},
    };
    for (const Row& row : rows) {
        std::string_view text = row.text;
        std::int32_t value = -1;
        EXPECT_EQ(readOctet(text, value), row.ok) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
        EXPECT_EQ(text, row.rest) << row.text;
    }
}

TEST(ParseNet, ReadsAddressesAndRanges) {
    struct Row {
        std::string text;
        bool ok;
        double first = 0;
        double last = 0;
    };
    const double a1234 = ip(1, 2, 3, 4);
    const Row rows[] = {
        {"10.1.2.3", true, ip(10, 1, 2, 3), ip(10, 1, 2, 3)},
        {"192.168.1.0/24", true, ip(192, 168, 1, 0), ip(192, 168, 1, 255)},
        {"10.0.0.5/30", true, ip(10, 0, 0, 5), ip(10, 0, 0, 8)},  // not aligned down
        {"0.0.0.0/0", true, 0, kTwoTo32 - 1},
        {"255.255.255.255/0", true, kTwoTo32 - 1, 2 * kTwoTo32 - 2},
        {"255.255.255.255", true, kTwoTo32 - 1, kTwoTo32 - 1},
        {"010.001.000.009", true, ip(10, 1, 0, 9), ip(10, 1, 0, 9)},  // decimal, not octal
        {"1.2.3.4.5", true, a1234, a1234},
        {"1.2.3.4 and words", true, a1234, a1234},
        {"1.2.3.4 ", true, a1234, a1234},
        {"1.2.3.4:8080", true, a1234, a1234},
        {"1.2.3.2555", true, ip(1, 2, 3, 255), ip(1, 2, 3, 255)},
        {"1.2.3.4/32", true, a1234, a1234},
        {"1.2.3.4/", true, a1234, a1234},
        {"1.2.3.4/x", true, a1234, a1234},
        {"1.2.3.4/-1", true, a1234, a1234},
        {"1.2.3.4/33", true, a1234, a1234},
        {"1.2.3.4/033", true, a1234, a1234},
        {"1.2.3.4/300", true, a1234, a1234},
        {"1.2.3.4/1234", true, a1234, a1234},
        {"1.2.3.4 /8", true, a1234, a1234},
        {"1.2.3.4/08", true, a1234, a1234 + 16777215},
        {"1.2.3.4/8 words", true, a1234, a1234 + 16777215},
        {"1.2.3.4/0", true, a1234, a1234 + kTwoTo32 - 1},
        {"1234.1.1.1", false},
        {"1.2.3.256", false},
        {"256.1.1.1", false},
        {"1.2.3", false},
        {"1.2.3.", false},
        {"1..2.3.4", false},
        {".1.2.3.4", false},
        {" 1.2.3.4", false},
        {"\t1.2.3.4", false},
        {"1 .2.3.4", false},
        {"1. 2.3.4", false},
        {"+1.2.3.4", false},
        {"1.2.3.-4", false},
        {"a.b.c.d", false},
        {"", false},
        {"/24", false},
    };
    for (const Row& row : rows) {
        clsNet net{-1, -2, 7};
        ASSERT_EQ(parseNet(row.text, net), row.ok) << row.text;
        EXPECT_EQ(clsNetChecker::isIp(row.text), row.ok) << row.text;
        EXPECT_EQ(net.firstIp, row.ok ? row.first : -1) << row.text;
        EXPECT_EQ(net.lastIp, row.ok ? row.last : -2) << row.text;
        EXPECT_EQ(net.heading, 7u) << row.text;
    }
}

TEST(IpToNumber, ReadsABareAddressAndIgnoresAnyPrefix) {
    struct Row {
        std::string text;
        bool ok;
        double number;  // -1: left as it was
    };
    const Row rows[] = {
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, kTwoTo32 - 1},
        {"1.2.3.4/8", true, ip(1, 2, 3, 4)},
        {"010.0.0.1", true, ip(10, 0, 0, 1)},
        {"10.1.2.3\r\n", true, ip(10, 1, 2, 3)},
        {"1.2.3", false, -1},
        {"1.2.3.999", false, -1},
        {" 1.2.3.4", false, -1},
        {"", false, -1},
    };
    for (const Row& row : rows) {
        double number = -1;
        EXPECT_EQ(ipToNumber(row.text, number), row.ok) << row.text;
        EXPECT_EQ(number, row.number) << row.text;
    }
}

// Both families through parseIp and back through formatIp: IPv4 keeps its lenient form,
// IPv6 is read by RFC 4291, whole, and written by RFC 5952.
TEST(IpText, ReadsEitherFamilyAndShowsItCanonically) {
    struct Row {
        std::string text;
        std::string shown;  // empty: refused
        bool v4 = false;
    };
    const Row rows[] = {
        {"010.001.000.009", "10.1.0.9", true},
        {"1.2.3.4/8 and words", "1.2.3.4", true},
        {"2001:DB8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of equal runs
        {"2001:0db8:0000:0000:0000:ff00:0042:8329", "2001:db8::ff00:42:8329"},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group stays
        {"0:0:1:0:0:0:1:0", "0:0:1::1:0"},
        {"::", "::"},
        {"::1", "::1"},
        {"1::", "1::"},
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
        {"::FFFF:c000:0201", "::ffff:192.0.2.1"},
        {"::1.2.3.4", "::102:304"},  // IPv4-compatible: not mapped, shown in hex
        {"64:ff9b::192.0.2.1", "64:ff9b::c000:201"},
        {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304"},
        {"fe80::1%eth0", "fe80::1"},
        {"fe80::1%25", "fe80::1"},
        {"1:2:3:4:5:6:7:8:9", ""},
        {"1:2:3:4:5:6:7:8::", ""},  // "::" must stand for at least one group
        {"1:2:3:4:5:6:7:1.2.3.4", ""},
        {"12345::", ""},
        {"1::2::3", ""},
        {":::", ""},
        {":1", ""},
        {"1:", ""},
        {"1:2", ""},
        {"g::1", ""},
        {"::ffff:010.0.0.1", ""},  // 010 would be ten here and eight to inet_addr
        {"::ffff:1.2.3", ""},
        {"::1.2.3.4.5", ""},
        {"::1 ", ""},
        {"::1x", ""},
        {"2001:db8::/32", ""},
        {"[::1]", ""},
        {"fe80::1%", ""},
        {"fe80::1%eth 0", ""},
    };
    for (const Row& row : rows) {
        IpAddress a = IpAddress::fromV6({7, 7});
        ASSERT_EQ(parseIp(row.text, a), !row.shown.empty()) << row.text;
        EXPECT_EQ(formatIp(a), row.shown.empty() ? "::7:0:0:0:7" : row.shown) << row.text;
        EXPECT_EQ(a.isV4(), row.v4) << row.text;
    }
}

TEST(IpText, MappedAddressesStandForTheirIpv4Address) {
    const struct {
        std::string text;
        std::string ipv4;  // empty: none
    } rows[] = {
        {"192.0.2.1", "192.0.2.1"}, {"::ffff:192.0.2.1", "192.0.2.1"}, {"::192.0.2.1", ""},
        {"::ffff:0:192.0.2.1", ""}, {"2001:db8::ffff:c000:201", ""},
    };
    for (const auto& row : rows) {
        IpAddress a;
        ASSERT_TRUE(parseIp(row.text, a)) << row.text;
        const std::optional<IpAddress> v4 = a.ipv4();
        EXPECT_EQ(v4 ? formatIp(*v4) : "", row.ipv4) << row.text;
        EXPECT_EQ(IpAddress::fromV6Bytes(a.v6Bytes()).v6(), a.v6()) << row.text;
    }
    EXPECT_EQ(IpAddress::fromV6Bytes({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}),
              IpAddress::fromV6({0x20010db800000000, 1}));
}

// Ranges as checkIp and nets.txt lines read them.
TEST(IpText, ReadsRanges) {
    struct Row {
        std::string text;
        bool ok;
        std::string first;  // IPv6: the start; IPv4: the range's ends as "first-last"
        int prefix = 0;
    };
    const double all = kTwoTo32 - 1;
    auto v4 = [](double first, double last) {
        return std::to_string(first) + "-" + std::to_string(last);
    };
    const Row rows[] = {
        {"1.2.3.4/8 words", true, v4(ip(1, 2, 3, 4), ip(2, 2, 3, 3))},  // parseNet's own
        {"2001:db8::1/32", true, "2001:db8::", 32},                     // to the boundary
        {"fe80::1%eth0/64", true, "fe80::", 64},
        {"::1/0", true, "::", 0},
        {"2001:db8::1/0128", true, "2001:db8::1", 128},
        {"2001:db8::1/129", true, "2001:db8::1", 128},  // unusable
        {"2001:db8::1/99999999999999999999", true, "2001:db8::1", 128},
        {"::ffff:10.1.2.3/104", true, v4(ip(10, 0, 0, 0), ip(10, 255, 255, 255))},
        {"::ffff:10.0.0.5/126", true, v4(ip(10, 0, 0, 4), ip(10, 0, 0, 7))},
        {"::ffff:10.0.0.5", true, v4(ip(10, 0, 0, 5), ip(10, 0, 0, 5))},
        {"::ffff:10.0.0.5/95", true, v4(0, all)},  // holds every mapped address
        {"::ffff:10.0.0.5/200", true, v4(ip(10, 0, 0, 5), ip(10, 0, 0, 5))},
        {"2001:db8::/", false, ""},
        {"2001:db8::/x", false, ""},
        {"2001:db8::/-1", false, ""},
        {"fe80::1/64%eth0", false, ""},
        {"2001:db8::/32 note", false, ""},
    };
    for (const Row& row : rows) {
        IpRange range;
        ASSERT_EQ(parseIpRange(row.text, range), row.ok) << row.text;
        EXPECT_EQ(clsNetChecker::isIp(row.text), row.ok) << row.text;
        if (!row.ok) {
            continue;
        }
        if (range.family == IpAddress::Family::V4) {
            EXPECT_EQ(v4(range.v4.firstIp, range.v4.lastIp), row.first) << row.text;
        } else {
            EXPECT_EQ(formatIp(IpAddress::fromV6(range.v6.first)), row.first) << row.text;
            EXPECT_EQ(range.v6.prefix, row.prefix) << row.text;
        }
    }
    // A nets.txt line may carry a note after a blank.
    for (const std::string line : {"2001:db8::/32 note", "2001:db8::/32\tnote", "::1 # loopback"}) {
        IpRange range;
        EXPECT_TRUE(parseIpRange(line, range, true)) << line;
    }
}

struct Query {
    std::string ip;
    std::string expected;
};

void expectAnswers(const clsNetChecker& checker, const std::vector<Query>& queries) {
    for (const Query& q : queries) {
        EXPECT_EQ(checker.checkIp(q.ip), q.expected) << q.ip;
    }
}

TEST(NetChecker, HeadingsGiveTheTrafficTypeOfTheSubnetsBelowThem) {
    clsNetChecker checker;
    checker.add_nets(
        "10.0.0.0/24\n"
        "#   Частные сети  \n"
        "10.0.1.0/24\n"
        "   #Отступ пробелами\n"
        "10.0.2.0/24 # слова после подсети\n"
        "\t10.0.3.0/24\n"
        "\t# Заголовок с табуляцией\n"
        "10.0.4.0/24\n"
        "  10.0.5.0/24  \n"
        "#\n"
        "10.0.6.0/24\n"
        "# Таб\tвнутри\n"
        "10.0.7.0/24\n"
        "не подсеть\n"
        "10.0.8.0/24\n");
    expectAnswers(checker, {
                               {"10.0.0.1", ""},  // above the first heading
                               {"10.0.1.1", "Частные сети"},
                               {"10.0.2.1", "Отступ пробелами"},
                               {"10.0.3.1", kNotInAnySubnet},  // indented with a tab
                               {"10.0.4.1", "Отступ пробелами"},
                               {"10.0.5.1", "Отступ пробелами"},
                               {"10.0.6.1", ""},
                               {"10.0.7.1", "Таб\tвнутри"},
                               {"10.0.8.1", "Таб\tвнутри"},
                           });
    EXPECT_EQ(checker.nets().size(), 8u);
}

TEST(NetChecker, RecognisesEveryLineEnd) {
    const std::string text = "# A\r\n1.0.0.0/8\r# B\n2.0.0.0/8\r\n# C\r3.0.0.0/8";
    for (const std::string& t : {text, text + "\r\n", text + "\r", text + "\n"}) {
        clsNetChecker checker;
        checker.add_nets(t);
        EXPECT_EQ(checker.nets().size(), 3u);
        expectAnswers(checker, {{"1.1.1.1", "A"}, {"2.2.2.2", "B"}, {"3.3.3.3", "C"}});
    }
}

TEST(NetChecker, FirstListedSubnetWins) {
    clsNetChecker checker;
    checker.add_nets(
        "# A\n10.0.0.0/8\n"
        "# B\n10.1.0.0/16\n"
        "# C\n192.168.0.0/24\n"
        "# D\n192.168.0.0/24\n");
    EXPECT_EQ(checker.nets().size(), 4u);  // nothing merged or dropped
    expectAnswers(checker, {{"10.1.2.3", "A"}, {"192.168.0.1", "C"}});
}

TEST(NetChecker, RangesIncludeBothEnds) {
    clsNetChecker checker;
    checker.add_nets("# C\n192.168.1.0/24\n# U\n10.0.0.5/30\n# H\n8.8.8.8\n");
    expectAnswers(checker, {
                               {"192.168.0.255", kNotInAnySubnet},
                               {"192.168.1.0", "C"},
                               {"192.168.1.255", "C"},
                               {"192.168.2.0", kNotInAnySubnet},
                               {"10.0.0.4", kNotInAnySubnet},
                               {"10.0.0.5", "U"},
                               {"10.0.0.8", "U"},
                               {"10.0.0.9", kNotInAnySubnet},
                               {"8.8.8.7", kNotInAnySubnet},
                               {"8.8.8.8", "H"},
                               {"8.8.8.9", kNotInAnySubnet},
                           });
}

TEST(NetChecker, ARangeMatchesOnlyASubnetHoldingAllOfIt) {
    clsNetChecker checker;
    checker.add_nets("# C24\n10.0.1.0/24\n# ALL\n255.255.255.255/0\n");
    expectAnswers(checker, {
                               {"10.0.1.0/24", "C24"},
                               {"10.0.1.128/25", "C24"},
                               {"10.0.1.128/24", kNotInAnySubnet},  // runs past the end
                               {"10.0.0.0/16", kNotInAnySubnet},
                               {"255.255.255.255", "ALL"},
                               {"0.0.0.0/0", kNotInAnySubnet},
                           });
}

TEST(NetChecker, BadLinesAreSkippedAndLoadingGoesOn) {
    clsNetChecker checker;
    checker.add_nets("# A\n10.0.0.0/8\n10.256.0.0/16\n300.1.1.1\n1.2.3\n# B\n11.0.0.0/8\n");
    EXPECT_EQ(checker.nets().size(), 2u);
    expectAnswers(checker, {{"10.1.1.1", "A"}, {"11.1.1.1", "B"}});
}

TEST(NetChecker, EachLoadStartsWithoutAHeading) {
    clsNetChecker checker;
    checker.add_nets("# A\n10.0.0.0/8\n");
    checker.add_nets("11.0.0.0/8\n# B\n12.0.0.0/8\n10.0.0.0/8\n");
    ASSERT_EQ(checker.nets().size(), 4u);
    EXPECT_EQ(checker.nets()[1].firstIp, ip(11, 0, 0, 0));  // appended in order
    expectAnswers(checker, {{"10.1.1.1", "A"}, {"11.1.1.1", ""}, {"12.1.1.1", "B"}});
}

TEST(NetChecker, FixedAnswers) {
    FakeUi ui;
    clsNetChecker empty;
    empty.add_nets("", ui.yield());
    EXPECT_EQ(ui.doEventsCalls, 0);
    clsNetChecker loaded;
    loaded.add_nets("# A\n0.0.0.0/0\n");
    for (const clsNetChecker* checker : {&empty, &loaded}) {
        for (const std::string bad : {"", "1.2.3", " 10.1.1.1", "300.1.1.1", "example.org"}) {
            EXPECT_EQ(checker->checkIp(bad), kBadIp) << bad;
        }
    }
    EXPECT_EQ(empty.checkIp("10.1.1.1"), kNotInAnySubnet);
    EXPECT_EQ(kNotInAnySubnet, std::string("Указанный IP не принадлежит ни к одной подсети"));
    EXPECT_EQ(kBadIp, std::string("Ошибка: IP указан неверно!"));
}

// IPv6 lines under the same headings: first in file order within a family, the families
// apart except ::ffff:, which is IPv4 both in the file and in a query.
TEST(NetChecker, Ipv6SubnetsAndIpv4WrittenInIpv6) {
    FakeUi ui;
    clsNetChecker checker;
    checker.add_nets(
        "# A\n10.0.0.0/8\n2001:db8::/32\n"
        "# B\n2001:db8:1::/48\nfe80::5/10 начало не по границе\n::/0\n2001:db8::/x\n"
        "# C\n::ffff:192.168.0.0/112\n::ffff:1.2.3.4/64\n");
    EXPECT_EQ(checker.nets().size(), 3u);
    EXPECT_EQ(checker.nets6().size(), 4u);
    const std::vector<Query> queries = {
        {"2001:db8:1::1", "A"},
        {"fe80::", "B"},
        {"febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "B"},
        {"::1.2.3.4", "B"},  // IPv4-compatible is IPv6
        {"10.1.2.3", "A"},
        {"::ffff:10.1.2.3", "A"},
        {"192.168.5.5", "C"},
        {"::FFFF:c0a8:505", "C"},
        {"8.8.8.8", "C"},  // the /64 holds every mapped address
        {"2001:db8:1::/48", "A"},
        {"2001:db8::/31", "B"},
        {"::ffff:10.0.0.0/104", "A"},
        {"::ffff:10.0.0.0/100", "C"},
        {"2001:db8::1 words", kBadIp},
    };
    expectAnswers(checker, queries);
    for (const Query& q : queries) {
        IpAddress a;
        if (parseIp(q.ip, a)) {
            EXPECT_EQ(checker.checkIp(a), q.expected) << q.ip;
        }
    }

    clsNetChecker v6only;
    v6only.add_nets("# ALL\n::/0\n");
    clsNetChecker v4only;
    v4only.add_nets("# ALL\n0.0.0.0/0\n");
    expectAnswers(v6only, {{"1.2.3.4", kNotInAnySubnet}, {"::ffff:1.2.3.4", kNotInAnySubnet}});
    expectAnswers(v4only, {{"::1", kNotInAnySubnet}, {"::ffff:1.2.3.4", "ALL"}});
}

TEST(NetChecker, YieldsAfterEveryLineAndAChecksMeanwhileSeesTheLinesSoFar) {
    FakeUi ui;
    clsNetChecker checker;
    std::vector<std::string> seen;
    ui.onDoEvents = [&] { seen.push_back(checker.checkIp("10.1.1.1")); };
    // Seven lines: a heading, an empty one, a subnet, blanks, a bad one, a tabbed one and
    // the empty line after the final line end.
    checker.add_nets("# A\r\n\r\n10.0.0.0/8\n  \nbad line\n\t1.2.3.4\n", ui.yield());
    EXPECT_EQ(ui.doEventsCalls, 7);
    const std::vector<std::string> expected = {
        kNotInAnySubnet, kNotInAnySubnet, "A", "A", "A", "A", "A"};
    EXPECT_EQ(seen, expected);
}

// Loads a list twice and asks the queries after each load, and some inside the second
// load's turns, when the index covers the first load only and the lines since are scanned.
void expectIndexAsScan(const std::function<std::string()>& text,
                       const std::vector<std::string>& queries, const std::string& list) {
    FakeUi ui;
    clsNetChecker checker;
    auto expectSame = [&](const char* when) {
        for (const std::string& q : queries) {
            ASSERT_EQ(checker.checkIp(q), checker.checkIpByScan(q)) << q << " " << when << list;
        }
    };
    checker.add_nets(text());
    expectSame("after one load");
    std::size_t turn = 0;
    ui.onDoEvents = [&] {
        if (++turn % 7 == 0) {
            const std::string& q = queries[turn * 31 % queries.size()];
            ASSERT_EQ(checker.checkIp(q), checker.checkIpByScan(q)) << q << " while loading";
        }
    };
    checker.add_nets(text(), ui.yield());
    ui.onDoEvents = nullptr;
    expectSame("after a second load");
}

std::string dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

// The index must give exactly the scan's answer: the first subnet in list order holding
// all of the query. Lists of random subnets, nested and overlapping, repeated under other
// headings, with unaligned starts, /0 (also at 255.255.255.255, ending beyond 2^32 - 1) and
// /32; queries of single addresses (many on subnet ends) and of ranges.
TEST(NetChecker, IndexAnswersAsTheScan) {
    std::mt19937 random(20240601);
    auto address = [&]() { return static_cast<std::uint32_t>(random()); };
    for (int list = 0; list < 40; ++list) {
        const int size = 1 + static_cast<int>(random() % (list < 30 ? 40 : 2000));
        // Few distinct starts make overlaps and repeats common; some lists crowd one /16.
        const bool crowded = list % 3 == 0;
        std::vector<std::uint32_t> starts;
        for (int i = 0; i < 1 + size / 4; ++i) {
            starts.push_back(crowded ? 0x0A0B0000 | (address() & 0xFFFF)
                                     : address() & (random() % 2 ? 0xFFFF0000 : 0xFFFFFFFF));
        }
        for (const std::uint32_t edge : {0u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
            starts.push_back(edge);
        }
        auto text = [&]() {
            std::string t;
            for (int i = 0; i < size; ++i) {
                if (random() % 8 == 0) {
                    t += "# H" + std::to_string(random() % 5) + "\n";
                }
                const std::uint32_t kind = random() % 10;
                // A crowded /16 holds narrow subnets only, so that its cuts stay many.
                const int prefix = crowded     ? 20 + static_cast<int>(random() % 13)
                                   : kind == 0 ? 0
                                   : kind < 4  ? 32
                                               : static_cast<int>(random() % 33);
                t += dotted(starts[random() % starts.size()]) + "/" + std::to_string(prefix) + "\n";
            }
            return t;
        };
        std::vector<std::string> queries;
        for (int i = 0; i < 300; ++i) {
            // Around a start, or around the end of a subnet from it.
            const std::uint32_t from = starts[random() % starts.size()];
            const std::uint32_t near =
                (random() % 2 ? from : from + (2u << (random() % 32)) - 1) + random() % 5 - 2;
            const std::uint32_t a = random() % 4 ? near : address();
            queries.push_back(random() % 4 ? dotted(a)
                                           : dotted(a) + "/" + std::to_string(random() % 33));
        }
        expectIndexAsScan(text, queries, ", list " + std::to_string(list));
    }
}

// The same for IPv6 lists, alone and mixed with IPv4 lines and ::ffff: ones. Starts spread
// over all addresses, or clustered under three /16s (the index's second level then tells
// them apart), or crowded into one /64 (where it cannot); prefixes run from 0 to 128.
TEST(NetChecker, IndexAnswersAsTheScanForIpv6AndMixedLists) {
    std::mt19937_64 random(20250105);
    auto v6 = [](Ipv6Number n) { return formatIp(IpAddress::fromV6(n)); };
    for (int list = 0; list < 40; ++list) {
        const int size = 1 + static_cast<int>(random() % (list < 30 ? 60 : 3000));
        const bool crowded = list % 4 == 0;
        const bool clustered = list % 4 == 2;
        const bool mixed = list % 3 == 1;
        std::vector<Ipv6Number> starts;
        for (int i = 0; i < 1 + size / 4; ++i) {
            const std::uint64_t top[] = {0x2001, 0x2a02, 0x2400};
            std::uint64_t hi = random() & (random() % 2 ? ~std::uint64_t{0} << 32 : ~0ull);
            if (clustered) {
                hi = top[random() % 3] << 48 | hi >> 16;
            }
            starts.push_back(crowded ? Ipv6Number{0x20010db800000000, random() % 65536}
                                     : Ipv6Number{hi, random() % 2 ? 0 : random()});
        }
        starts.push_back({0, 0});
        starts.push_back({~0ull, ~0ull});
        auto prefix = [&] {
            const std::uint64_t kind = random() % 10;
            return crowded ? 120 + random() % 9 : kind == 0 ? random() % 16 : random() % 129;
        };
        auto text = [&]() {
            std::string t;
            for (int i = 0; i < size; ++i) {
                if (random() % 8 == 0) {
                    t += "# H" + std::to_string(random() % 5) + "\n";
                }
                const std::uint64_t kind = mixed ? random() % 3 : 0;
                const auto a = static_cast<std::uint32_t>(random());
                t += kind == 0
                         ? v6(starts[random() % starts.size()]) + "/" + std::to_string(prefix())
                     : kind == 1 ? dotted(a) + "/" + std::to_string(random() % 33)
                                 : "::ffff:" + dotted(a) + "/" + std::to_string(80 + random() % 49);
                t += "\n";
            }
            return t;
        };
        std::vector<std::string> queries;
        for (int i = 0; i < 300; ++i) {
            const Ipv6Number from = starts[random() % starts.size()];
            const Ipv6Number host = Ipv6Net{{0, 0}, 0, static_cast<std::uint8_t>(prefix())}.last();
            Ipv6Number near =
                random() % 2 ? from : Ipv6Number{from.hi | host.hi, from.lo | host.lo};
            near.lo += random() % 5 - 2;
            const std::string q = v6(random() % 4 ? near : Ipv6Number{random(), random()});
            queries.push_back(random() % 4 ? q : q + "/" + std::to_string(random() % 129));
            if (mixed) {
                queries.push_back(dotted(static_cast<std::uint32_t>(random())));
                queries.push_back("::ffff:" + queries.back());
            }
        }
        expectIndexAsScan(text, queries, ", list " + std::to_string(list));
    }
}

}  // namespace
}  // namespace netsorter
