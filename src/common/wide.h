// UTF-8 <-> UTF-16 at the Win32 boundary.
#pragma once

#include <string>
#include <string_view>

namespace netsorter {

std::wstring toWide(std::string_view utf8);
std::string fromWide(std::wstring_view wide);

// The system's description of an error code, without the final line break.
std::string systemMessage(unsigned long code);

}  // namespace netsorter
