#include "cli/console.h"

namespace netsorter::console {
namespace {

constexpr std::size_t kPiece = 1 << 16;

std::string& pendingOut() {
    static std::string pending;
    return pending;
}

std::string& bytesError() {
    static std::string error;
    return error;
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
    const Status written = platform::writeOut(pending);
    pending.clear();
    if (!written) {
        throw WriteError(written.reason());
    }
}

void writeErr(std::string_view utf8) {
    flushOut();
    platform::writeErr(utf8);
}

bool readLine(Line& line) {
    return input().readLine(line);
}

std::size_t readBytes(char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size && bytesError().empty()) {
        flushOut();
        const Result<std::size_t> n = platform::readIn(buffer + got, size - got);
        if (!n) {
            bytesError() = n.reason();
        }
        if (!n || *n == 0) {
            break;
        }
        got += *n;
    }
    return got;
}

const std::string& inputError() {
    return input().error().empty() ? bytesError() : input().error();
}

}  // namespace netsorter::console
