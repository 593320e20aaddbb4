// These tests ask the system's resolver, so they run only where its answers come from
// tests/data/hosts and no name server but 127.0.0.1 is configured (scripts/hermetic, which
// wine's Winsock obeys too). Anywhere else they skip before asking anything.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "fake_ui.h"
#include "resolve/idn.h"
#include "resolve/resolver.h"

namespace netsorter {
namespace {

using testing::FakeUi;
using Addresses = std::vector<std::string>;

#ifdef _WIN32
// Wine's Winsock resolves through the Unix host, whose root is drive Z:.
constexpr const char* kHostsFile = "Z:\\etc\\hosts";
constexpr const char* kResolvConf = "Z:\\etc\\resolv.conf";
#else
constexpr const char* kHostsFile = "/etc/hosts";
constexpr const char* kResolvConf = "/etc/resolv.conf";
#endif

bool hasLine(const std::string& text, const std::vector<std::string>& words) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::vector<std::string> got;
        for (std::string w; in >> w;) {
            got.push_back(w);
        }
        if (got == words) {
            return true;
        }
    }
    return false;
}

// Empty when nothing can leave the machine; else why not.
std::string whyNotHermetic() {
    const Result<std::string> hosts = readWholeFile(kHostsFile);
    if (!hosts || !hasLine(*hosts, {"127.0.0.9", "hermetic.test"})) {
        return std::string(kHostsFile) + " is not the tests' hosts file";
    }
    const Result<std::string> conf = readWholeFile(kResolvConf);
    if (!conf) {
        return std::string(kResolvConf) + " cannot be read";
    }
    std::istringstream lines(*conf);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        std::string server;
        if (in >> key >> server && key == "nameserver" && server != "127.0.0.1") {
            return std::string(kResolvConf) + " names the server " + server;
        }
    }
    return {};
}

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// The hosts file lists multi.test's first address twice: the C library's resolver keeps the
// duplicate, Windows' drops it.
const Addresses kMulti =
    kWindows ? Addresses{"10.9.8.7", "10.9.8.6"} : Addresses{"10.9.8.7", "10.9.8.6", "10.9.8.7"};

class Resolver : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = whyNotHermetic();
        if (!why.empty()) {
            GTEST_SKIP() << "not run outside scripts/hermetic: " << why;
        }
    }
    FakeUi ui;
    mdlNET net;

    // The addresses as RFC 5952 writes them (dotted for IPv4).
    Addresses ipsOf(const std::string& host) {
        const HostAddresses found = net.getIpsByName(host, ui.yield());
        EXPECT_FALSE(found.failure) << host;
        Addresses texts;
        for (const IpAddress& ip : found.ips) {
            texts.push_back(formatIp(ip));
        }
        return texts;
    }
    std::string nameOf(const std::string& ip) {
        IpAddress address;
        EXPECT_TRUE(parseIp(ip, address)) << ip;
        const HostName found = net.getNameByIp(address);
        EXPECT_FALSE(found.failure) << ip;
        return found.name;
    }
};

TEST_F(Resolver, AnswersFromTheTestsHostsFile) {
    EXPECT_EQ(ipsOf("hermetic.test"), Addresses{"127.0.0.9"});
}

TEST_F(Resolver, NameToEveryAddressInOrder) {
    struct Row {
        std::string host;
        Addresses expected;
    };
    const Row rows[] = {
        {"multi.test", kMulti},
        {"MULTI.test", kMulti},
        {"one.test", {"192.0.2.10"}},
        // Both families, IPv6 too where the machine has no IPv6 route.
        {"dual.test", {"192.0.2.20", "2001:db8::20"}},
        {"v6only.test", {"2001:db8::10"}},
        {"192.0.2.99", {"192.0.2.99"}},  // a dotted text is its own address
        {"2001:DB8::99", {"2001:db8::99"}},
        {"nosuch.test", {}},
        {std::string("one.test\0.nosuch.test", 21), {}},  // not one.test
        {"пример.рф", {"192.0.2.77"}},  // the hosts file knows only its ASCII form
        {"ПрИмЕр.Рф", {"192.0.2.77"}},
        {"a\uFFFD.рф", {}},  // no ASCII form
        {std::string(100 << 10, 'a') + ".test", {}},
    };
    for (const Row& row : rows) {
        const int turns = ui.doEventsCalls;
        EXPECT_EQ(ipsOf(row.host), row.expected) << row.host;
        EXPECT_EQ(ui.doEventsCalls - turns, static_cast<int>(row.expected.size())) << row.host;
    }
}

TEST_F(Resolver, EventsSeeTheAddressesOneByOne) {
    int turns = 0;
    ui.onDoEvents = [&] {
        // A whole resolution may run inside the turn; the outer one must go on unharmed.
        if (++turns == 1) {
            EXPECT_EQ(nameOf("198.51.100.7"), "reverse.test");
        }
    };
    EXPECT_EQ(ipsOf("multi.test"), kMulti);
    EXPECT_EQ(turns, static_cast<int>(kMulti.size()));
}

TEST_F(Resolver, AddressToItsOfficialName) {
    struct Row {
        std::string ip;
        std::string expected;
    };
    const Row rows[] = {
        {"198.51.100.7", "reverse.test"},
        {"10.9.8.7", "multi.test"},
        {"8.8.8.8", "dns.google"},
        {"192.0.2.77", "xn--e1afmkfd.xn--p1ai"},  // shown converted or not by the check
        {"10.1.2.3", ""},                         // no name
        {"2001:db8::10", "v6only.test"},
        {"2001:0db8:0:0::0010", "v6only.test"},
        {"2001:db8::11", ""},
        // The address as read, leading zeros and all: 010.0.0.8 is 10.0.0.8 (no name), not
        // the 8.0.0.8 an octal reading would ask for.
        {"010.0.0.8", ""},
        {"198.51.100.7\r\n", "reverse.test"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nameOf(row.ip), row.expected) << "[" << row.ip << "]";
    }
    EXPECT_EQ(ui.doEventsCalls, 0);
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// Where Windows' conversion and libidn2 differ, a row gives both answers.
TEST(HostNames, AsciiFormForTheResolver) {
    struct Row {
        std::string name;
        std::optional<std::string> libidn2;
        std::optional<std::string> windows;
    };
    const std::string rf = "xn--e1afmkfd.xn--p1ai";
    const std::optional<std::string> none;
    const Row rows[] = {
        {"", "", ""},
        {"Example.COM", "Example.COM", "Example.COM"},  // ASCII as given
        {"my_host", "my_host", "my_host"},
        {"XN--E1AFMKFD.XN--P1AI", "XN--E1AFMKFD.XN--P1AI", "XN--E1AFMKFD.XN--P1AI"},
        {"пример.рф", rf, rf},
        {"ПРИМЕР.РФ", rf, rf},
        {"ПрИмЕр.Рф", rf, rf},
        {"www.пример.рф.", "www." + rf + ".", "www." + rf + "."},
        {"президент.рф", "xn--d1abbgf6aiiy.xn--p1ai", "xn--d1abbgf6aiiy.xn--p1ai"},
        {"е\u0308лка.рф", "xn--80atc1g.xn--p1ai", "xn--80atc1g.xn--p1ai"},  // as "ёлка"
        {"straße.de", "xn--strae-oqa.de", "strasse.de"},
        {"☃.net", none, "xn--n3h.net"},
        {"пример\u200D.рф", none, rf},
        {repeated("а", 64) + ".рф", none, none},  // a label above 63 letters
        {"a\uFFFD.рф", none, none},
        {"\u200B", none, none},  // maps to nothing, not to the empty name
        {std::string("пример.рф\0.com", 18), none, none},
        {"\xD0\xBF\xD1.рф", none, none},  // broken UTF-8
    };
    for (const Row& row : rows) {
        EXPECT_EQ(toAsciiHost(row.name), kWindows ? row.windows : row.libidn2) << row.name;
    }
}

TEST(HostNames, ReverseNamesShownInUnicodeUnlessALabelMixesScripts) {
    struct Row {
        std::string name;
        std::string shown;
    };
    const Row rows[] = {
        {"dns.google", "dns.google"},
        {"xn--e1afmkfd.xn--p1ai", "пример.рф"},
        {"XN--E1AFMKFD.XN--P1AI", "пример.рф"},
        {"www.xn--d1abbgf6aiiy.xn--p1ai", "www.президент.рф"},
        {"xn--e1afmkfd.com", "пример.com"},  // scripts may differ from label to label
        {"xn--caf-dma.fr", "café.fr"},
        {"xn--mxacd.gr", "αβγ.gr"},
        {"xn--pypal-4ve.com", "xn--pypal-4ve.com"},            // "pаypal", Cyrillic "а"
        {"xn--pypal-d9d.com", "xn--pypal-d9d.com"},            // "pαypal", Greek "α"
        {"xn--mxa8w.com", "xn--mxa8w.com"},                    // Greek and Cyrillic
        {"xn--9ca62obac.xn--p1ai", "xn--9ca62obac.xn--p1ai"},  // "тéст"
        {"pаypal.com", "xn--pypal-4ve.com"},                   // given in UTF-8 already
        // Decodable, yet no valid name: "abc" on Windows, "a⒈" with libidn2.
        {"xn--abc-", "xn--abc-"},
        {"xn--a-ecp.ru", "xn--a-ecp.ru"},
        {"xn--", "xn--"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(displayName(row.name), row.shown) << row.name;
    }
}

}  // namespace
}  // namespace netsorter
