// The check of any address text, with a resolver that answers any name with addresses (or
// other texts) taken from the input. The input is the address, then, after a form feed, the
// resolver's answers one per line; its first byte's low bit allows the reverse lookup.
#include <string>
#include <vector>

#include "check/check.h"
#include "check/parse_url.h"
#include "common/text.h"
#include "fuzz_support.h"
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
    const std::string ip = parseUrl(trimSpaces(url), domain);
    expect(domain.empty() ? ip.empty() || clsNetChecker::isIp(ip) : ip == domain,
           "parseUrl of [" + url + "]");
    resolver.ips = {{domain, answers}};
    resolver.names = {{ip, answers.empty() ? std::string() : answers.front()}};

    CheckOptions options;
    options.reverseLookup = reverse;
    const CheckResult result = checkAddress(url, engines, options);

    const std::string expectedIp = domain.empty() ? ip : answers.empty() ? "" : answers.front();
    expectEqual("the IP", result.ip, expectedIp.empty() ? kNoIp : expectedIp);
    if (expectedIp.empty()) {
        expectEqual("no country without an address", result.country, kNoCountryForNoIp);
    } else {
        expectEqual("the traffic type", result.traffic, engines.nets().checkIp(expectedIp));
        expect(result.country == kCountryUnknown || result.country == "Верхняя половина (Верх)" ||
                   result.country == "Низ",
               "the country [" + result.country + "]");
    }
    if (domain.empty() && !ip.empty()) {
        const std::string name = answers.empty() ? "" : answers.front();
        expectEqual("the domain", result.domain,
                    !reverse       ? kNotChecked
                    : name.empty() ? kNoDomain
                                   : name);
    }
    return 0;
}
