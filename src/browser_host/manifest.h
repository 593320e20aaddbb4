// What a browser needs to find the native host: the host's name, the extension allowed to
// start it, and the manifest that ties the two to the host's executable.
#pragma once

#include <string>

namespace netsorter::browser_host {

inline constexpr char kHostName[] = "netsorter";
// Chromium-based browsers derive the extension's id from the "key" in its manifest.json;
// Firefox takes the id the manifest names.
inline constexpr char kChromiumExtensionId[] = "cgjhiobogbbclanjnanjhagkmlgliopj";
inline constexpr char kFirefoxExtensionId[] = "check-ip@netsorter";

enum class BrowserFamily { Chromium, Firefox };

// The manifest's JSON text (UTF-8). hostPath is the full path of the executable the
// browser starts; it is a file name, not a command line, so it carries no arguments.
std::string hostManifest(BrowserFamily family, const std::string& hostPath);

}  // namespace netsorter::browser_host
