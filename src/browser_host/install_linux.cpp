#include "browser_host/install_linux.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "browser_host/manifest.h"
#include "common/files.h"
#include "common/text.h"

namespace netsorter::browser_host {
namespace {

namespace fs = std::filesystem;

struct Place {
    fs::path manifestDir;
    BrowserFamily family;
};

// Tells progress of each step and keeps the first failure for the Status.
class Steps {
  public:
    explicit Steps(const InstallProgress& progress) : progress_(progress) {}

    bool fail(Problem problem) {
        if (progress_.onProblem) {
            progress_.onProblem(problem);
        }
        if (!first_) {
            first_ = std::move(problem);
        }
        return false;
    }
    bool fail(std::string line) {
        return fail(Problem::failure(Problem::Subject::System, {}, std::move(line)));
    }
    void wrote(const fs::path& path) const {
        if (progress_.wrote) {
            progress_.wrote(path.string());
        }
    }
    void removed(const std::string& path) const {
        if (progress_.removed) {
            progress_.removed(path);
        }
    }
    Status status() const { return first_ ? Status::failure(*first_) : Status::success(); }

  private:
    const InstallProgress& progress_;
    std::optional<Problem> first_;
};

// An XDG base directory: the variable when it holds an absolute path, else the default.
fs::path xdgDir(const char* variable, const fs::path& fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && fs::path(value).is_absolute() ? fs::path(value) : fallback;
}

bool homeDir(fs::path& home, Steps& steps) {
    const char* value = std::getenv("HOME");
    if (value == nullptr || !fs::path(value).is_absolute()) {
        return steps.fail("HOME is not set to an absolute path");
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
    return place.manifestDir / (std::string(kHostName) + ".json");
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
Status makeFolders(const fs::path& dir, std::vector<fs::path>& made) {
    fs::path at;
    for (const fs::path& part : dir) {
        at /= part;
        std::error_code error;
        if (fs::create_directory(at, error)) {
            made.push_back(at);
        } else if (error) {
            return Status::failure(error.message());
        }
    }
    return Status::success();
}

Status writeFile(const fs::path& path, const std::string& text, std::vector<fs::path>& made) {
    if (Status folders = makeFolders(path.parent_path(), made); !folders) {
        return folders;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return out ? Status::success() : Status::failure(std::strerror(errno));
}

bool writeAndTell(const fs::path& path, const std::string& text, std::vector<fs::path>& made,
                  Steps& steps) {
    if (const Status written = writeFile(path, text, made); !written) {
        return steps.fail("cannot write " + path.string() + ": " + written.reason());
    }
    steps.wrote(path);
    return true;
}

bool writeMadeFolders(const fs::path& record, const std::vector<fs::path>& made, Steps& steps) {
    std::string bytes;
    std::vector<fs::path> listed;
    for (const fs::path& folder : made) {
        if (std::find(listed.begin(), listed.end(), folder) == listed.end()) {
            listed.push_back(folder);
            bytes += folder.string() + '\0';
        }
    }
    if (const Status written = writeFile(record, bytes, listed); !written) {
        return steps.fail("cannot write " + record.string() + ": " + written.reason());
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

std::optional<std::string> wrapperScript(const InstallRequest& request, Steps& steps) {
    std::error_code error;
    const fs::path program = request.program.empty() ? fs::read_symlink("/proc/self/exe", error)
                                                     : fs::path(request.program);
    if (error) {
        steps.fail("cannot tell where this program is: " + error.message());
        return std::nullopt;
    }
    std::string script = "#!/bin/sh\n# Started by the browsers for \"Проверить IP\".\nexec " +
                         shellQuoted(program.string());
    if (!request.dataDir.empty()) {
        // A host that cannot read nets.txt would refuse every address.
        const std::string nets = fullName(request.dataDir, "nets.txt");
        RandomAccessFile file;
        if (const Status opened = file.open(nets); !opened) {
            steps.fail(Problem::failure(Problem::Subject::Nets, request.dataDir,
                                        "cannot read " + nets + ": " + opened.reason()));
            return std::nullopt;
        }
        script += " --data-dir " + shellQuoted(fs::absolute(request.dataDir, error).string());
    }
    const std::tuple<const std::string&, Problem::Subject, const char*> databases[] = {
        {request.countryDatabase, Problem::Subject::CountryDatabase, " --country-db "},
        {request.ownerDatabase, Problem::Subject::OwnerDatabase, " --asn-db "}};
    for (const auto& [path, subject, option] : databases) {
        if (path.empty()) {
            continue;
        }
        // The browser is to answer from the database the user chose, wherever the host
        // is started from.
        RandomAccessFile file;
        if (const Status opened = file.open(path); !opened) {
            steps.fail(
                Problem::failure(subject, path, "cannot read " + path + ": " + opened.reason()));
            return std::nullopt;
        }
        script += option + shellQuoted(fs::absolute(path, error).string());
    }
    return script + " --native-host \"$@\"\n";
}

// The browsers read the manifest as UTF-8 and start exactly the file its path names, so a
// path in another encoding cannot be written there: converted, it would name another file.
bool checkUtf8(const fs::path& wrapper, Steps& steps) {
    return isValidUtf8(wrapper.string()) ||
           steps.fail(wrapper.string() +
                      ": the browsers read the host's path as UTF-8 and this one is not; set "
                      "XDG_DATA_HOME to a folder whose path is UTF-8");
}

bool makeExecutable(const fs::path& wrapper, Steps& steps) {
    std::error_code error;
    fs::permissions(wrapper,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    return !error ||
           steps.fail("cannot make " + wrapper.string() + " executable: " + error.message());
}

}  // namespace

Status installHost(const InstallRequest& request, const InstallProgress& progress) {
    Steps steps(progress);
    fs::path home;
    if (!homeDir(home, steps)) {
        return steps.status();
    }
    const std::optional<std::string> script = wrapperScript(request, steps);
    const fs::path wrapper = wrapperPath(home);
    if (!script || !checkUtf8(wrapper, steps)) {
        return steps.status();
    }
    const fs::path record = madeFoldersPath(home);
    std::vector<fs::path> made = readMadeFolders(record);
    if (!writeAndTell(wrapper, *script, made, steps)) {
        return steps.status();
    }
    if (makeExecutable(wrapper, steps)) {
        // One browser's folder that cannot be written leaves the others working.
        for (const Place& place : places(home)) {
            writeAndTell(manifestIn(place), hostManifest(place.family, wrapper.string()), made,
                         steps);
        }
    }
    writeMadeFolders(record, made, steps);
    return steps.status();
}

Status uninstallHost(const InstallProgress& progress) {
    Steps steps(progress);
    fs::path home;
    if (!homeDir(home, steps)) {
        return steps.status();
    }
    const fs::path record = madeFoldersPath(home);
    std::vector<fs::path> made = readMadeFolders(record);
    std::vector<fs::path> files;
    for (const Place& place : places(home)) {
        files.push_back(manifestIn(place));
    }
    files.push_back(wrapperPath(home));
    files.push_back(record);
    for (const fs::path& file : files) {
        std::error_code error;
        if (fs::remove(file, error)) {
            steps.removed(file.string());
        } else if (error) {
            steps.fail("cannot remove " + file.string() + ": " + error.message());
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
            steps.removed(folder.string() + "/");
        }
    }
    return steps.status();
}

}  // namespace netsorter::browser_host
