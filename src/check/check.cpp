#include "check/check.h"

#include <vector>

#include "check/parse_url.h"
#include "common/text.h"

namespace netsorter {

std::string countryText(const std::string& description) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = description.find('\t', start)) != std::string::npos;
         start = tab + 1) {
        fields.push_back(description.substr(start, tab - start));
    }
    fields.push_back(description.substr(start));
    if (fields.size() >= 4) {
        return fields[2] + " (" + fields[0] + ")";
    }
    return fields[0];
}

void checkUrl(CheckHost& host, const std::string& url, bool FromIE) {
    if (!url.empty()) {
        host.setAddressText(url);
    }
    const std::string address = trimSpaces(host.addressText());
    std::string domain;
    std::string ip = parseUrl(address, domain);

    host.setResultText(ResultBox::txtTraffic, kChecking);
    host.setResultText(ResultBox::txtIP, kChecking);
    host.setResultText(ResultBox::txtDomain, kChecking);
    host.setResultText(ResultBox::txtCountry, kChecking);

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
