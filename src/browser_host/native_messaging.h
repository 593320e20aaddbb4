// The browsers' native messaging protocol, as a host sees it: each message is a 32-bit
// length in the machine's byte order followed by that many bytes of UTF-8 JSON, in both
// directions. A request is {"address": "..."}; a failed one is answered {"error": CODE}, with
// "reason" where the system gave one. The extension words each code for the user.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "common/problem.h"

namespace netsorter::browser_host {

// The browsers refuse answers longer than this; requests longer than this are refused here,
// since no link is that long and reading one would only fill memory.
inline constexpr std::size_t kMaxMessage = 1024 * 1024;

// Where the host reads requests: fills buffer with up to size bytes and answers how many,
// fewer only at the end of the input (a failed read ends it too: no answer could reach the
// browser then anyway).
using ReadBytes = std::function<std::size_t(char* buffer, std::size_t size)>;
// Where it writes one whole answer, flushed; false when it could not (a writer may throw
// instead, which ends serve too).
using WriteBytes = std::function<bool(std::string_view bytes)>;
using Check = std::function<std::string(const std::string& address)>;

enum class Frame { Message, End, Empty, TooLong, Truncated };

// Reads one message. End: the input ended cleanly before a message began.
Frame readFrame(const ReadBytes& read, std::string& message);

// The answer as the browser reads it: its length, then the text.
std::string frame(std::string_view json);

// What a host can fail at. The last four are the Windows host's: the program's automation
// class is not registered, cannot be reached, refused the address, or the call failed.
enum class Error {
    BadRequest,
    TooLong,
    CheckFailed,
    NetsUnreadable,
    NotRegistered,
    Unreachable,
    Refused,
    CallFailed
};

// reason, when not empty, is the system's own description (or a file's path and that).
std::string errorAnswer(Error error, const std::string& reason = "");

// The address of a request, or the reason it has none.
Result<std::string> requestAddress(std::string_view json);

// Answers each request on in with check(address), a JSON object text, until the input
// ends (0) or a request cannot be served (1: the error has been answered and no later
// message could be trusted to begin where this one claimed to end).
int serve(const ReadBytes& read, const WriteBytes& write, const Check& check);
// The same over C++ streams.
int serve(std::istream& in, std::ostream& out, const Check& check);

}  // namespace netsorter::browser_host
