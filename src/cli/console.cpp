#include "cli/console.h"

#include "common/text.h"

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

std::function<void()>& drainHook() {
    static std::function<void()> drain;
    return drain;
}

LineReader& input() {
    // Whoever feeds the input may wait for the answers so far: they are out before a read
    // that would wait.
    static LineReader in(platform::readIn, [] {
        if (platform::inputReady()) {
            return;
        }
        if (drainHook()) {
            drainHook()();
        }
        flushOut();
    });
    return in;
}

}  // namespace

void writeOut(std::string_view utf8) {
    std::string& pending = pendingOut();
    // A large piece goes out as it is, without a copy into the pending one.
    if (utf8.size() >= kPiece) {
        flushOut();
        if (const Status written = platform::writeOut(utf8); !written) {
            throw WriteError(written.reason());
        }
        return;
    }
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

void beforeInputWaits(std::function<void()> drain) {
    drainHook() = std::move(drain);
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

std::string& platform::programName() {
    static std::string name = "netsorter";
    return name;
}

const std::string& programName() {
    return platform::programName();
}

std::string nameAsStarted(std::string_view argv0, bool dropExe) {
    const std::size_t slash = argv0.find_last_of(dropExe ? "/\\" : "/");
    std::string name(argv0.substr(slash == std::string_view::npos ? 0 : slash + 1));
    if (dropExe && name.size() > 4) {
        std::string suffix = name.substr(name.size() - 4);
        for (char& c : suffix) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        if (suffix == ".exe") {
            name.resize(name.size() - 4);
        }
    }
    return name.empty() ? "netsorter" : name;
}

void tell(std::string_view message) {
    writeErr(programName() + ": " + std::string(message) + "\n");
}

std::string decodeLine(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    if (!isValidUtf8(bytes)) {
        if (std::string text = platform::fromConsoleCodePage(bytes); !text.empty()) {
            return text;
        }
    }
    return decodeText(bytes);
}

const std::string& inputError() {
    return input().error().empty() ? bytesError() : input().error();
}

}  // namespace netsorter::console
