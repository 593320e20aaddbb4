// The check of any address text, with a resolver that answers any name with addresses (or
// other texts) taken from the input. The input is the address, then, after a form feed, the
// resolver's answers one per line; its first byte's low bit allows the reverse lookup.
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "check/parse_url.h"
#include "common/text.h"
#include "fuzz_support.h"
#include "nets/ip_address.h"
#include "resolve/idn.h"
#include "test_engines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    if (size == 0) {
        return 0;
    }
    const bool reverse = data[0] & 1;
    const std::string_view input = asText(data + 1, size - 1);
    const std::size_t cut = input.find('\f');
    const std::string url(input.substr(0, cut));
    std::vector<std::string> answers;
    if (cut != std::string_view::npos) {
        forEachLine(input.substr(cut + 1), [&](std::string_view a) { answers.emplace_back(a); });
    }

    static testing::Log log;
    static Engines engines(".", std::make_unique<testing::FakeResolver>(log));
    static const bool loaded = [] {
        engines.loadBytes("# Частные сети\n10.0.0.0/8\n# Верхние\n200.0.0.0/8\n",
                          "1\tВерх\tUH\tВерхняя половина\tEU\n2\tНиз\n", testing::kTinyDatabase);
        return true;
    }();
    expect(loaded, "the data load");
    auto& resolver = static_cast<testing::FakeResolver&>(engines.resolver());
    log.clear();

    std::string domain = "stale";
    std::string ip = parseUrl(trimWhitespace(url), domain);
    expect(domain.empty() ? ip.empty() || clsNetChecker::isIp(ip) : ip == domain,
           "parseUrl of [" + url + "]");
    // A link's IPv6 address with a zone is checked as the bare address, not resolved.
    if (IpAddress zoned; domain.find('%') != std::string::npos && parseIp(domain, zoned)) {
        domain.clear();
    }

    // The address the check must settle on: a name's first IPv4 answer, else its first IPv6
    // one; an IP text's own address (a range's first address).
    std::optional<IpAddress> expected;
    if (!domain.empty()) {
        std::optional<IpAddress> firstV6;
        for (const std::string& answer : answers) {
            if (IpAddress a; parseIp(answer, a)) {
                if (a.isV4()) {
                    expected = a;
                    break;
                }
                firstV6 = firstV6.value_or(a);
            }
        }
        expected = expected ? expected : firstV6;
    } else if (IpAddress a; !ip.empty() && parseIp(ip, a)) {
        expected = a;
    } else if (IpRange r; !ip.empty() && parseIpRange(ip, r)) {
        expected = r.family == IpAddress::Family::V4
                       ? IpAddress::fromV4(static_cast<std::uint32_t>(r.v4.firstIp))
                       : IpAddress::fromV6(r.v6.first);
    }
    const std::string name = answers.empty() ? "" : answers.front();
    resolver.ips = {{domain, answers}};
    resolver.names.clear();
    if (expected) {
        resolver.names[formatIp(expected->ipv4().value_or(*expected))] = name;
    }

    CheckOptions options;
    options.reverseLookup = reverse;
    const CheckResult result = checkAddress(url, engines, options);

    if (!expected) {
        expectEqual("the IP", result.ip, kNoIp);
        expectEqual("no country without an address", result.country, kNoCountryForNoIp);
    } else {
        // The shown text reads back as that address, whether shown as written or as formatted.
        IpAddress shown;
        expect(parseIp(result.ip, shown) && shown == *expected,
               "the IP [" + result.ip + "] of [" + url + "]");
        expectEqual("the traffic type", result.traffic, engines.nets().checkIp(*expected));
        expect(result.country == kCountryUnknown || result.country == "Верхняя половина (Верх)" ||
                   result.country == "Низ",
               "the country [" + result.country + "]");
    }
    if (domain.empty() && expected) {
        expectEqual("the domain", result.domain,
                    !reverse       ? kNotChecked
                    : name.empty() ? kNoDomain
                                   : displayName(name));
    }
    return 0;
}
