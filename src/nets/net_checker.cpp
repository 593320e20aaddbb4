#include "nets/net_checker.h"

#include "common/text.h"

namespace netsorter {

std::string clsNetChecker::checkIp(std::string_view ip) const {
    clsNet q;
    if (!parseNet(ip, q)) {
        return kBadIp;
    }
    for (const clsNet& n : nets_) {
        if (q.firstIp >= n.firstIp && q.lastIp <= n.lastIp) {
            return n.comment;
        }
    }
    return kNotInAnySubnet;
}

void clsNetChecker::add_nets(std::string_view lNets) {
    std::string comment;
    for (const std::string& raw : splitLines(lNets)) {
        const std::string line = trimSpaces(raw);
        if (!line.empty()) {
            if (line[0] == '#') {
                comment = trimSpaces(std::string_view(line).substr(1));
            } else {
                clsNet net;
                if (parseNet(line, net)) {
                    net.comment = comment;
                    nets_.push_back(std::move(net));
                }
            }
        }
        ui_.doEvents();
    }
}

}  // namespace netsorter
