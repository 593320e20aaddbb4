// The host's registration for this user's browsers, on a home of the test's own: what the
// front ends are told (each file, the first failure as a Status). The files' contents and
// places, and what the tool prints, are tests/cli's case native_host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "browser_host/install_linux.h"
#include "temp_dir.h"

namespace netsorter {
namespace {

namespace fs = std::filesystem;

TEST(InstallHost, TellsEachFileAndTheFirstFailureAndUninstallingLeavesTheHomeAsItWas) {
    struct Row {
        const char* what;
        std::function<void(const fs::path& home)> prepare;
        std::string dataDir;
        std::size_t written;       // the wrapper and six manifests when all goes well
        std::string firstFailure;  // its start; empty for none
        bool removedCleanly = true;
    };
    const Row rows[] = {
        {"a new home", [](const fs::path&) {}, "", 7, ""},
        // A file where Firefox's folder would be: the other browsers still get theirs.
        {"a folder that cannot be made",
         [](const fs::path& home) { std::ofstream(home / ".mozilla") << "x"; }, "", 6,
         "cannot write ", false},
        {"no nets.txt in the data folder", [](const fs::path&) {}, "/nonexistent", 0,
         "cannot read /nonexistent/nets.txt: "},
    };
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
    for (const Row& row : rows) {
        const testing::TempDir home;
        ::setenv("HOME", home.str().c_str(), 1);
        row.prepare(home.path());
        const auto tree = [&] {
            std::vector<fs::path> paths(fs::recursive_directory_iterator(home.path()), {});
            std::sort(paths.begin(), paths.end());
            return paths;
        };
        const std::vector<fs::path> before = tree();
        std::vector<std::string> wrote;
        std::vector<Problem> told;
        browser_host::InstallProgress progress;
        progress.wrote = [&](const std::string& path) { wrote.push_back(path); };
        progress.onProblem = [&](const Problem& problem) { told.push_back(problem); };

        const Status installed = browser_host::installHost({.program = "/usr/bin/netsorter",
                                                            .dataDir = row.dataDir,
                                                            .countryDatabase = {},
                                                            .ownerDatabase = {}},
                                                           progress);
        EXPECT_EQ(wrote.size(), row.written) << row.what;
        for (const std::string& path : wrote) {
            EXPECT_TRUE(fs::is_regular_file(path)) << row.what << ": " << path;
        }
        EXPECT_EQ(installed.ok(), row.firstFailure.empty()) << row.what;
        if (!installed.ok()) {
            EXPECT_TRUE(installed.reason().starts_with(row.firstFailure))
                << row.what << ": " << installed.reason();
            ASSERT_FALSE(told.empty()) << row.what;
            EXPECT_EQ(told.front().joined(""), installed.reason()) << row.what;
        }

        const Status removed = browser_host::uninstallHost();
        EXPECT_EQ(removed.ok(), row.removedCleanly) << row.what << ": " << removed.reason();
        EXPECT_EQ(tree(), before) << row.what;
    }

    ::setenv("HOME", "relative", 1);
    EXPECT_EQ(browser_host::installHost({}).reason(), "HOME is not set to an absolute path");
    EXPECT_EQ(browser_host::uninstallHost().reason(), "HOME is not set to an absolute path");
}

}  // namespace
}  // namespace netsorter
