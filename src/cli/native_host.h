// netsorter as the browsers' native messaging host, and the manifests that let the user's
// Chromium, Chrome and Firefox find it.
#pragma once

#include <functional>
#include <string>

namespace netsorter::cli {

// Serves the browser on the standard streams; check(address) makes one answer.
int runNativeHost(const std::function<std::string(const std::string& address)>& check);

// Answers the browser that nets.txt could not be read (reason: the file and the system's
// reason), so that the user reads why instead of "the host exited".
void refuseNativeRequests(const std::string& reason);

// Writes or removes the wrapper the browsers start and the three host manifests naming it.
// dataDir, when given, is passed on to the host. Returns the exit status.
int installNativeHost(const std::string& dataDir);
int uninstallNativeHost();

}  // namespace netsorter::cli
