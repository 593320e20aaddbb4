// The platform half of the host-name conversions: libidn2 (idn_libidn2.cpp) or Windows'
// own (idn_win32.cpp). Both take a whole name in valid UTF-8 without NUL and answer nothing
// for a name they refuse.
#pragma once

#include <optional>
#include <string>

namespace netsorter::idn_library {

std::optional<std::string> toAscii(const std::string& name);
std::optional<std::string> toUnicode(const std::string& name);

}  // namespace netsorter::idn_library
