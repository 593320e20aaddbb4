// The check of any address text, from the window or from outside, with a resolver that
// answers any name with addresses (or other texts) taken from the input. The input is the
// address, then, after a form feed, the resolver's answers one per line; its first byte's
// low bits say where the check comes from and how the window stands.
#include <string>
#include <vector>

#include "check/check.h"
#include "check/parse_url.h"
#include "common/text.h"
#include "fake_host.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    if (size == 0) {
        return 0;
    }
    const unsigned flags = data[0];
    const std::string_view input = asText(data + 1, size - 1);
    const std::size_t cut = input.find('\f');
    const std::string url(input.substr(0, cut));
    std::vector<std::string> answers;
    if (cut != std::string_view::npos) {
        forEachLine(input.substr(cut + 1), [&](std::string_view a) { answers.emplace_back(a); });
    }

    static testing::FakeHost host;
    static const bool loaded = host.loadCountries("Верх\tUH\tВерхняя половина\tEU");
    expect(loaded, "the country data load");
    host.log.clear();
    host.hidden = flags & 1;
    host.onTop = flags & 2;
    const bool fromIE = flags & 4;
    host.address = "left from before";

    std::string domain = "stale";
    const std::string ip = parseUrl(trimSpaces(url), domain);
    expect(domain.empty() ? ip.empty() || clsNetChecker::isIp(ip) : ip == domain,
           "parseUrl of [" + url + "]");
    host.fakeResolver().ips = {{domain, answers}};
    host.fakeResolver().names = {{ip, answers.empty() ? std::string() : answers.front()}};

    checkUrl(host, url, fromIE);

    const std::string shownIp = host.box(ResultBox::txtIP);
    const std::string expectedIp = domain.empty() ? ip : answers.empty() ? "" : answers.front();
    expectEqual("the IP box", shownIp, expectedIp.empty() ? kNoIp : expectedIp);
    const std::string country = host.box(ResultBox::txtCountry);
    if (expectedIp.empty()) {
        expectEqual("no country without an address", country, kNoCountryForNoIp);
    } else {
        expectEqual("the traffic type", host.box(ResultBox::txtTraffic),
                    host.netChecker().checkIp(expectedIp));
        expect(
            country == kCountryUnknown || country == "Верхняя половина (Верх)" || country == "Низ",
            "the country [" + country + "]");
    }
    expect(host.hidden == ((flags & 1) || fromIE), "stayHidden");
    return 0;
}
