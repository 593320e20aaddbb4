// netsorter --update: the databases kept current, told one line (or one JSON object) per
// database.
#pragma once

#include <string>

#include "check/engines.h"
#include "cli/options.h"

namespace netsorter::cli {

// Runs the update for the data in dataDir; the exit status.
int updateDatabases(const Options& options, const std::string& dataDir);

// What --version adds about a chosen database of the kind built on chosenDate: a line
// naming a download of the same kind that is newer, if there is one.
std::string newerDownloadNote(DatabaseKind kind, const std::string& chosenDate);

}  // namespace netsorter::cli
