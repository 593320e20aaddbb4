#include <windows.h>
// shellapi.h needs windows.h above it.
#include <shellapi.h>

#include <algorithm>
#include <iterator>

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

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != 0;
}

// A console is read in UTF-16, whatever its code page, and handed on as UTF-8. As Windows
// programs do, Ctrl+Z at the start of a line ends the input.
class ConsoleInput {
  public:
    Result<std::size_t> read(HANDLE h, char* buffer, std::size_t size) {
        while (pending_.empty() && !ended_) {
            wchar_t wide[1024];
            DWORD got = 0;
            if (!ReadConsoleW(h, wide, static_cast<DWORD>(std::size(wide)), &got, nullptr)) {
                return Status::failure(systemMessage(GetLastError()));
            }
            std::wstring text = highSurrogate_ + std::wstring(wide, got);
            highSurrogate_.clear();
            ended_ = got == 0 || (atLineStart_ && text.front() == L'\x1A');
            if (ended_) {
                break;
            }
            atLineStart_ = text.back() == L'\n';
            // A pair cut between two reads is converted whole.
            if (text.back() >= 0xD800 && text.back() <= 0xDBFF) {
                highSurrogate_ = text.back();
                text.pop_back();
            }
            pending_ = fromWide(text);
        }
        const std::size_t n = std::min(size, pending_.size());
        std::copy_n(pending_.data(), n, buffer);
        pending_.erase(0, n);
        return n;
    }

  private:
    std::string pending_;
    std::wstring highSurrogate_;
    bool atLineStart_ = true;
    bool ended_ = false;
};

}  // namespace

std::vector<std::string> arguments(int, char**) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 0) {
        platform::programName() = nameAsStarted(fromWide(argv[0]), true);
    }
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
    if (isConsole(h)) {
        static ConsoleInput console;
        return console.read(h, buffer, size);
    }
    if (!ReadFile(h, buffer, static_cast<DWORD>(size), &got, nullptr) &&
        GetLastError() != ERROR_BROKEN_PIPE) {  // a pipe's writer has gone: its end
        return Status::failure(systemMessage(GetLastError()));
    }
    return std::size_t{got};
}

bool inputReady() {
    const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    switch (GetFileType(h)) {
        case FILE_TYPE_DISK:
            return true;
        case FILE_TYPE_PIPE: {
            DWORD available = 0;
            if (PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) {
                return available > 0;
            }
            // A pipe whose writer has gone ends at once; of any other pipe, nothing is known.
            return GetLastError() == ERROR_BROKEN_PIPE;
        }
        default:  // a console, a device: someone types
            return false;
    }
}

std::string fromConsoleCodePage(std::string_view bytes) {
    const UINT codePage = GetConsoleCP();
    if (codePage == 0 || codePage == 1251 || codePage == CP_UTF8 || bytes.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                        static_cast<int>(bytes.size()), wide.data(), n);
    return fromWide(wide);
}

std::string inputHint() {
    return isConsole(GetStdHandle(STD_INPUT_HANDLE))
               ? "reading addresses, one per line; Ctrl+Z then Enter ends"
               : "";
}

}  // namespace platform

}  // namespace netsorter::console
