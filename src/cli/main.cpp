// netsorter: the check of the window, run headless. A check from here is a check from the
// window's button; --no-reverse makes it one from the tray, where the reverse lookup is
// not made.
#include <algorithm>
#include <exception>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "check/check.h"
#include "check/extract.h"
#include "cli/batch.h"
#include "cli/browser.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/summary.h"
#include "cli/update.h"
#include "common/files.h"
#include "common/text.h"

namespace netsorter {
namespace {

using cli::HostMode;
using cli::Options;

// The tool cannot ask: a line of countries.txt that cannot be stored is reported on stderr
// and left out, as answering Yes in the window does.
bool reportDuplicate(const DuplicateLine& line) {
    console::tell("warning: Дублирующийся номер (" + escaped(line.key) + "): " + line.path +
                  " line " + std::to_string(line.line) + " is left out");
    return true;
}

void reportProblem(const Problem& problem) {
    console::tell(std::string(problem.kind == Problem::Kind::Warning ? "warning: " : "") +
                  (problem.object.empty() ? "" : problem.object + ": ") + problem.joined(" / "));
}

// What --version tells after its first line: the data files this run would read.
std::string versionText(Engines& engines, const LoadReport& report, const Options& options) {
    const std::size_t v4 = engines.nets().nets().size();
    const std::size_t v6 = engines.nets().nets6().size();
    std::string text = "nets.txt: " + report.nets.path + " (" + std::to_string(v4 + v6) +
                       " subnets: " + std::to_string(v4) + " IPv4, " + std::to_string(v6) +
                       " IPv6)\n";
    text += "countries.txt: " + report.countries.path +
            (report.countries.loaded ? "" : " (not read)") + "\n";
    for (const DatabaseDescription& database : engines.databases()) {
        const char* kind = database.kind == DatabaseKind::Country ? "country" : "owner";
        if (database.path.empty()) {
            text += std::string(kind) + " database: none\n";
            continue;
        }
        text += std::string(kind) + " database: " + database.path +
                (database.notes.empty() ? "" : " (" + database.notes + ")") + "\n";
        if (!database.ipv6Path.empty()) {
            text += std::string(kind) + " database, IPv6: " + database.ipv6Path + "\n";
        }
        const std::string& chosen = database.kind == DatabaseKind::Country ? options.countryDatabase
                                                                           : options.ownerDatabase;
        if (!chosen.empty() && report.of(database.kind).answering.path == chosen) {
            text += cli::newerDownloadNote(database.kind, database.date);
        }
    }
    return text;
}

bool fileExists(const std::string& path) {
    RandomAccessFile file;
    return file.open(path).ok();
}

std::string findDataDir() {
    const std::string own = programDir();
    if (fileExists(fullName(own, "nets.txt"))) {
        return own;
    }
    const std::string installed =
        fullName(own, std::string("..") + kPathSeparator + "share" + kPathSeparator + "netsorter");
    if (fileExists(fullName(installed, "nets.txt"))) {
        return installed;
    }
    return own;
}

// Loads the data files and tells on stderr what could not be read; nets.txt is the one the
// caller must not go on without.
LoadReport load(Engines& engines, const Options& options) {
    // A batch from standard input is looked up in a memory image of the database: the same
    // answers without a read of the file per level.
    LoadOptions load;
    load.chosen[static_cast<std::size_t>(DatabaseKind::Country)] = options.countryDatabase;
    load.chosen[static_cast<std::size_t>(DatabaseKind::Owner)] = options.ownerDatabase;
    load.access =
        options.fromStdin && !options.version ? GeoAccess::MemoryImage : GeoAccess::PositionedReads;
    load.askToGoOn = reportDuplicate;
    load.cacheDir = userCacheDir();
    const LoadReport report = engines.load(load);
    if (!report.nets.loaded) {
        console::tell("cannot read " + report.nets.path + ": " + report.nets.reason);
        return report;
    }
    // A damaged file of the data directory is refused by each kind's search: told once.
    std::set<std::string> told;
    for (const DatabaseLoad& database : report.databases) {
        for (const FileLoad& refused : database.refused) {
            if (told.insert(refused.path).second) {
                console::tell("warning: cannot read " + refused.path + ": " + refused.reason);
            }
        }
    }
    const DatabaseLoad& countries = report.of(DatabaseKind::Country);
    // What is shown without the file: a database that answers by code goes on without the
    // names table; without a database nothing tells the country.
    const bool byCode =
        countries.answering.loaded && !engines.geo().database().source->answersByIndex();
    if (report.countries.attempted && !report.countries.loaded) {
        console::tell(
            "warning: cannot read " + report.countries.path + ": " + report.countries.reason +
            (byCode ? "; countries will be shown as codes" : "; countries will not be shown"));
    }
    if (countries.answering.attempted && !countries.answering.loaded) {
        console::tell("warning: cannot read " + countries.answering.path + ": " +
                      countries.answering.reason + "; countries will not be shown");
    }
    return report;
}

int serveBrowser(Engines& engines) {
    CheckOptions check;
    check.onProblem = reportProblem;
    // A request from outside the window, as from the tray: no reverse lookup.
    check.reverseLookup = false;
    return cli::serveBrowser([&](const std::string& address) {
        std::string reply;
        cli::format(reply, cli::Format::Json, address, checkAddress(address, engines, check),
                    false);
        return reply;
    });
}

// Why a line of standard input is no address, if it is none.
std::string lineWarning(const console::Line& line) {
    if (line.fault == console::Line::Fault::None) {
        return {};
    }
    return "warning: line " + std::to_string(line.number) + " of standard input " +
           (line.fault == console::Line::Fault::TooLong
                ? "is longer than " + std::to_string(console::kMaxLineBytes >> 10) + " KiB"
                : std::string("holds a NUL byte")) +
           "; it is checked as an empty address";
}

// Plain ASCII text is its own UTF-8: most lines of a list or a log need no decoding.
bool isPlainAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

unsigned jobsOf(const Options& options, Engines& engines) {
    // A database that may find itself damaged half-way answers by the order of the lookups:
    // one thread keeps that order.
    const std::shared_ptr<CountrySource>& countries = engines.geo().database().source;
    if (countries && !countries->settled()) {
        return 1;
    }
    if (options.jobs != 0) {
        return options.jobs;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

// The addresses of the command line, with those of standard input where "-" stands among
// them (after them when there is none).
int checkBatch(Engines& engines, const Options& options) {
    CheckOptions check;
    check.onProblem = reportProblem;
    // A log means millions of addresses: their names only when asked.
    check.reverseLookup = options.extract ? options.reverse : !options.noReverse;
    cli::Batch batch(engines, check,
                     {.format = options.format,
                      .withAddress = options.fromStdin || options.addresses.size() > 1,
                      .summary = options.summary,
                      .jobs = options.fromStdin ? jobsOf(options, engines) : 1});
    // Whoever feeds standard input may wait for the answers so far.
    console::beforeInputWaits([&batch] { batch.drain(); });
    struct Unhook {
        ~Unhook() { console::beforeInputWaits({}); }
    } unhook;
    const auto checkStdin = [&] {
        if (const std::string hint = console::platform::inputHint(); !hint.empty()) {
            console::tell(hint);
        }
        std::string decoded;
        for (console::Line line; console::readLine(line);) {
            const bool plain = isPlainAscii(line.text);
            if (!plain) {
                decoded = console::decodeLine(line.text);
            }
            const std::string_view text = plain ? std::string_view(line.text) : decoded;
            if (!options.extract) {
                batch.add(text, std::nullopt, lineWarning(line));
                continue;
            }
            for (const FoundAddress& found : findAddresses(text)) {
                batch.add(found.text, line.number);
            }
        }
    };
    for (std::size_t i = 0; i <= options.addresses.size(); ++i) {
        if (options.fromStdin && options.stdinAt == i) {
            checkStdin();
        }
        if (i < options.addresses.size()) {
            batch.add(decodeText(options.addresses[i]));
        }
    }
    batch.drain();
    if (options.summary) {
        console::writeOut(batch.summary().format(options.format));
    }
    if (!console::inputError().empty()) {
        console::tell("cannot read standard input: " + console::inputError());
        return 1;
    }
    return 0;
}

int run(const std::vector<std::string>& args) {
    const Result<Options> parsed = cli::parseOptions(args);
    if (!parsed) {
        console::tell(parsed.reason());
        console::writeErr(cli::usage(console::programName()));
        return 2;
    }
    const Options& options = *parsed;
    if (options.help) {
        console::writeOut(cli::usage(console::programName()));
        return 0;
    }
    if (options.host == HostMode::Install || options.host == HostMode::Uninstall) {
        return options.host == HostMode::Install
                   ? cli::installForBrowsers(options.dataDir, options.countryDatabase,
                                             options.ownerDatabase)
                   : cli::uninstallForBrowsers();
    }
    if (options.version) {
        console::writeOut(std::string("netsorter ") + NETSORTER_VERSION + "\n");
    }
    const std::string dataDir = options.dataDir.empty() ? findDataDir() : options.dataDir;
    if (options.update) {
        return cli::updateDatabases(options, dataDir);
    }
    Engines engines(dataDir);
    // What --update fetched answers where it is newer than the data directory's.
    engines.useDownloads(userDataDir());
    const LoadReport report = load(engines, options);
    if (!report.nets.loaded) {
        if (options.host == HostMode::Serve) {
            cli::refuseBrowser(report.nets.path + ": " + report.nets.reason);
        }
        return 1;
    }
    if (options.version) {
        console::writeOut(versionText(engines, report, options));
        return 0;
    }
    return options.host == HostMode::Serve ? serveBrowser(engines) : checkBatch(engines, options);
}

}  // namespace
}  // namespace netsorter

int main(int argc, char** argv) {
    using netsorter::console::writeErr;
    using netsorter::console::WriteError;
    try {
        const int status = netsorter::run(netsorter::console::arguments(argc, argv));
        netsorter::console::flushOut();
        return status;
    } catch (const WriteError& e) {
        if (*e.what() != '\0') {
            netsorter::console::tell(std::string("cannot write the output: ") + e.what());
        }
        return 1;
    } catch (const std::exception& e) {
        // The output may fail on the way: what was pending is dropped, the message still goes.
        const std::string message = netsorter::console::programName() + ": " + e.what() + "\n";
        try {
            writeErr(message);
        } catch (const WriteError&) {
            writeErr(message);
        }
        return 1;
    }
}
