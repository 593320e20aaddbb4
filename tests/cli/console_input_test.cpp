// A person types at a console in code page 866: the tool is started on a console of its own
// whose input holds the keys of an address and of Ctrl+Z.
//   console_input_test PROGRAM DATA_DIR
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void key(std::vector<INPUT_RECORD>& keys, wchar_t c, WORD vk = 0, DWORD control = 0) {
    for (BOOL down : {TRUE, FALSE}) {
        INPUT_RECORD r{};
        r.EventType = KEY_EVENT;
        r.Event.KeyEvent = {down, 1, vk, 0, {c}, control};
        keys.push_back(r);
    }
}

// What a pipe end gives until its writer has gone.
std::string drain(HANDLE h) {
    std::string all;
    char buffer[4096];
    for (DWORD got = 0; ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got != 0;) {
        all.append(buffer, got);
    }
    return all;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    FreeConsole();
    if (!AllocConsole() || !SetConsoleCP(866)) {
        std::printf("no console: %lu\n", GetLastError());
        return 1;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE in =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    std::vector<INPUT_RECORD> keys;
    for (wchar_t c : std::wstring(L"пример.рф")) {
        key(keys, c);
    }
    key(keys, L'\r', VK_RETURN);
    key(keys, L'\x1A', 'Z', LEFT_CTRL_PRESSED);
    key(keys, L'\r', VK_RETURN);
    DWORD written = 0;
    WriteConsoleInputW(in, keys.data(), static_cast<DWORD>(keys.size()), &written);

    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = outWrite;
    start.hStdError = errWrite;
    std::wstring command = std::wstring(L"\"") + argv[1] + L"\" --data-dir \"" + argv[2] +
                           L"\" --no-reverse --format tsv";
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &start, &process)) {
        std::printf("cannot start the tool: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    const std::string out = drain(outRead);
    const std::string err = drain(errRead);
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    std::printf("stdout: %s\nstderr: %s\n", out.c_str(), err.c_str());
    // The address as typed, and once the hint how to end.
    const bool ok = ended &&
                    out.rfind(
                        "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.\xD1\x80"
                        "\xD1\x84\t",
                        0) == 0 &&
                    out.find('\n') == out.size() - 1 && err.find("Ctrl+Z") != std::string::npos;
    return ok ? 0 : 1;
}
