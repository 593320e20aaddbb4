// netsorter for the browser extension "Проверить IP": serving it as its native messaging
// host on the standard streams, and registering itself as that host for this user's
// browsers.
#pragma once

#include <string>

#include "browser_host/native_messaging.h"

namespace netsorter::cli {

// Serves the browser until its input ends; check(address) makes one answer. Returns the
// exit status.
int serveBrowser(const browser_host::Check& check);

// Answers the browser that nets.txt could not be read (reason: the file and the system's
// reason), so that the user reads why instead of "the host exited".
void refuseBrowser(const std::string& reason);

// Installs or removes the host for this user's browsers, telling each file on standard
// output and each failure on standard error. dataDir, when given, must hold nets.txt, and
// the databases, when given, must be readable; all are passed on to the host. Return the
// exit status.
int installForBrowsers(const std::string& dataDir, const std::string& countryDatabase,
                       const std::string& ownerDatabase);
int uninstallForBrowsers();

}  // namespace netsorter::cli
