// netsorter: the check of the window, run headless. A check from here is a check from the
// window's button; --no-reverse makes it one from the tray, where the reverse lookup is
// not made.
#include <exception>
#include <string>
#include <vector>

#include "check/check.h"
#include "cli/console.h"
#include "cli/native_host.h"
#include "cli/output.h"
#include "common/files.h"
#include "common/text.h"

namespace netsorter {
namespace {

constexpr const char* kUsage =
    "usage: netsorter [--data-dir DIR] [--country-db FILE] [--format text|tsv|json]\n"
    "                 [--no-reverse] [ADDRESS...]\n"
    "       netsorter --version\n"
    "\n"
    "Tells the domain name, IP address, traffic type (from nets.txt) and country\n"
    "(from a country database and countries.txt) of each ADDRESS: a URL, a host name or\n"
    "an IP address (IPv4 or IPv6). With no ADDRESS, or with -, addresses are read from\n"
    "standard input, one per line.\n"
    "\n"
    "  --data-dir DIR   where nets.txt, countries.txt and the country databases are\n"
    "                   (default: the program's directory, else ../share/netsorter beside it)\n"
    "  --country-db FILE  the country database to use (.mmdb or GeoIP.dat); default: the\n"
    "                   newest .mmdb of the data directory, else its GeoIP.dat\n"
    "  --format FORMAT  text (default), tsv (address, domain, ip, traffic, country) or\n"
    "                   json (one object per line)\n"
    "  --no-reverse     do not look up the name of a dotted address\n"
    "  --version        the version, the data files in use and the country database\n"
    "  --native-host    serve the browser extension \"Проверить IP\" (native messaging)\n"
    "  --install-native-host, --uninstall-native-host\n"
    "                   make this program the extension's host for this user's Chromium,\n"
    "                   Chrome, Edge, Brave, Vivaldi and Firefox, or stop it being so\n"
    "\n"
    "Standard input is UTF-8, Windows-1251 or UTF-16 with a byte-order mark; lines end with\n"
    "LF, CR LF or CR, whitespace around them is dropped, and a line longer than 64 KiB or\n"
    "holding a NUL byte is checked as an empty address.\n"
    "\n"
    "Exit status: 0 when every address got its four results (placeholders count), 1 when a\n"
    "data file (nets.txt), a read of standard input or a write failed, 2 for a usage error.\n";

struct Options {
    std::string dataDir;
    std::string countryDatabase;
    bool version = false;
    cli::Format format = cli::Format::Text;
    bool noReverse = false;
    bool fromStdin = false;
    bool help = false;
    std::string nativeHost;  // empty, or one of the --*native-host switches
    std::vector<std::string> addresses;
};

// The tool cannot ask: a line of countries.txt that cannot be stored is reported on stderr
// and left out, as answering Yes in the window does.
bool reportDuplicate(const DuplicateLine& line) {
    console::writeErr("netsorter: warning: " + line.path + ": line " + std::to_string(line.line) +
                      ": Дублирующийся номер (" + escaped(line.key) + "); the line is left out\n");
    return true;
}

void reportProblem(const Problem& problem) {
    console::writeErr(
        std::string("netsorter: ") + (problem.kind == Problem::Kind::Warning ? "warning: " : "") +
        (problem.object.empty() ? "" : problem.object + ": ") + problem.joined(" / ") + "\n");
}

bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    bool onlyAddresses = false;
    bool formatGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](const std::string& name, std::string& out) {
            if (arg.size() > name.size() && arg.starts_with(name + "=")) {
                out = arg.substr(name.size() + 1);
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (onlyAddresses || arg == "-" || !arg.starts_with("-")) {
            if (arg == "-" && !onlyAddresses) {
                options.fromStdin = true;
            } else {
                options.addresses.push_back(arg);
            }
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--") {
            onlyAddresses = true;
        } else if (arg == "--no-reverse") {
            options.noReverse = true;
        } else if (arg == "--native-host" || arg == "--install-native-host" ||
                   arg == "--uninstall-native-host") {
            if (!options.nativeHost.empty()) {
                error = arg + " after " + options.nativeHost;
                return false;
            }
            options.nativeHost = arg;
            if (arg == "--native-host") {
                break;  // the rest is the browser's: the caller's origin, a window handle
            }
        } else if (arg == "--data-dir" || arg.starts_with("--data-dir=")) {
            if (!value("--data-dir", options.dataDir)) {
                return false;
            }
        } else if (arg == "--country-db" || arg.starts_with("--country-db=")) {
            if (!value("--country-db", options.countryDatabase)) {
                return false;
            }
        } else if (arg == "--format" || arg.starts_with("--format=")) {
            std::string format;
            if (!value("--format", format)) {
                return false;
            }
            formatGiven = true;
            if (format == "text") {
                options.format = cli::Format::Text;
            } else if (format == "tsv") {
                options.format = cli::Format::Tsv;
            } else if (format == "json") {
                options.format = cli::Format::Json;
            } else {
                error = "unknown format: " + format;
                return false;
            }
        } else {
            error = "unknown option: " + arg;
            return false;
        }
    }
    // Registering the host checks nothing, so what only a check uses is a mistake there.
    const bool install = options.nativeHost == "--install-native-host";
    if ((install || options.nativeHost == "--uninstall-native-host") &&
        (!options.addresses.empty() || options.fromStdin || formatGiven || options.noReverse ||
         (!install && !options.dataDir.empty()))) {
        error = options.nativeHost + " takes " + (install ? "only --data-dir" : "nothing else");
        return false;
    }
    if (options.addresses.empty() && !options.version) {
        options.fromStdin = true;
    }
    return true;
}

// What --version tells: the version, and the data files this run would read.
std::string versionText(Engines& engines, const LoadReport& report) {
    std::string text = std::string("netsorter ") + NETSORTER_VERSION + "\n";
    text += "nets.txt: " + report.nets.path + " (" + std::to_string(engines.nets().nets().size()) +
            " subnets)\n";
    text += "countries.txt: " + report.countries.path +
            (report.countries.loaded ? "" : " (not read)") + "\n";
    const DatabaseDescription database = engines.databases().front();
    if (database.path.empty()) {
        return text + "country database: none\n";
    }
    text += "country database: " + database.path +
            (database.notes.empty() ? "" : " (" + database.notes + ")") + "\n";
    if (!database.ipv6Path.empty()) {
        text += "country database, IPv6: " + database.ipv6Path + "\n";
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

int run(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!parseOptions(args, options, error)) {
        console::writeErr("netsorter: " + error + "\n" + kUsage);
        return 2;
    }
    if (options.help) {
        console::writeOut(kUsage);
        return 0;
    }
    if (options.nativeHost == "--install-native-host") {
        return cli::installNativeHost(options.dataDir);
    }
    if (options.nativeHost == "--uninstall-native-host") {
        return cli::uninstallNativeHost();
    }
    const std::string dataDir = options.dataDir.empty() ? findDataDir() : options.dataDir;

    Engines engines(dataDir);
    // A batch from standard input is looked up in a memory image of the database: the same
    // answers without a read of the file per level.
    LoadOptions load;
    load.chosen[static_cast<std::size_t>(DatabaseKind::Country)] = options.countryDatabase;
    load.access =
        options.fromStdin && !options.version ? GeoAccess::MemoryImage : GeoAccess::PositionedReads;
    load.askToGoOn = reportDuplicate;
    const LoadReport report = engines.load(load);
    if (!report.nets.loaded) {
        console::writeErr("netsorter: cannot read " + report.nets.path + ": " + report.nets.reason +
                          "\n");
        if (!options.nativeHost.empty()) {
            cli::refuseNativeRequests(report.nets.path + ": " + report.nets.reason);
        }
        return 1;
    }
    const DatabaseLoad& countries = report.of(DatabaseKind::Country);
    for (const FileLoad& refused : countries.refused) {
        console::writeErr("netsorter: warning: cannot read " + refused.path + ": " +
                          refused.reason + "\n");
    }
    for (const FileLoad* file : {&report.countries, &countries.answering}) {
        if (file->attempted && !file->loaded) {
            console::writeErr("netsorter: warning: cannot read " + file->path + ": " +
                              file->reason + "; countries will not be shown\n");
        }
    }
    if (options.version) {
        console::writeOut(versionText(engines, report));
        return 0;
    }

    CheckOptions check;
    check.onProblem = reportProblem;
    if (!options.nativeHost.empty()) {
        // A request from outside the window, as from the tray: no reverse lookup.
        check.reverseLookup = false;
        return cli::runNativeHost([&](const std::string& address) {
            std::string reply;
            cli::format(reply, cli::Format::Json, address, checkAddress(address, engines, check),
                        false);
            return reply;
        });
    }

    check.reverseLookup = !options.noReverse;
    const bool withAddress = options.fromStdin || options.addresses.size() > 1;
    bool first = true;
    std::string out;
    auto checkOne = [&](const std::string& address) {
        const CheckResult result = checkAddress(address, engines, check);
        if (options.format == cli::Format::Text && !first) {
            console::writeOut("\n");
        }
        first = false;
        out.clear();
        cli::format(out, options.format, address, result, withAddress);
        console::writeOut(out);
    };
    for (const std::string& address : options.addresses) {
        checkOne(decodeText(address));
    }
    if (!options.fromStdin) {
        return 0;
    }
    for (console::Line line; console::readLine(line);) {
        if (line.fault != console::Line::Fault::none) {
            console::writeErr(
                "netsorter: warning: line " + std::to_string(line.number) + " of standard input " +
                (line.fault == console::Line::Fault::tooLong
                     ? "is longer than " + std::to_string(console::kMaxLineBytes >> 10) + " KiB"
                     : std::string("holds a NUL byte")) +
                "; it is checked as an empty address\n");
        }
        std::string address = decodeText(line.text);
        if (const std::string_view kept = trimWhitespace(address);
            kept.size() != address.size()) {
            address = kept;
        }
        checkOne(address);
    }
    if (!console::inputError().empty()) {
        console::writeErr("netsorter: cannot read standard input: " + console::inputError() + "\n");
        return 1;
    }
    return 0;
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
            writeErr(std::string("netsorter: cannot write the output: ") + e.what() + "\n");
        }
        return 1;
    } catch (const std::exception& e) {
        // The output may fail on the way: what was pending is dropped, the message still goes.
        const std::string message = std::string("netsorter: ") + e.what() + "\n";
        try {
            writeErr(message);
        } catch (const WriteError&) {
            writeErr(message);
        }
        return 1;
    }
}
