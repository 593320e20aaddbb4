// The command line and the standard streams in UTF-8, whatever the platform.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/line_reader.h"

namespace netsorter::console {

std::vector<std::string> arguments(int argc, char** argv);

// Standard output failed: the run ends. what() is the reason, empty when whoever read the
// output has gone (a closed pipe), which is no news to anyone.
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Standard output is gathered and written in large pieces; it is flushed before standard
// input is waited for, before anything goes to standard error, and by flushOut. Either may
// throw WriteError; what was pending is dropped then.
void writeOut(std::string_view utf8);
void flushOut();
void writeErr(std::string_view utf8);

// One line of standard input, as LineReader reads it; false at its end or on a failure.
bool readLine(Line& line);
// Standard input as bytes, for the browsers' host (never mixed with readLine): size bytes,
// fewer only at its end or on a failure.
std::size_t readBytes(char* buffer, std::size_t size);
// Why standard input ended early; empty when it simply ended.
const std::string& inputError();

// The platform's part.
namespace platform {
// A failure when not every byte was written, with the reason (empty for a closed pipe).
Status writeOut(std::string_view utf8);
void writeErr(std::string_view utf8);
// As LineReader::Read: what standard input has, up to size bytes, waiting only when it has
// nothing; 0 at its end.
Result<std::size_t> readIn(char* buffer, std::size_t size);
}  // namespace platform

}  // namespace netsorter::console
