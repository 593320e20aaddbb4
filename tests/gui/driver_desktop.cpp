// nsdriver commands for the desktop integration tests (registry, clipboard, checks from
// outside the window). Output is UTF-8 JSON.
//   nsdriver reg KEY                     the key's values and subkeys, or null when absent;
//                                        KEY starts with HKCU, HKLM or HKCR
//   nsdriver short-path PATH             the platform's short form of PATH
//   nsdriver clipboard [TEXT [ms]]       the clipboard's text; with TEXT, first wait until
//                                        the clipboard holds exactly TEXT
//   nsdriver move-file FROM TO           moves FROM to TO (over it, if it exists) as an updater
//                                        would, sharing rules of the program's open files
//                                        included
//   nsdriver watch-checks UNTIL [ms]     prints "watching", then records every address a
//                                        check writes into the address box (emptying the
//                                        box after each) until UNTIL comes; prints the list
#include "driver_desktop.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/resource.h"
#include "common/wide.h"
#include "desktop/clipboard.h"
#include "desktop/win.h"

namespace {

using netsorter::fromWide;
using netsorter::toWide;

bool splitRoot(const std::wstring& path, HKEY& root, std::wstring& rest) {
    static const std::pair<const wchar_t*, HKEY> kRoots[] = {
        {L"HKCU", HKEY_CURRENT_USER},  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKCR", HKEY_CLASSES_ROOT},  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    };
    const size_t slash = path.find(L'\\');
    const std::wstring head = path.substr(0, slash);
    for (const auto& [name, key] : kRoots) {
        if (head == name) {
            root = key;
            rest = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
            return true;
        }
    }
    return false;
}

std::string valueJson(DWORD type, const std::vector<BYTE>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                              data.size() / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
            return std::string("[\"") + (type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ") + "\", " +
                   json(text) + "]";
        }
        case REG_DWORD:
            if (data.size() == sizeof(DWORD)) {
                return "[\"REG_DWORD\", " +
                       std::to_string(*reinterpret_cast<const DWORD*>(data.data())) + "]";
            }
            break;
        default:
            break;
    }
    std::string hex;
    for (const BYTE b : data) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", b);
        hex += buf;
    }
    return "[" + std::to_string(type) + ", \"" + hex + "\"]";
}

int dumpKey(const std::wstring& path) {
    HKEY root = nullptr;
    std::wstring rest;
    if (!splitRoot(path, root, rest)) {
        return 2;
    }
    const netsorter::win::UniqueKey key = netsorter::win::openKey(root, rest);
    if (!key) {
        print("null");
        return 0;
    }
    std::string values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS) {
            break;
        }
        std::vector<BYTE> data(bytes);
        nameLength = 16384;
        RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data.data(), &bytes);
        data.resize(bytes);
        values += std::string(values.empty() ? "" : ", ") + json(std::wstring(name, nameLength)) +
                  ": " + valueJson(type, data);
    }
    std::string subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys += std::string(subkeys.empty() ? "" : ", ") + json(std::wstring(name, nameLength));
    }
    print("{\"values\": {" + values + "}, \"subkeys\": [" + subkeys + "]}");
    return 0;
}

// The clipboard's text, or nothing when it cannot be opened right now.
bool clipboardText(std::wstring& text) {
    return netsorter::win::readClipboardText(nullptr, text);
}

void clearBox(HWND box) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
}

// Every check from outside the window writes its address into the address box before
// anything else; emptying the box as soon as an address shows up makes each check leave
// its own trace, even when two checks read the same text.
int watchChecks(const std::wstring& until, DWORD ms) {
    const HWND form = FindWindowW(NETSORTER_FORM_CLASS, nullptr);
    if (form == nullptr) {
        std::fputs("nsdriver: no Netsorter window\n", stderr);
        return 1;
    }
    const HWND address = GetDlgItem(form, IDC_TXTADDRES);
    clearBox(address);
    print("watching");
    std::string seen;
    bool done = false;
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start <= ms && IsWindow(form)) {
        const std::wstring text = textOf(address);
        if (text.empty()) {
            Sleep(2);
            continue;
        }
        clearBox(address);
        seen += std::string(seen.empty() ? "" : ", ") + json(text);
        done = text == until;
    }
    print("[" + seen + "]");
    return done ? 0 : 1;
}

}  // namespace

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string json(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : netsorter::fromWide(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::wstring textOf(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &got);
    text.resize(got);
    return text;
}

int desktopCommand(const std::vector<std::wstring>& args) {
    const std::wstring& command = args[0];
    const auto number = [&](size_t at, DWORD fallback) {
        return args.size() > at ? static_cast<DWORD>(std::wcstoul(args[at].c_str(), nullptr, 10))
                                : fallback;
    };
    if (command == L"reg" && args.size() == 2) {
        return dumpKey(args[1]);
    }
    if (command == L"short-path" && args.size() == 2) {
        std::wstring buffer(1024, L'\0');
        const DWORD n = GetShortPathNameW(args[1].c_str(), buffer.data(), 1024);
        if (n == 0 || n >= buffer.size()) {
            return 1;
        }
        buffer.resize(n);
        print(json(buffer));
        return 0;
    }
    if (command == L"clipboard" && args.size() <= 3) {
        const DWORD start = GetTickCount();
        std::wstring text;
        for (;;) {
            const bool read = clipboardText(text);
            if (read && (args.size() == 1 || text == args[1])) {
                print(json(text));
                return 0;
            }
            if (GetTickCount() - start > number(2, 30000)) {
                print(json(text));
                return 1;
            }
            Sleep(20);
        }
    }
    if (command == L"move-file" && args.size() == 3) {
        if (!MoveFileExW(args[1].c_str(), args[2].c_str(), MOVEFILE_REPLACE_EXISTING)) {
            print("error " + std::to_string(GetLastError()));
            return 1;
        }
        return 0;
    }
    if (command == L"watch-checks" && (args.size() == 2 || args.size() == 3)) {
        return watchChecks(args[1], number(2, 60000));
    }
    return -1;
}
