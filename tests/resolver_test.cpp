// These tests ask the system's resolver, so they run only where its answers come from
// tests/data/hosts and no name server but 127.0.0.1 is configured (scripts/hermetic, which
// wine's Winsock obeys too). Anywhere else they skip before asking anything.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "fake_ui.h"
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
    std::string hosts;
    std::string conf;
    std::string reason;
    if (!readWholeFile(kHostsFile, hosts, reason) ||
        !hasLine(hosts, {"127.0.0.9", "hermetic.test"})) {
        return std::string(kHostsFile) + " is not the tests' hosts file";
    }
    if (!readWholeFile(kResolvConf, conf, reason)) {
        return std::string(kResolvConf) + " cannot be read";
    }
    std::istringstream lines(conf);
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

    Addresses ipsOf(const std::string& host) {
        const HostAddresses found = net.getIpsByName(host, ui.yield());
        EXPECT_FALSE(found.failure) << host;
        return found.ips;
    }
    std::string nameOf(const std::string& ip) {
        const HostName found = net.getNameByIp(ip);
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
        {"multi.test", {"10.9.8.7", "10.9.8.6", "10.9.8.7"}},  // duplicates kept
        {"MULTI.test", {"10.9.8.7", "10.9.8.6", "10.9.8.7"}},
        {"one.test", {"192.0.2.10"}},
        {"192.0.2.99", {"192.0.2.99"}},  // a dotted text is its own address
        {"nosuch.test", {}},
        {std::string("one.test\0.nosuch.test", 21), {}},  // not one.test
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
    EXPECT_EQ(ipsOf("multi.test"), (Addresses{"10.9.8.7", "10.9.8.6", "10.9.8.7"}));
    EXPECT_EQ(turns, 3);
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
        {"10.1.2.3", ""},  // no name
        {"198.51.100", ""},
        // inet_addr reads a leading zero as octal: this is 8.0.0.8, not 10.0.0.8.
        {"010.0.0.8", "octal.test"},
        {"10.0.0.8", ""},
        {"0x0a.9.8.7", "multi.test"},
        // What follows a blank is ignored, a line break included...
        {"198.51.100.7 x", "reverse.test"},
        {"198.51.100.7\r\n", "reverse.test"},
        // ...but a text that is no address asks for 255.255.255.255.
        {" 198.51.100.7", "broadcast.test"},
        {"not an address", "broadcast.test"},
        {"", "broadcast.test"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nameOf(row.ip), row.expected) << "[" << row.ip << "]";
    }
    EXPECT_EQ(ui.doEventsCalls, 0);
}

}  // namespace
}  // namespace netsorter
