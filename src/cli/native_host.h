// netsorter as the browsers' native messaging host, and the manifests that let the user's
// browsers find it.
#pragma once

#include <functional>
#include <string>

namespace netsorter::cli {

// Serves the browser on the standard streams; check(address) makes one answer.
int runNativeHost(const std::function<std::string(const std::string& address)>& check);

// Answers the browser that nets.txt could not be read (reason: the file and the system's
// reason), so that the user reads why instead of "the host exited".
void refuseNativeRequests(const std::string& reason);

// Writes the wrapper the browsers start and a host manifest naming it for each browser whose
// per-user folder is known: Chromium, Chrome, Edge, Brave, Vivaldi and Firefox. dataDir, when
// given, must hold nets.txt and is passed on to the host. Returns the exit status.
int installNativeHost(const std::string& dataDir);

// Removes those files, and the folders installing made once nothing else is in them.
int uninstallNativeHost();

}  // namespace netsorter::cli
