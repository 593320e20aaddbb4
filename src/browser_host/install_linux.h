// The host's registration for this user's browsers elsewhere than Windows (where the browsers
// look in the registry, see win32/install_windows.h): a wrapper script the browsers start,
// and a host manifest naming it in each browser's folder. The folders come from HOME,
// XDG_CONFIG_HOME and XDG_DATA_HOME.
#pragma once

#include <functional>
#include <string>

#include "common/problem.h"

namespace netsorter::browser_host {

// What installing and removing tell as they go, so that a front end can say each where it
// happens. Any of them may be left empty.
struct InstallProgress {
    std::function<void(const std::string& path)> wrote;
    // A folder's path ends with "/".
    std::function<void(const std::string& path)> removed;
    // Every failure as it happens; what does not depend on it is still done.
    std::function<void(const Problem&)> onProblem;
};

struct InstallRequest {
    // The program the wrapper starts; empty for the running one.
    std::string program;
    // Passed on to the host; when given it must hold nets.txt (a failure about it has the
    // subject Nets and dataDir as its object).
    std::string dataDir;
    // Passed on to the host as its country database; it must be readable (a failure about
    // it has the subject CountryDatabase).
    std::string countryDatabase;
    // The same for the owner database (subject OwnerDatabase).
    std::string ownerDatabase;
};

// Writes the wrapper and the manifests for Chromium, Chrome, Edge, Brave, Vivaldi and
// Firefox. The Status is the first failure, which onProblem has been told as well.
Status installHost(const InstallRequest& request, const InstallProgress& progress = {});

// Removes those files, and the folders installing made once nothing else is in them.
Status uninstallHost(const InstallProgress& progress = {});

}  // namespace netsorter::browser_host
