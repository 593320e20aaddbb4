// Addresses in real log lines: what each format must yield, in order, and lines that
// must yield none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/extract.h"

namespace netsorter {
namespace {

TEST(FindAddresses, RealLogLines) {
    const struct {
        const char* name;
        std::string line;
        std::vector<std::string> addresses;
    } rows[] = {
        {"nginx combined",
         R"(203.0.113.9 - - [11/Dec/2026:03:04:05 +0000] "GET /a?ip=1.2.3.4 HTTP/1.1" 200 612 "-" "Mozilla/5.0 Chrome/120.0.6099.109 Safari/537.36")",
         {"203.0.113.9", "1.2.3.4"}},
        {"Apache combined, IPv6 client",
         R"(2001:db8::7 - frank [10/Oct/2000:13:55:36 -0700] "GET http://198.51.100.4:8080/x HTTP/1.0" 200 2326)",
         {"2001:db8::7", "198.51.100.4"}},
        {"iptables",
         "Dec 11 03:04:05 gw kernel: [12345.678901] DROP IN=eth0 OUT= "
         "MAC=00:16:3e:5e:6c:00:00:16:3e:11:22:33:08:00 SRC=192.0.2.1 DST=10.0.0.5 LEN=60 "
         "PROTO=TCP SPT=51234 DPT=22",
         {"192.0.2.1", "10.0.0.5"}},
        {"iptables IPv6",
         "IN=eth0 SRC=fe80::1%eth0 DST=ff02::1 LEN=72",
         {"fe80::1%eth0", "ff02::1"}},
        {"CSV flow record",
         "2026-12-11 03:04:05.123,6,10.1.2.3,51234,[2001:db8::1]:443,1500",
         {"10.1.2.3", "2001:db8::1"}},
        {"JSON lines",
         R"({"ts":"03:04:05","client":"::ffff:198.51.100.7","upstream":"127.0.0.1:9000"})",
         {"::ffff:198.51.100.7", "127.0.0.1"}},
        {"syslog sshd",
         "Dec 11 03:04:05 host sshd[1234]: Failed password for root from 203.0.113.50 port 4242 "
         "ssh2.",
         {"203.0.113.50"}},
        {"X-Forwarded-For and Forwarded",
         R"(X-Forwarded-For: 203.0.113.1, 198.51.100.2, [2001:db8::3]; Forwarded: for="[2001:db8::4]:80";for=192.0.2.60.)",
         {"203.0.113.1", "198.51.100.2", "2001:db8::3", "2001:db8::4", "192.0.2.60"}},
        {"no addresses",
         "v1.2.3.4 1.2.3.4.5 10.1.2 256.1.1.1 1.2.3.4x lib/1.2.3.4 12:34:56 "
         "00:1a:2b:3c:4d:5e abc:def Firefox/121.0.1.2",
         {}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> got;
        for (const FoundAddress& found : findAddresses(row.line)) {
            got.emplace_back(found.text);
        }
        EXPECT_EQ(got, row.addresses) << row.name;
    }
}

}  // namespace
}  // namespace netsorter
