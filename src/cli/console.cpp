#include "cli/console.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;

std::string& pendingOut() {
    static std::string pending;
    return pending;
}

struct Input {
    std::string buffer;
    std::size_t at = 0;
    bool ended = false;
};

Input& input() {
    static Input in;
    return in;
}

}  // namespace

void writeOut(std::string_view utf8) {
    std::string& pending = pendingOut();
    pending += utf8;
    if (pending.size() >= kPiece) {
        flushOut();
    }
}

void flushOut() {
    std::string& pending = pendingOut();
    if (!pending.empty()) {
        platform::writeOut(pending);
        pending.clear();
    }
}

void writeErr(std::string_view utf8) {
    flushOut();
    platform::writeErr(utf8);
}

bool readLine(std::string& line) {
    Input& in = input();
    line.clear();
    for (;;) {
        const std::string_view rest = std::string_view(in.buffer).substr(in.at);
        const std::size_t end = rest.find('\n');
        if (end != std::string_view::npos) {
            line.append(rest.substr(0, end));
            in.at += end + 1;
            break;
        }
        line.append(rest);
        in.buffer.clear();
        in.at = 0;
        if (in.ended) {
            if (line.empty()) {
                return false;
            }
            break;
        }
        // Whoever feeds the input may wait for the answers so far.
        flushOut();
        in.buffer.resize(kPiece);
        const std::size_t got = platform::readIn(in.buffer.data(), in.buffer.size());
        in.buffer.resize(got);
        in.ended = got == 0;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace netsorter::console
