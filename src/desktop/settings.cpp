#include "desktop/settings.h"

#include "desktop/win.h"

namespace netsorter::settings {
namespace {

constexpr wchar_t kInterceptKey[] = L"Software\\Netsorter";
constexpr wchar_t kInterceptValue[] = L"intercept";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Netsorter";
constexpr wchar_t kBrowserMenuKey[] =
    L"Software\\Microsoft\\Internet Explorer\\MenuExt\\Проверить IP";
constexpr wchar_t kBrowserMenuContexts[] = L"contexts";
constexpr DWORD kImageAndLinkContexts = 0x22;

std::wstring readValue(const wchar_t* key, const wchar_t* name) {
    const win::UniqueKey opened = win::openKey(HKEY_CURRENT_USER, key);
    return opened ? win::readString(opened.get(), name).value_or(L"") : L"";
}

}  // namespace

bool interceptOn() {
    return readValue(kInterceptKey, kInterceptValue) == L"1";
}

void storeIntercept(bool on) {
    if (!on) {
        RegDeleteKeyW(HKEY_CURRENT_USER, kInterceptKey);
    } else if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kInterceptKey)) {
        win::writeString(key.get(), kInterceptValue, L"1");
    }
}

bool autostartOn() {
    return !readValue(kRunKey, kRunValue).empty();
}

void storeAutostart(bool on, const std::wstring& exePath) {
    const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kRunKey);
    if (!key) {
        return;
    }
    if (on) {
        win::writeString(key.get(), kRunValue, L"\"" + exePath + L"\" /hide");
    } else {
        RegDeleteValueW(key.get(), kRunValue);
    }
}

void addBrowserMenuItem(const std::wstring& scriptAddress) {
    if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kBrowserMenuKey)) {
        win::writeString(key.get(), L"", scriptAddress);
        win::writeDword(key.get(), kBrowserMenuContexts, kImageAndLinkContexts);
    }
}

void removeBrowserMenuItem() {
    RegDeleteKeyW(HKEY_CURRENT_USER, kBrowserMenuKey);
}

}  // namespace netsorter::settings
