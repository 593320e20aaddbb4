// The subnet list of nets.txt: the first subnet, in file order, that wholly contains an
// address gives its traffic type.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/ui.h"
#include "nets/ipv4.h"

namespace netsorter {

inline constexpr const char* kNotInAnySubnet = "Указанный IP не принадлежит ни к одной подсети";
inline constexpr const char* kBadIp = "Ошибка: IP указан неверно!";

class clsNetChecker {
public:
    explicit clsNetChecker(Ui& ui) : ui_(ui) {}

    // The traffic type of an address or range, or one of the two fixed answers above.
    std::string checkIp(std::string_view ip) const;

    // Appends the subnets of one whole nets.txt text (already decoded to UTF-8). Lets
    // pending events run after every line, so a check during loading sees the subnets
    // appended so far.
    void add_nets(std::string_view lNets);

    static bool isIp(std::string_view ip) { return netsorter::isIp(ip); }

    const std::vector<clsNet>& nets() const { return nets_; }

private:
    Ui& ui_;
    std::vector<clsNet> nets_;
};

}  // namespace netsorter
