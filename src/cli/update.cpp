#include "cli/update.h"

#include <cstdlib>

#include "cli/console.h"
#include "common/files.h"
#include "common/json.h"
#include "update/updater.h"

namespace netsorter::cli {
namespace {

using update::Outcome;

// For slow links and for tests: how long a silent server is waited for, and the first
// pause before a fetch is tried again.
int fromEnvironment(const char* name, int otherwise) {
    const char* value = std::getenv(name);
    if (!value || *value == '\0') {
        return otherwise;
    }
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    return *end == '\0' && n > 0 && n < 1000000 ? static_cast<int>(n) : otherwise;
}

std::string jsonOrNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}

std::string formatOutcome(const Outcome& o, Format format) {
    const char* kind = update::kindName(o.kind);
    if (format == Format::Json) {
        const char* state = o.state == Outcome::State::Updated   ? "updated"
                            : o.state == Outcome::State::Current ? "current"
                                                                 : "failed";
        return std::string("{\"kind\": \"") + kind + "\", \"status\": \"" + state +
               "\", \"file\": " + jsonOrNull(o.file) + ", \"old_date\": " + jsonOrNull(o.oldDate) +
               ", \"new_date\": " + jsonOrNull(o.newDate) +
               ", \"old_sha256\": " + jsonOrNull(o.oldSha256) +
               ", \"new_sha256\": " + jsonOrNull(o.newSha256) +
               ", \"reason\": " + jsonOrNull(o.reason) + "}\n";
    }
    switch (o.state) {
        case Outcome::State::Updated:
            return std::string(kind) + ": updated to " + o.newDate + " (was " +
                   (o.oldDate.empty() ? "none" : o.oldDate) + ")\n";
        case Outcome::State::Current:
            return std::string(kind) + ": already current\n";
        case Outcome::State::Failed:
            return std::string(kind) + ": failed\n";
    }
    return {};
}

}  // namespace

int updateDatabases(const Options& options, const std::string& dataDir) {
    update::Request request;
    request.dataDir = dataDir;
    request.userDir = userDataDir();
    request.sourcesPath =
        options.sourcesPath.empty() ? fullName(dataDir, "sources.txt") : options.sourcesPath;
    request.limits.stallSeconds =
        fromEnvironment("NETSORTER_UPDATE_STALL_SECONDS", request.limits.stallSeconds);
    request.firstDelay =
        std::chrono::milliseconds(fromEnvironment("NETSORTER_UPDATE_RETRY_MS", 1000));
    const std::unique_ptr<update::Transport> transport = update::systemTransport();
    const update::Report report =
        update::updateDatabases(request, *transport, [&](const Outcome& outcome) {
            if (outcome.state == Outcome::State::Failed) {
                console::tell(outcome.reason);
            }
            console::writeOut(formatOutcome(outcome, options.format));
            console::flushOut();
        });
    for (const std::string& problem : report.problems) {
        console::tell(problem);
    }
    return report.ok() ? 0 : 1;
}

std::string newerDownloadNote(DatabaseKind kind, const std::string& chosenDate) {
    const std::optional<update::Download> newer =
        update::newerDownload(kind, chosenDate, userDataDir());
    if (!newer) {
        return {};
    }
    return std::string(update::kindName(kind)) + " database: the chosen file (" +
           (chosenDate.empty() ? "undated" : chosenDate) + ") is older than the download " +
           newer->path + " (" + newer->date + ")\n";
}

}  // namespace netsorter::cli
