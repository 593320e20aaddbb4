#include <windows.h>
// shellapi.h needs windows.h above it.
#include <shellapi.h>

#include <algorithm>

#include "cli/console.h"
#include "common/wide.h"

namespace netsorter::console {
namespace {

// Older consoles refuse a single write much larger than this.
constexpr std::size_t kConsolePiece = 8192;

bool failed(std::string& error) {
    const DWORD code = GetLastError();
    // A pipe whose reader has gone (wine says so with ERROR_PIPE_NOT_CONNECTED).
    const bool gone =
        code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED;
    error = gone ? "" : systemMessage(code);
    return false;
}

// A console gets UTF-16 through WriteConsoleW; a pipe or a file gets UTF-8 bytes.
bool write(DWORD which, std::string_view utf8, std::string& error) {
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        error = systemMessage(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring wide = toWide(utf8);
        for (std::size_t at = 0; at < wide.size();) {
            std::size_t n = std::min(wide.size() - at, kConsolePiece);
            // A surrogate pair stays in one piece.
            if (n < wide.size() - at && wide[at + n - 1] >= 0xD800 && wide[at + n - 1] <= 0xDBFF) {
                --n;
            }
            DWORD written = 0;
            if (!WriteConsoleW(h, wide.data() + at, static_cast<DWORD>(n), &written, nullptr) ||
                written == 0) {
                return failed(error);
            }
            at += written;
        }
        return true;
    }
    while (!utf8.empty()) {
        DWORD written = 0;
        const auto n = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1u << 30));
        if (!WriteFile(h, utf8.data(), n, &written, nullptr)) {
            return failed(error);
        }
        utf8.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::vector<std::string> arguments(int, char**) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(fromWide(argv[i]));
    }
    LocalFree(argv);
    return args;
}

namespace platform {

Status writeOut(std::string_view utf8) {
    std::string error;
    return write(STD_OUTPUT_HANDLE, utf8, error) ? Status::success()
                                                 : Status::failure(std::move(error));
}
void writeErr(std::string_view utf8) {
    std::string ignored;
    write(STD_ERROR_HANDLE, utf8, ignored);
}

Result<std::size_t> readIn(char* buffer, std::size_t size) {
    const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    DWORD got = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        return Status::failure(systemMessage(ERROR_INVALID_HANDLE));
    }
    if (!ReadFile(h, buffer, static_cast<DWORD>(size), &got, nullptr) &&
        GetLastError() != ERROR_BROKEN_PIPE) {  // a pipe's writer has gone: its end
        return Status::failure(systemMessage(GetLastError()));
    }
    return std::size_t{got};
}

}  // namespace platform

}  // namespace netsorter::console
