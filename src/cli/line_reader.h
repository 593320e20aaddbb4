// The lines of a stream of bytes, as the command-line tool reads addresses from standard
// input: 8-bit text (UTF-8 or Windows-1251), or UTF-16 with a byte-order mark, which comes
// out as UTF-8.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/problem.h"

namespace netsorter::console {

// No address is this long: a binary file piped by mistake must not fill the memory.
inline constexpr std::size_t kMaxLineBytes = 64 << 10;

struct Line {
    // A line that is too long or holds a NUL byte is no address; its text is empty.
    enum class Fault { None, TooLong, Nul };
    std::string text;
    std::size_t number = 0;  // from 1
    Fault fault = Fault::None;
};

class LineReader {
  public:
    // read fills at most size bytes of buffer and answers how many, waiting only when there
    // is nothing yet; 0 means the end. beforeWait runs before each read.
    using Read = std::function<Result<std::size_t>(char* buffer, std::size_t size)>;
    LineReader(Read read, std::function<void()> beforeWait);

    // The next line without its line end (CR LF, LF or a lone CR); false at the end of the
    // input or on a failure. A last line without a line end counts when it is not empty.
    bool readLine(Line& line);

    // Why the input ended early (a failed read, or UTF-16 without its mark); empty when it
    // simply ended. A line cut off by a failed read is not given.
    const std::string& error() const { return error_; }

  private:
    enum class Encoding { Unknown, Bytes, Utf16le, Utf16be };

    void fill();
    void sniff();
    std::size_t readSome(char* to, std::size_t size);
    void readInto(std::string& to);
    void decodeUtf16();

    Read read_;
    std::function<void()> beforeWait_;
    Encoding encoding_ = Encoding::Unknown;
    std::string buffer_;  // 8-bit text, as read or decoded, up to end_
    std::size_t end_ = 0;
    std::size_t at_ = 0;
    std::string raw_;  // UTF-16 bytes not decoded yet
    char16_t highSurrogate_ = 0;
    bool ended_ = false;
    bool skipLf_ = false;  // the last line ended with CR, which an LF may follow
    std::size_t lines_ = 0;
    std::string error_;
};

}  // namespace netsorter::console
