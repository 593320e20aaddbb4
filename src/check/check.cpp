#include "check/check.h"

#include <string_view>
#include <vector>

#include "check/parse_url.h"
#include "common/text.h"

namespace netsorter {

std::string countryText(const std::string& description) {
    // Of the tab-separated fields only the first and the third are ever shown.
    const std::string_view d(description);
    const size_t first = d.find('\t');
    const size_t second = first == std::string_view::npos ? first : d.find('\t', first + 1);
    const size_t third = second == std::string_view::npos ? second : d.find('\t', second + 1);
    if (third == std::string_view::npos) {
        return std::string(d.substr(0, first));
    }
    std::string text(d.substr(second + 1, third - second - 1));
    text += " (";
    text += d.substr(0, first);
    text += ')';
    return text;
}

void checkUrl(CheckHost& host, const std::string& url, bool FromIE) {
    if (!url.empty()) {
        host.setAddressText(url);
    }
    const std::string address = trimSpaces(host.addressText());
    std::string domain;
    std::string ip = parseUrl(address, domain);

    static const std::string checking = kChecking;
    host.setResultText(ResultBox::txtTraffic, checking);
    host.setResultText(ResultBox::txtIP, checking);
    host.setResultText(ResultBox::txtDomain, checking);
    host.setResultText(ResultBox::txtCountry, checking);

    bool reverseAllowed = true;
    if (FromIE) {
        host.setStayHidden(true);
    }
    if (host.stayHidden() && !host.alwaysOnTop()) {
        host.sendToTray();
        reverseAllowed = false;
    }
    // Paint the placeholders and the move to the tray before the lookups block.
    host.doEvents();

    if (!domain.empty()) {
        const std::vector<std::string> ips = host.resolver().getIpsByName(domain);
        ip = ips.empty() ? std::string() : ips.front();
    } else if (!ip.empty()) {
        domain = reverseAllowed ? host.resolver().getNameByIp(ip) : kNotChecked;
    }

    host.setResultText(ResultBox::txtDomain, domain.empty() ? kNoDomain : domain);
    if (!ip.empty()) {
        host.setResultText(ResultBox::txtTraffic, host.netChecker().checkIp(ip));
        host.setResultText(ResultBox::txtIP, ip);
        std::string description;
        // An empty description has nothing to show, just as a failed lookup has not.
        const bool found = host.geo().getCountryByIP(ip, description) && !description.empty();
        host.setResultText(ResultBox::txtCountry,
                           found ? countryText(description) : kCountryUnknown);
    } else {
        host.setResultText(ResultBox::txtTraffic, kWrongIp);
        host.setResultText(ResultBox::txtIP, kNoIp);
        host.setResultText(ResultBox::txtCountry, kNoCountryForNoIp);
    }

    host.loadingStep();

    if (host.stayHidden()) {
        host.showTrayBalloon(host.resultText(ResultBox::txtTraffic) + "\r\n" +
                                 host.resultText(ResultBox::txtCountry),
                             host.resultText(ResultBox::txtIP));
        host.restartTimer1();
    }
}

}  // namespace netsorter
