#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/console.h"

namespace netsorter::console {

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

namespace platform {

void writeOut(std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

void writeErr(std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

std::size_t readIn(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
}

}  // namespace platform
}  // namespace netsorter::console
