#include "cli/line_reader.h"

#include <string_view>
#include <utility>

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;

}  // namespace

LineReader::LineReader(Read read, std::function<void()> beforeWait)
    : read_(std::move(read)), beforeWait_(std::move(beforeWait)) {}

bool LineReader::readLine(std::string& line) {
    line.clear();
    for (;;) {
        const std::string_view rest = std::string_view(buffer_).substr(at_);
        const std::size_t end = rest.find('\n');
        if (end != std::string_view::npos) {
            line.append(rest.substr(0, end));
            at_ += end + 1;
            break;
        }
        line.append(rest);
        buffer_.clear();
        at_ = 0;
        if (ended_) {
            if (line.empty()) {
                return false;
            }
            break;
        }
        if (beforeWait_) {
            beforeWait_();
        }
        buffer_.resize(kPiece);
        const std::size_t got = read_(buffer_.data(), buffer_.size());
        buffer_.resize(got);
        ended_ = got == 0;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace netsorter::console
