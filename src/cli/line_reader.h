// The lines of a stream of bytes, as the command-line tool reads addresses from standard
// input.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace netsorter::console {

class LineReader {
  public:
    // read fills at most size bytes of buffer and answers how many, waiting only when there
    // is nothing yet; 0 means the end. beforeWait runs before each read.
    using Read = std::function<std::size_t(char* buffer, std::size_t size)>;
    LineReader(Read read, std::function<void()> beforeWait);

    // One line without its line end (LF or CR LF); false at the end of the input. A last
    // line without a line end counts when it is not empty.
    bool readLine(std::string& line);

  private:
    Read read_;
    std::function<void()> beforeWait_;
    std::string buffer_;
    std::size_t at_ = 0;
    bool ended_ = false;
};

}  // namespace netsorter::console
