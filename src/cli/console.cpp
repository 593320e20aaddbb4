#include <iostream>

#include "cli/console.h"

namespace netsorter::console {

bool readLine(std::string& line) {
    if (!std::getline(std::cin, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace netsorter::console
