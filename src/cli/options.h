// The tool's command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/output.h"
#include "common/problem.h"

namespace netsorter::cli {

// The help, naming the program as it was started.
std::string usage(const std::string& name);

// What the tool is to be for the browser extension, if anything.
enum class HostMode { None, Serve, Install, Uninstall };

struct Options {
    std::string dataDir;
    std::string countryDatabase;
    std::string ownerDatabase;
    bool version = false;
    // Fetch current databases (from sourcesPath, else the data directory's sources.txt).
    bool update = false;
    std::string sourcesPath;
    Format format = Format::Text;
    bool noReverse = false;
    // Every address found in each line of standard input is checked (log lines), without
    // a reverse lookup unless reverse is given.
    bool extract = false;
    bool reverse = false;
    // Counts by traffic type, country and owner instead of rows.
    bool summary = false;
    // Threads checking standard input's addresses; 0: one per core.
    unsigned jobs = 0;
    bool fromStdin = false;
    // Where among the addresses standard input is read ("-", or no address at all).
    std::size_t stdinAt = 0;
    bool help = false;
    HostMode host = HostMode::None;
    std::vector<std::string> addresses;
};

// The options, or the usage error.
Result<Options> parseOptions(const std::vector<std::string>& args);

}  // namespace netsorter::cli
