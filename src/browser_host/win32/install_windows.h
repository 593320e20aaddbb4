// "Проверить IP" for Chrome, Edge, Brave and Firefox (Vivaldi reads Chrome's key): the
// manifests of netsorter-host.exe beside the program and the per-user keys through which each
// browser finds its manifest.
#pragma once

#include <string>

namespace netsorter::browser_host {

// Writes netsorter-chrome.json (Chrome, Edge, Brave) and netsorter-firefox.json into
// programDir and points the keys
//   HKCU\Software\Google\Chrome\NativeMessagingHosts\netsorter,
//   HKCU\Software\Microsoft\Edge\NativeMessagingHosts\netsorter,
//   HKCU\Software\BraveSoftware\Brave-Browser\NativeMessagingHosts\netsorter,
//   HKCU\Software\Mozilla\NativeMessagingHosts\netsorter
// at them. False when any of it could not be written (a read-only program folder).
bool installNativeHosts(const std::wstring& programDir);

// Removes exactly those keys and files, whichever of them exist, and the keys' parents
// that are left empty.
void uninstallNativeHosts(const std::wstring& programDir);

}  // namespace netsorter::browser_host
