#include <windows.h>
// shellapi.h needs windows.h above it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "cli/console.h"
#include "common/wide.h"

namespace netsorter::console {
namespace {

// A console gets UTF-16 through WriteConsoleW; a pipe or a file gets UTF-8 bytes.
void write(DWORD which, FILE* stream, std::string_view utf8) {
    const HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        const std::wstring wide = toWide(utf8);
        DWORD written = 0;
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
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
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    return args;
}

namespace platform {

void writeOut(std::string_view utf8) {
    write(STD_OUTPUT_HANDLE, stdout, utf8);
}
void writeErr(std::string_view utf8) {
    write(STD_ERROR_HANDLE, stderr, utf8);
}

std::size_t readIn(char* buffer, std::size_t size) {
    const int got = _read(_fileno(stdin), buffer, static_cast<unsigned>(size));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

}  // namespace platform

}  // namespace netsorter::console
