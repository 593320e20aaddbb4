#include "cli/browser.h"

#include <csignal>

#include "cli/console.h"

#ifndef _WIN32
#include "browser_host/install_linux.h"
#endif

namespace netsorter::cli {
namespace {

void ignoreSigpipe() {
#ifdef SIGPIPE
    // A browser that goes away while the answer is written must not end the host by signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace

int serveBrowser(const browser_host::Check& check) {
    ignoreSigpipe();
    // A failed write throws WriteError, as for every other output of the tool.
    const auto write = [](std::string_view bytes) {
        console::writeOut(bytes);
        console::flushOut();
        return true;
    };
    return browser_host::serve(console::readBytes, write, check);
}

void refuseBrowser(const std::string& reason) {
    ignoreSigpipe();
    console::writeOut(browser_host::frame(
        browser_host::errorAnswer(browser_host::Error::NetsUnreadable, reason)));
}

#ifdef _WIN32

// There the browsers look in the registry, which the program's settings menu writes.
int installForBrowsers(const std::string&, const std::string&, const std::string&) {
    console::tell(
        "on Windows use \"Настройки\" → \"Добавить пункт в меню браузеров\" "
        "of Netsorter.exe");
    return 2;
}

int uninstallForBrowsers() {
    console::tell(
        "on Windows use \"Настройки\" → \"Удалить пункт из меню браузеров\" "
        "of Netsorter.exe");
    return 2;
}

#else

namespace {

browser_host::InstallProgress toldOnTheConsole() {
    browser_host::InstallProgress progress;
    progress.wrote = [](const std::string& path) { console::writeOut("wrote " + path + "\n"); };
    progress.removed = [](const std::string& path) { console::writeOut("removed " + path + "\n"); };
    progress.onProblem = [](const Problem& problem) {
        // The data folder is the one the user gave.
        const std::string option =
            problem.subject == Problem::Subject::Nets ? "--data-dir " + problem.object + ": " : "";
        console::tell(option + problem.joined(" / "));
    };
    return progress;
}

}  // namespace

int installForBrowsers(const std::string& dataDir, const std::string& countryDatabase,
                       const std::string& ownerDatabase) {
    const browser_host::InstallRequest request{.program = {},
                                               .dataDir = dataDir,
                                               .countryDatabase = countryDatabase,
                                               .ownerDatabase = ownerDatabase};
    return browser_host::installHost(request, toldOnTheConsole()).ok() ? 0 : 1;
}

int uninstallForBrowsers() {
    return browser_host::uninstallHost(toldOnTheConsole()).ok() ? 0 : 1;
}

#endif

}  // namespace netsorter::cli
