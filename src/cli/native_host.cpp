#include "cli/native_host.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "cli/console.h"
#include "host/manifest.h"
#include "host/native_messaging.h"

namespace netsorter::cli {
namespace fs = std::filesystem;
using native_messaging::BrowserFamily;

int runNativeHost(const std::function<std::string(const std::string& address)>& check) {
#ifdef SIGPIPE
    // A browser that goes away while the answer is written must not end the host by signal.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return native_messaging::serve(std::cin, std::cout, check);
}

void refuseNativeRequests(const std::string& reason) {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::cout << native_messaging::frame(
                     native_messaging::errorAnswer(native_messaging::Error::NetsUnreadable, reason))
              << std::flush;
}

#ifdef _WIN32

// There the browsers look in the registry, which the program's settings menu writes.
int installNativeHost(const std::string&) {
    console::writeErr(
        "netsorter: on Windows use \"Настройки\" → \"Добавить пункт в меню браузеров\" "
        "of Netsorter.exe\n");
    return 2;
}

int uninstallNativeHost() {
    console::writeErr(
        "netsorter: on Windows use \"Настройки\" → \"Удалить пункт из меню браузеров\" "
        "of Netsorter.exe\n");
    return 2;
}

#else

namespace {

struct Place {
    fs::path manifestDir;
    BrowserFamily family;
};

// An XDG base directory: the variable when it holds an absolute path, else the default.
fs::path xdgDir(const char* variable, const fs::path& fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && fs::path(value).is_absolute() ? fs::path(value) : fallback;
}

bool homeDir(fs::path& home) {
    const char* value = std::getenv("HOME");
    if (value == nullptr || !fs::path(value).is_absolute()) {
        console::writeErr("netsorter: HOME is not set to an absolute path\n");
        return false;
    }
    home = value;
    return true;
}

std::vector<Place> places(const fs::path& home) {
    const fs::path config = xdgDir("XDG_CONFIG_HOME", home / ".config");
    return {{config / "chromium" / "NativeMessagingHosts", BrowserFamily::Chromium},
            {config / "google-chrome" / "NativeMessagingHosts", BrowserFamily::Chromium},
            {home / ".mozilla" / "native-messaging-hosts", BrowserFamily::Firefox}};
}

// The browsers start the manifest's path with arguments of their own (Chromium the caller's
// origin, Firefox the manifest's path and the add-on's id), which netsorter would take for
// addresses; the wrapper puts the switch in front of them.
fs::path wrapperPath(const fs::path& home) {
    return xdgDir("XDG_DATA_HOME", home / ".local" / "share") / "netsorter" / "native-host";
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

bool writeFile(const fs::path& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        console::writeErr("netsorter: cannot write " + path.string() + "\n");
        return false;
    }
    console::writeOut("wrote " + path.string() + "\n");
    return true;
}

}  // namespace

int installNativeHost(const std::string& dataDir) {
    fs::path home;
    if (!homeDir(home)) {
        return 1;
    }
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        console::writeErr("netsorter: cannot tell where this program is: " + error.message() +
                          "\n");
        return 1;
    }
    const fs::path wrapper = wrapperPath(home);
    std::string script = "#!/bin/sh\n# Started by the browsers for \"Проверить IP\".\nexec " +
                         shellQuoted(program.string());
    if (!dataDir.empty()) {
        script += " --data-dir " + shellQuoted(fs::absolute(dataDir, error).string());
    }
    script += " --native-host \"$@\"\n";
    if (!writeFile(wrapper, script)) {
        return 1;
    }
    fs::permissions(wrapper,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    if (error) {
        console::writeErr("netsorter: cannot make " + wrapper.string() + " executable\n");
        return 1;
    }
    bool ok = true;
    for (const Place& place : places(home)) {
        ok &= writeFile(place.manifestDir / (std::string(native_messaging::kHostName) + ".json"),
                        native_messaging::hostManifest(place.family, wrapper.string()));
    }
    return ok ? 0 : 1;
}

int uninstallNativeHost() {
    fs::path home;
    if (!homeDir(home)) {
        return 1;
    }
    std::vector<fs::path> files;
    for (const Place& place : places(home)) {
        files.push_back(place.manifestDir / (std::string(native_messaging::kHostName) + ".json"));
    }
    files.push_back(wrapperPath(home));
    bool ok = true;
    for (const fs::path& file : files) {
        std::error_code error;
        if (fs::remove(file, error)) {
            console::writeOut("removed " + file.string() + "\n");
        } else if (error) {
            console::writeErr("netsorter: cannot remove " + file.string() + ": " + error.message() +
                              "\n");
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

#endif

}  // namespace netsorter::cli
