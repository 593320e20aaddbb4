#include "update/updater.h"

#include <memory>
#include <optional>
#include <thread>

#include "common/files.h"
#include "common/sha256.h"
#include "common/text.h"
#include "geo/country_databases.h"
#include "geo/mmdb_ranges.h"

namespace netsorter::update {
namespace {

constexpr const char* kLockFile = "update.lock";
constexpr const char* kPartSuffix = ".part";
// A checksum list is a few lines; anything much larger is not one.
constexpr std::size_t kMaxListBytes = 1 << 20;

Fetched fetchWithRetries(Transport& transport, const Request& request, const std::string& url,
                         const std::function<Status()>& restart,
                         const std::function<Status(std::string_view)>& body) {
    Fetched fetched;
    std::chrono::milliseconds delay = request.firstDelay;
    for (int attempt = 1; attempt <= request.attempts; ++attempt) {
        if (const Status restarted = restart(); !restarted) {
            return {false, false, restarted.reason()};
        }
        fetched = transport.get(url, request.limits, body);
        if (fetched.ok || !fetched.retryable) {
            return fetched;
        }
        if (attempt < request.attempts) {
            std::this_thread::sleep_for(delay);
            delay *= 2;
        }
    }
    fetched.reason += " (" + std::to_string(request.attempts) + " tries)";
    return fetched;
}

// The database of the kind in use now, as a check would choose it without a choice of the
// user's: its path and build date.
DatabaseDescription inUse(const Request& request, DatabaseKind kind) {
    Engines engines(request.dataDir);
    engines.useDownloads(request.userDir);
    LoadReport report;
    engines.loadDatabases({}, report);
    return engines.databases()[static_cast<std::size_t>(kind)];
}

// Opens a download as a database of its kind; its build date, or why it is none.
Result<std::string> dateOfDatabase(const std::string& path, DatabaseKind kind) {
    if (kind == DatabaseKind::Owner) {
        Result<OwnerDatabase> opened = openOwnerDatabase(path);
        if (!opened) {
            return opened.status();
        }
        return opened->date;
    }
    Result<CountryDatabase> opened =
        openCountryDatabase(path, GeoAccess::PositionedReads, Provenance::Chosen);
    if (!opened) {
        return opened.status();
    }
    return opened->date;
}

Outcome updateOne(const Source& source, const Request& request, Transport& transport) {
    Outcome out;
    out.kind = source.kind;
    out.file = fullName(request.userDir, source.fileName);
    const auto failed = [&](const std::string& why) {
        out.state = Outcome::State::Failed;
        out.reason = std::string(kindName(source.kind)) + " (" + source.url + "): " + why;
        return out;
    };

    const DatabaseDescription current = inUse(request, source.kind);
    out.oldDate = current.date;
    if (!current.path.empty()) {
        if (const Result<std::string> digest = sha256OfFile(current.path)) {
            out.oldSha256 = *digest;
        }
    }

    std::string list;
    const Fetched listed = fetchWithRetries(
        transport, request, source.listUrl,
        [&] {
            list.clear();
            return Status::success();
        },
        [&](std::string_view piece) {
            if (list.size() + piece.size() > kMaxListBytes) {
                return Status::failure("the checksum list is larger than " +
                                       std::to_string(kMaxListBytes >> 20) + " MiB");
            }
            list += piece;
            return Status::success();
        });
    if (!listed.ok) {
        return failed("cannot fetch the checksum list " + source.listUrl + ": " + listed.reason);
    }
    const std::optional<std::string> wanted = digestFor(list, source.fileName);
    if (!wanted) {
        return failed("the checksum list " + source.listUrl + " names no " + source.fileName);
    }
    out.newSha256 = *wanted;
    // The file already here, downloaded before or in use, needs no download.
    for (const std::string& have : {out.file, current.path}) {
        if (have.empty() || (have != out.file && fileName(have) != source.fileName)) {
            continue;
        }
        if (const Result<std::string> digest = sha256OfFile(have); digest && *digest == *wanted) {
            out.state = Outcome::State::Current;
            out.file = have;
            out.newDate = out.oldDate;
            return out;
        }
    }

    // Downloaded beside its final place, under a name no loader takes for a database.
    const std::string part = fullName(request.userDir, "." + source.fileName + kPartSuffix);
    OutputFile file;
    std::unique_ptr<Sha256> hash;
    const Fetched fetched = fetchWithRetries(
        transport, request, source.url,
        [&] {
            hash = std::make_unique<Sha256>();
            return file.create(part);
        },
        [&](std::string_view piece) {
            hash->add(piece);
            return file.write(piece);
        });
    const auto cleanUp = [&] {
        file.close();
        removeFile(part);
    };
    if (!fetched.ok) {
        cleanUp();
        return failed("cannot download: " + fetched.reason);
    }
    if (const Status finished = file.finish(); !finished) {
        cleanUp();
        return failed("cannot write " + part + ": " + finished.reason());
    }
    const std::string got = hash->hexDigest();
    if (got != *wanted) {
        cleanUp();
        return failed("the file's SHA-256 is " + got + ", the checksum list says " + *wanted);
    }
    const Result<std::string> date = dateOfDatabase(part, source.kind);
    if (!date) {
        cleanUp();
        return failed(std::string("the download is no ") + kindName(source.kind) +
                      " database: " + date.reason());
    }
    if (!current.date.empty() && *date < current.date) {
        cleanUp();
        return failed("the download is an older build (" + (date->empty() ? "undated" : *date) +
                      ") than the database in use (" + current.date + ", " + current.path + ")");
    }
    if (const Status replaced = replaceFile(part, out.file); !replaced) {
        cleanUp();
        return failed("cannot put the download in place: " + replaced.reason());
    }
    // Where it came from and what to credit, for the About box and --version.
    OutputFile note;
    const std::string notePart =
        fullName(request.userDir, "." + source.fileName + ".source" + kPartSuffix);
    if (note.create(notePart) &&
        note.write(std::string(kindName(source.kind)) + "\t" + source.url + "\t" +
                   source.attribution + "\n") &&
        note.finish()) {
        replaceFile(notePart, sourceNoteOf(out.file));
    } else {
        note.close();
        removeFile(notePart);
    }
    out.state = Outcome::State::Updated;
    out.newDate = *date;
    return out;
}

}  // namespace

std::string sourceNoteOf(const std::string& database) {
    return database + ".source";
}

namespace {

// The note's fields when it is one of the kind (any kind when none is asked for).
std::vector<std::string> noteOf(const std::string& database) {
    const Result<std::string> note = readWholeFile(sourceNoteOf(database));
    std::vector<std::string> fields;
    if (!note) {
        return fields;
    }
    std::string_view text(*note);
    text = text.substr(0, text.find_first_of("\r\n"));
    for (;;) {
        const std::size_t tab = text.find('\t');
        fields.emplace_back(text.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        text.remove_prefix(tab + 1);
    }
}

}  // namespace

std::string downloadedFrom(const std::string& database) {
    const std::vector<std::string> fields = noteOf(database);
    return fields.size() >= 2 ? fields[1] : std::string();
}

std::optional<Download> newerDownload(DatabaseKind kind, const std::string& chosenDate,
                                      const std::string& userDir) {
    std::optional<Download> newest;
    for (const std::string& name : filesIn(userDir)) {
        const std::string path = fullName(userDir, name);
        const std::vector<std::string> fields = noteOf(path);
        if (fields.empty() || fields[0] != kindName(kind)) {
            continue;
        }
        const std::optional<MmdbMetadata> metadata = MmdbRanges::readMetadata(path);
        if (metadata && metadata->buildDate() > chosenDate &&
            (!newest || metadata->buildDate() > newest->date)) {
            newest = Download{path, metadata->buildDate()};
        }
    }
    return newest;
}

Report updateDatabases(const Request& request, Transport& transport,
                       const std::function<void(const Outcome&)>& told) {
    Report report;
    Sources sources;
    if (const Result<std::string> text = readWholeFile(request.sourcesPath); !text) {
        report.problems.push_back("cannot read " + request.sourcesPath + ": " + text.reason());
        return report;
    } else {
        sources = parseSources(decodeText(*text), request.sourcesPath);
    }
    report.problems = sources.bad;
    if (request.userDir.empty()) {
        report.problems.push_back("no folder for downloads: the system names no home");
        return report;
    }
    if (const Status made = makeDirectories(request.userDir); !made) {
        report.problems.push_back("cannot make the folder for downloads: " + made.reason());
        return report;
    }
    FileLock lock;
    const std::string lockPath = fullName(request.userDir, kLockFile);
    if (const Result<bool> locked = lock.tryLock(lockPath); !locked) {
        report.problems.push_back("cannot lock " + lockPath + ": " + locked.reason());
        return report;
    } else if (!*locked) {
        report.problems.push_back("another update is running (it holds " + lockPath + ")");
        return report;
    }
    // What a run that was killed left behind; no other run can be writing now.
    for (const std::string& name : filesIn(request.userDir)) {
        if (name.starts_with('.') && name.ends_with(kPartSuffix)) {
            removeFile(fullName(request.userDir, name));
        }
    }
    for (const Source& source : sources.sources) {
        report.outcomes.push_back(updateOne(source, request, transport));
        if (told) {
            told(report.outcomes.back());
        }
    }
    return report;
}

}  // namespace netsorter::update
