#include "cli/native_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "cli/console.h"
#include "common/files.h"
#include "common/text.h"
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
    std::vector<Place> out;
    // Each browser's folder of profiles, where it also looks for hosts.
    for (const fs::path& browser :
         {config / "chromium", config / "google-chrome", config / "microsoft-edge",
          config / "BraveSoftware" / "Brave-Browser", config / "vivaldi"}) {
        out.push_back({browser / "NativeMessagingHosts", BrowserFamily::Chromium});
    }
    out.push_back({home / ".mozilla" / "native-messaging-hosts", BrowserFamily::Firefox});
    return out;
}

fs::path manifestIn(const Place& place) {
    return place.manifestDir / (std::string(native_messaging::kHostName) + ".json");
}

fs::path ownDir(const fs::path& home) {
    return xdgDir("XDG_DATA_HOME", home / ".local" / "share") / "netsorter";
}

// The browsers start the manifest's path with arguments of their own (Chromium the caller's
// origin, Firefox the manifest's path and the add-on's id), which netsorter would take for
// addresses; the wrapper puts the switch in front of them.
fs::path wrapperPath(const fs::path& home) {
    return ownDir(home) / "native-host";
}

// The folders installing made, which uninstalling removes once they are empty; a folder that
// was there before is never in it, whatever it holds. Each path ends with a NUL, the one byte
// no path holds.
fs::path madeFoldersPath(const fs::path& home) {
    return ownDir(home) / "native-host.folders";
}

std::vector<fs::path> readMadeFolders(const fs::path& record) {
    std::vector<fs::path> folders;
    if (const Result<std::string> read = readWholeFile(record.string()); read) {
        const std::string& bytes = *read;
        for (size_t at = 0, end; (end = bytes.find('\0', at)) != std::string::npos; at = end + 1) {
            folders.emplace_back(bytes.substr(at, end - at));
        }
    }
    return folders;
}

// Makes dir and whatever above it is missing, adding each folder it makes to made.
bool makeFolders(const fs::path& dir, std::vector<fs::path>& made, std::string& reason) {
    fs::path at;
    for (const fs::path& part : dir) {
        at /= part;
        std::error_code error;
        if (fs::create_directory(at, error)) {
            made.push_back(at);
        } else if (error) {
            reason = error.message();
            return false;
        }
    }
    return true;
}

bool writeFile(const fs::path& path, const std::string& text, std::vector<fs::path>& made,
               std::string& reason) {
    if (!makeFolders(path.parent_path(), made, reason)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        reason = std::strerror(errno);
    }
    return static_cast<bool>(out);
}

bool writeAndSay(const fs::path& path, const std::string& text, std::vector<fs::path>& made) {
    std::string reason;
    if (!writeFile(path, text, made, reason)) {
        console::writeErr("netsorter: cannot write " + path.string() + ": " + reason + "\n");
        return false;
    }
    console::writeOut("wrote " + path.string() + "\n");
    return true;
}

bool writeMadeFolders(const fs::path& record, const std::vector<fs::path>& made) {
    std::string bytes;
    std::vector<fs::path> listed;
    for (const fs::path& folder : made) {
        if (std::find(listed.begin(), listed.end(), folder) == listed.end()) {
            listed.push_back(folder);
            bytes += folder.string() + '\0';
        }
    }
    std::string reason;
    if (!writeFile(record, bytes, listed, reason)) {
        console::writeErr("netsorter: cannot write " + record.string() + ": " + reason + "\n");
        return false;
    }
    return true;
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
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
    std::string script = "#!/bin/sh\n# Started by the browsers for \"Проверить IP\".\nexec " +
                         shellQuoted(program.string());
    if (!dataDir.empty()) {
        // A host that cannot read nets.txt would refuse every address.
        const std::string nets = fullName(dataDir, "nets.txt");
        RandomAccessFile file;
        if (const Status opened = file.open(nets); !opened) {
            console::writeErr("netsorter: --data-dir " + dataDir + ": cannot read " + nets + ": " +
                              opened.reason() + "\n");
            return 1;
        }
        script += " --data-dir " + shellQuoted(fs::absolute(dataDir, error).string());
    }
    script += " --native-host \"$@\"\n";

    // The browsers read the manifest as UTF-8 and start exactly the file its path names, so a
    // path in another encoding cannot be written there: converted, it would name another file.
    const fs::path wrapper = wrapperPath(home);
    if (!isValidUtf8(wrapper.string())) {
        console::writeErr("netsorter: " + wrapper.string() +
                          ": the browsers read the host's path as UTF-8 and this one is not; set "
                          "XDG_DATA_HOME to a folder whose path is UTF-8\n");
        return 1;
    }

    const fs::path record = madeFoldersPath(home);
    std::vector<fs::path> made = readMadeFolders(record);
    if (!writeAndSay(wrapper, script, made)) {
        return 1;
    }
    fs::permissions(wrapper,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    bool ok = !error;
    if (!ok) {
        console::writeErr("netsorter: cannot make " + wrapper.string() +
                          " executable: " + error.message() + "\n");
    } else {
        // One browser's folder that cannot be written leaves the others working.
        for (const Place& place : places(home)) {
            ok =
                writeAndSay(manifestIn(place),
                            native_messaging::hostManifest(place.family, wrapper.string()), made) &&
                ok;
        }
    }
    return writeMadeFolders(record, made) && ok ? 0 : 1;
}

int uninstallNativeHost() {
    fs::path home;
    if (!homeDir(home)) {
        return 1;
    }
    const fs::path record = madeFoldersPath(home);
    std::vector<fs::path> made = readMadeFolders(record);
    std::vector<fs::path> files;
    for (const Place& place : places(home)) {
        files.push_back(manifestIn(place));
    }
    files.push_back(wrapperPath(home));
    files.push_back(record);
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
    // Deepest first, so that a folder is empty of the folders made in it. One that holds
    // anything else stays.
    std::stable_sort(made.begin(), made.end(), [](const fs::path& a, const fs::path& b) {
        return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
    });
    for (const fs::path& folder : made) {
        std::error_code error;
        if (fs::is_directory(fs::symlink_status(folder, error)) && fs::remove(folder, error)) {
            console::writeOut("removed " + folder.string() + "/\n");
        }
    }
    return ok ? 0 : 1;
}

#endif

}  // namespace netsorter::cli
