#include "desktop/settings.h"

#include "common/wide.h"
#include "desktop/win.h"

namespace netsorter::settings {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";
constexpr wchar_t kInterceptValue[] = L"intercept";
constexpr wchar_t kCountryDatabaseValue[] = L"countryDatabase";
constexpr wchar_t kOwnerDatabaseValue[] = L"asnDatabase";
constexpr wchar_t kAutoUpdateValue[] = L"autoUpdate";
constexpr wchar_t kLastUpdateValue[] = L"lastUpdate";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Netsorter";
constexpr wchar_t kBrowserMenuKey[] =
    L"Software\\Microsoft\\Internet Explorer\\MenuExt\\Проверить IP";
constexpr wchar_t kBrowserMenuContexts[] = L"contexts";
constexpr DWORD kImageAndLinkContexts = 0x22;
// Written by the installer alone.
constexpr wchar_t kShippedKey[] = L"Software\\Netsorter\\Shipped";

std::wstring readValue(const wchar_t* key, const wchar_t* name) {
    const win::UniqueKey opened = win::openKey(HKEY_CURRENT_USER, key);
    return opened ? win::readString(opened.get(), name).value_or(L"") : L"";
}

// Removes one value of the program's own key, and the key once it holds nothing.
void removeSetting(const wchar_t* name) {
    {
        const win::UniqueKey key = win::openKey(HKEY_CURRENT_USER, kSettingsKey, KEY_ALL_ACCESS);
        if (!key) {
            return;
        }
        RegDeleteValueW(key.get(), name);
        DWORD subkeys = 0;
        DWORD values = 0;
        if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subkeys != 0 || values != 0) {
            return;
        }
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
}

void storeSetting(const wchar_t* name, const std::wstring& text) {
    if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kSettingsKey)) {
        win::writeString(key.get(), name, text);
    }
}

DWORD readDword(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS
               ? value
               : 0;
}

void storeDword(const wchar_t* name, DWORD value) {
    if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kSettingsKey)) {
        win::writeDword(key.get(), name, value);
    }
}

}  // namespace

bool interceptOn() {
    return readValue(kSettingsKey, kInterceptValue) == L"1";
}

void storeIntercept(bool on) {
    if (on) {
        storeSetting(kInterceptValue, L"1");
    } else {
        removeSetting(kInterceptValue);
    }
}

std::wstring countryDatabase() {
    return readValue(kSettingsKey, kCountryDatabaseValue);
}

void storeCountryDatabase(const std::wstring& path) {
    storeSetting(kCountryDatabaseValue, path);
}

void forgetCountryDatabase() {
    removeSetting(kCountryDatabaseValue);
}

std::wstring ownerDatabase() {
    return readValue(kSettingsKey, kOwnerDatabaseValue);
}

void storeOwnerDatabase(const std::wstring& path) {
    storeSetting(kOwnerDatabaseValue, path);
}

void forgetOwnerDatabase() {
    removeSetting(kOwnerDatabaseValue);
}

bool autoUpdateOn() {
    return readDword(kAutoUpdateValue) == 1;
}

void storeAutoUpdate(bool on) {
    storeDword(kAutoUpdateValue, on ? 1 : 0);
}

unsigned long lastUpdate() {
    return readDword(kLastUpdateValue);
}

void storeLastUpdate(unsigned long secondsSince1970) {
    storeDword(kLastUpdateValue, secondsSince1970);
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

std::string shippedDigest(const std::string& name) {
    return fromWide(readValue(kShippedKey, toWide(name).c_str()));
}

void removeAll() {
    win::deleteKeyAndEmptyParents(HKEY_CURRENT_USER, kSettingsKey);
    if (const win::UniqueKey key = win::openKey(HKEY_CURRENT_USER, kRunKey, KEY_SET_VALUE)) {
        RegDeleteValueW(key.get(), kRunValue);
    }
    win::deleteKeyAndEmptyParents(HKEY_CURRENT_USER, kBrowserMenuKey);
}

}  // namespace netsorter::settings
