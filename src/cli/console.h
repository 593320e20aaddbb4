// The command line and the standard streams in UTF-8, whatever the platform.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/line_reader.h"

namespace netsorter::console {

// The arguments after the program's name; the name, as it was started, is kept for
// programName.
std::vector<std::string> arguments(int argc, char** argv);
// What the tool calls itself in its help and on standard error: the file name it was
// started by, without a path (and without ".exe" on Windows).
const std::string& programName();
// The name of a program started as argv0.
std::string nameAsStarted(std::string_view argv0, bool dropExe);
// A message on standard error, after the program's name.
void tell(std::string_view message);

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

// Runs before readLine waits for standard input, before the output is flushed: whoever
// feeds the input may wait for the answers so far. Empty: nothing but the flush.
void beforeInputWaits(std::function<void()> drain);
// One line of standard input, as LineReader reads it; false at its end or on a failure.
bool readLine(Line& line);
// Standard input as bytes, for the browsers' host (never mixed with readLine): size bytes,
// fewer only at its end or on a failure.
std::size_t readBytes(char* buffer, std::size_t size);
// Why standard input ended early; empty when it simply ended.
const std::string& inputError();
// A line of standard input as UTF-8 (the bytes LineReader gave).
std::string decodeLine(std::string_view bytes);

// The platform's part.
namespace platform {
// Where arguments keeps the name.
std::string& programName();
// A failure when not every byte was written, with the reason (empty for a closed pipe).
Status writeOut(std::string_view utf8);
void writeErr(std::string_view utf8);
// As LineReader::Read: what standard input has, up to size bytes, waiting only when it has
// nothing; 0 at its end.
Result<std::size_t> readIn(char* buffer, std::size_t size);
// 8-bit text that is not UTF-8 in the code page the user's console types in, when it is
// neither UTF-8 nor Windows-1251 and the bytes fit it; empty otherwise.
std::string fromConsoleCodePage(std::string_view bytes);
// Whether a read of standard input would answer at once (data, its end, or a failure).
bool inputReady();
// How to end standard input when a person types it; empty when no one does.
std::string inputHint();
}  // namespace platform

}  // namespace netsorter::console
