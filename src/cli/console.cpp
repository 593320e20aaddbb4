#include "cli/console.h"

#include "cli/line_reader.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;

std::string& pendingOut() {
    static std::string pending;
    return pending;
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
    // Whoever feeds the input may wait for the answers so far.
    static LineReader in(platform::readIn, flushOut);
    return in.readLine(line);
}

}  // namespace netsorter::console
