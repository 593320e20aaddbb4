#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "cli/console.h"

namespace netsorter::console {
namespace {

// The standard streams that were closed when the program started (`<&-`, `>&-`).
std::array<bool, 3>& closedAtStart() {
    static std::array<bool, 3> closed{};
    return closed;
}

// A closed stream's number goes to /dev/null, so that no file the program opens becomes its
// standard input or output; reading or writing it still fails as on the closed stream.
void holdClosedStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closedAtStart()[static_cast<std::size_t>(fd)] = true;
            // The lowest free number: this one.
            ::open("/dev/null", O_RDWR);
        }
    }
}

// A stream some other program left non-blocking waits here rather than failing.
bool waitAgain(int fd, short events) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
        return errno == EINTR;
    }
    pollfd ready{fd, events, 0};
    return ::poll(&ready, 1, -1) >= 0 || errno == EINTR;
}

Status writeAll(int fd, std::string_view bytes) {
    if (closedAtStart()[static_cast<std::size_t>(fd)]) {
        return Status::failure(std::strerror(EBADF));
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (!waitAgain(fd, POLLOUT)) {
            return Status::failure(errno == EPIPE ? "" : std::strerror(errno));
        }
    }
    return Status::success();
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    holdClosedStreams();
    if (argc > 0) {
        platform::programName() = nameAsStarted(argv[0], false);
    }
    return std::vector<std::string>(argv + 1, argv + argc);
}

namespace platform {

Status writeOut(std::string_view utf8) {
    return writeAll(STDOUT_FILENO, utf8);
}

void writeErr(std::string_view utf8) {
    writeAll(STDERR_FILENO, utf8);
}

Result<std::size_t> readIn(char* buffer, std::size_t size) {
    if (closedAtStart()[STDIN_FILENO]) {
        return Status::failure(std::strerror(EBADF));
    }
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (!waitAgain(STDIN_FILENO, POLLIN)) {
            return Status::failure(std::strerror(errno));
        }
    }
}

bool inputReady() {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    // An error or a hang-up is ready too: the read tells it at once.
    return ::poll(&in, 1, 0) != 0;
}

std::string fromConsoleCodePage(std::string_view) {
    return {};
}

// A terminal's user knows Ctrl+D.
std::string inputHint() {
    return {};
}

}  // namespace platform
}  // namespace netsorter::console
