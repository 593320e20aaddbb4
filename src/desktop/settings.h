// The program's settings in the current user's registry. Every key and value name lives
// in settings.cpp alone; what the menu commands do with the settings is the window's.
#pragma once

#include <string>

namespace netsorter::settings {

// Clipboard interception: on exactly when "intercept" under Software\Netsorter is "1".
bool interceptOn();
// On: creates the key and its value "intercept" = "1". Off: removes that value, and the key
// when nothing else is left in it (it also keeps the databases chosen). Failures
// are not reported.
void storeIntercept(bool on);

// The country database the user chose ("База стран…"), a full path; empty when none.
std::wstring countryDatabase();
void storeCountryDatabase(const std::wstring& path);
void forgetCountryDatabase();
// The owner database the user chose ("База владельцев сетей…"), likewise.
std::wstring ownerDatabase();
void storeOwnerDatabase(const std::wstring& path);
void forgetOwnerDatabase();

// Keeping the databases current by itself: on exactly when the REG_DWORD "autoUpdate" is 1.
bool autoUpdateOn();
void storeAutoUpdate(bool on);
// When the last update that succeeded ended, in seconds since 1970 (REG_DWORD "lastUpdate");
// 0 when none has.
unsigned long lastUpdate();
void storeLastUpdate(unsigned long secondsSince1970);

// Start at logon: on when the value "Netsorter" of the Run key exists and is not empty.
bool autostartOn();
// On: the quoted exePath followed by " /hide". Off: removes the value, never the key.
void storeAutostart(bool on, const std::wstring& exePath);

// Internet Explorer's context-menu item "Проверить IP" for links and images, running the
// script at scriptAddress (a res:// address).
void addBrowserMenuItem(const std::wstring& scriptAddress);
void removeBrowserMenuItem();

// What the installer shipped as the data file `name` (nets.txt, countries.txt): the SHA-256 of
// its bytes in lower-case hex, as the installer recorded it; empty when it did not.
std::string shippedDigest(const std::string& name);

// Everything the program and its installer wrote under HKEY_CURRENT_USER: the settings, the
// autostart value and Internet Explorer's menu item, each key with the parents it leaves
// empty. The automation class and the browsers' hosts have their own removers.
void removeAll();

}  // namespace netsorter::settings
