// The command line and the standard streams in UTF-8, whatever the platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace netsorter::console {

std::vector<std::string> arguments(int argc, char** argv);
void writeOut(std::string_view utf8);
void writeErr(std::string_view utf8);
// One line of standard input without its line end; false at the end of input.
bool readLine(std::string& line);

}  // namespace netsorter::console
