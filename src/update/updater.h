// Keeping the databases current: each source's checksum list is fetched first, and the
// database only when the list names another file than the one in use; a download is
// checked (its SHA-256, that it opens as a database of its kind, that its build is not
// older than the one in use) before it replaces the old file in one step. One update runs
// at a time. The same core serves every program; only the transport differs by system.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "update/sources.h"
#include "update/transport.h"

namespace netsorter::update {

struct Request {
    std::string dataDir;      // the program's data folder: its databases may be in use
    std::string userDir;      // where downloads go (userDataDir())
    std::string sourcesPath;  // sources.txt
    FetchLimits limits;
    int attempts = 3;  // of each fetch, when the failure is worth another try
    std::chrono::milliseconds firstDelay{1000};  // doubled after each failed try
};

struct Outcome {
    enum class State { Updated, Current, Failed };
    DatabaseKind kind = DatabaseKind::Country;
    State state = State::Failed;
    std::string file;  // the file in place now (or that would have been replaced)
    std::string oldDate, newDate, oldSha256, newSha256;
    std::string reason;  // Failed: why, naming the database
};

struct Report {
    std::vector<Outcome> outcomes;
    // What stopped the update or a source before any database: a bad line of the sources
    // file, a lock held by another run, a folder that cannot be made.
    std::vector<std::string> problems;

    bool ok() const {
        for (const Outcome& o : outcomes) {
            if (o.state == Outcome::State::Failed) {
                return false;
            }
        }
        return problems.empty();
    }
};

// Runs the update; told hears each database's outcome as soon as it is known.
Report updateDatabases(const Request& request, Transport& transport,
                       const std::function<void(const Outcome&)>& told = {});

// The name of the file beside a download that says where it came from: one line, the kind,
// the URL and the attribution separated by tabs.
std::string sourceNoteOf(const std::string& database);

// Where a downloaded database came from: the URL of its note; empty for any other file.
std::string downloadedFrom(const std::string& database);

// The newest download of the kind in userDir built after chosenDate, if any: a database
// chosen by hand that is older than it is worth a word.
struct Download {
    std::string path;
    std::string date;
};
std::optional<Download> newerDownload(DatabaseKind kind, const std::string& chosenDate,
                                      const std::string& userDir);

}  // namespace netsorter::update
