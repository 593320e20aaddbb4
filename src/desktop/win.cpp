#include "desktop/win.h"

#include "common/files.h"
#include "common/wide.h"

namespace netsorter::win {

UniqueKey openKey(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return UniqueKey();
    }
    return UniqueKey(key);
}

UniqueKey createKey(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return UniqueKey();
    }
    return UniqueKey(key);
}

std::optional<std::wstring> readString(HKEY key, const std::wstring& name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The stored text may or may not carry its terminator.
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

bool writeString(HKEY key, const std::wstring& name, const std::wstring& text) {
    return RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool writeDword(HKEY key, const std::wstring& name, DWORD value) {
    return RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

void deleteKeyAndEmptyParents(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
    for (std::wstring key = path;;) {
        const std::size_t slash = key.rfind(L'\\');
        if (slash == std::wstring::npos || key.find(L'\\') == slash) {
            return;
        }
        key.resize(slash);
        {
            const UniqueKey opened = openKey(root, key);
            DWORD subkeys = 0;
            DWORD values = 0;
            if (!opened ||
                RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, &values, nullptr, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS ||
                subkeys != 0 || values != 0) {
                return;
            }
        }
        RegDeleteKeyW(root, key.c_str());
    }
}

namespace {

std::wstring moduleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::wstring exeName() {
    std::wstring name = toWide(fileName(fromWide(moduleFileName())));
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) {
        name.erase(dot);
    }
    return name;
}

std::wstring exePath() {
    return toWide(fullName(programDir(), fromWide(exeName() + L".exe")));
}

bool runSelfHidden(const std::wstring& exe, const std::wstring& switchText) {
    std::wstring commandLine = L"\"" + exe + L"\" " + switchText;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    return true;
}

}  // namespace netsorter::win
