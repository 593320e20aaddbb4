// The link reader on any text: the relation of its two answers, a host that is a piece of
// the text and never holds a slash unless an escape gave it one, and hosts built into links
// of every form that come back out of them whole.
#include <cstdint>
#include <string>

#include "check/parse_url.h"
#include "common/text.h"
#include "fuzz_support.h"
#include "nets/net_checker.h"

namespace netsorter::fuzz {
namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string percentEncoded(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string answerOf(const std::string& address, std::string& domain) {
    domain = "stale";
    const std::string answer = parseUrl(address, domain);
    expect(domain.empty() ? answer.empty() || clsNetChecker::isIp(answer) : answer == domain,
           "domain and answer of [" + address + "]");
    return answer;
}

void expectHost(const std::string& address, const std::string& host) {
    std::string domain;
    expectEqual("the host of [" + address + "]", answerOf(address, domain), host);
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string text(asText(data, size));

    std::string domain;
    const std::string answer = answerOf(text, domain);
    if (text.find('%') == npos) {
        expect(text.find(answer) != npos, "the answer is a piece of [" + text + "]");
        expect(answer.find('/') == npos, "a slash in the answer for [" + text + "]");
    }
    expect(!isValidUtf8(text) || isValidUtf8(answer), "broken UTF-8 from [" + text + "]");

    // The input's bytes, less those that delimit a host, as a host in every form of link.
    std::string host;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7F &&
            std::string_view(":/?#@[]%").find(c) == npos) {
            host += c;
        }
    }
    if (!host.empty()) {
        expectHost("http://" + host, host);
        expectHost("HTTPS://us:pw@" + host + ":8080/p/a?q=1@x#f@g", host);
        expectHost("ftp://[" + host + "]:21/", host);
        expectHost(host + ":53", host);
        expectHost(host + "/a/b", host);
        expectHost("[" + host + "]:80/x", host);
    }
    // Every byte escaped: decoded when that gives text fit to show, else kept as written.
    if (!text.empty()) {
        bool fit = isValidUtf8(text);
        for (const char c : text) {
            fit = fit && static_cast<unsigned char>(c) > 0x20 && c != 0x7F;
        }
        const std::string escaped = percentEncoded(text);
        expectHost("http://" + escaped + "/", fit ? text : escaped);
    }
    return 0;
}
