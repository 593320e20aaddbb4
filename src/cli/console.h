// The command line and the standard streams in UTF-8, whatever the platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netsorter::console {

std::vector<std::string> arguments(int argc, char** argv);

// Standard output is gathered and written in large pieces; it is flushed before standard
// input is waited for, before anything goes to standard error, and by flushOut.
void writeOut(std::string_view utf8);
void flushOut();
void writeErr(std::string_view utf8);

// One line of standard input without its line end (LF or CR LF); false at the end of
// input. A last line without a line end counts when it is not empty.
bool readLine(std::string& line);

// The platform's part.
namespace platform {
void writeOut(std::string_view utf8);
void writeErr(std::string_view utf8);
// Reads what standard input has, up to size bytes, waiting only when it has nothing;
// 0 at its end or on an error.
std::size_t readIn(char* buffer, std::size_t size);
}  // namespace platform

}  // namespace netsorter::console
