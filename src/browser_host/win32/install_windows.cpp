#include "browser_host/win32/install_windows.h"

#include <windows.h>

#include "browser_host/manifest.h"
#include "common/files.h"
#include "common/wide.h"
#include "desktop/win.h"

namespace netsorter::browser_host {
namespace {

struct Registration {
    const wchar_t* key;
    const char* manifest;
    BrowserFamily family;
};

constexpr Registration kRegistrations[] = {
    {L"Software\\Google\\Chrome\\NativeMessagingHosts\\netsorter", "netsorter-chrome.json",
     BrowserFamily::Chromium},
    {L"Software\\Microsoft\\Edge\\NativeMessagingHosts\\netsorter", "netsorter-chrome.json",
     BrowserFamily::Chromium},
    {L"Software\\BraveSoftware\\Brave-Browser\\NativeMessagingHosts\\netsorter",
     "netsorter-chrome.json", BrowserFamily::Chromium},
    {L"Software\\Mozilla\\NativeMessagingHosts\\netsorter", "netsorter-firefox.json",
     BrowserFamily::Firefox},
};

std::wstring fileIn(const std::wstring& dir, const char* name) {
    return toWide(fullName(fromWide(dir), name, '\\'));
}

bool writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const win::UniqueHandle file(handle);
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

void removeManifests(const std::wstring& programDir) {
    DeleteFileW(fileIn(programDir, "netsorter-chrome.json").c_str());
    DeleteFileW(fileIn(programDir, "netsorter-firefox.json").c_str());
}

}  // namespace

bool installNativeHosts(const std::wstring& programDir) {
    // The manifest names the executable by its full path; it is not a command line, and the
    // browsers quote it themselves when they start it.
    const std::string host = fromWide(fileIn(programDir, "netsorter-host.exe"));
    // Keys naming missing manifests would only make the browsers report a broken host; keys
    // of an earlier install elsewhere are left as they are.
    if (!writeFile(fileIn(programDir, "netsorter-chrome.json"),
                   hostManifest(BrowserFamily::Chromium, host)) ||
        !writeFile(fileIn(programDir, "netsorter-firefox.json"),
                   hostManifest(BrowserFamily::Firefox, host))) {
        removeManifests(programDir);
        return false;
    }
    bool ok = true;
    for (const Registration& registration : kRegistrations) {
        const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, registration.key, KEY_WRITE);
        ok = key && win::writeString(key.get(), L"", fileIn(programDir, registration.manifest)) &&
             ok;
    }
    return ok;
}

void uninstallNativeHosts(const std::wstring& programDir) {
    // Parents that only this host made (a browser that is not installed) go with it.
    for (const Registration& registration : kRegistrations) {
        win::deleteKeyAndEmptyParents(HKEY_CURRENT_USER, registration.key);
    }
    removeManifests(programDir);
}

}  // namespace netsorter::browser_host
