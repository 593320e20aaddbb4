#include "cli/console.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;

std::string& pendingOut() {
    static std::string pending;
    return pending;
}

LineReader& input() {
    // Whoever feeds the input may wait for the answers so far.
    static LineReader in(platform::readIn, flushOut);
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
    if (pending.empty()) {
        return;
    }
    std::string error;
    const bool written = platform::writeOut(pending, error);
    pending.clear();
    if (!written) {
        throw WriteError(error);
    }
}

void writeErr(std::string_view utf8) {
    flushOut();
    platform::writeErr(utf8);
}

bool readLine(Line& line) {
    return input().readLine(line);
}

const std::string& inputError() {
    return input().error();
}

}  // namespace netsorter::console
