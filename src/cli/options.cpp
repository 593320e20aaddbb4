#include "cli/options.h"

#include <iterator>
#include <string_view>

namespace netsorter::cli {

namespace {
#ifdef _WIN32
constexpr bool kWindows = true;
constexpr const char* kHelpSwitches = "  -h, -?, /?, --help this help\n";
constexpr const char* kEncodings =
    "A console is read as typed. Other standard input is UTF-8, the console's code\n"
    "page, Windows-1251 or UTF-16 with a byte-order mark.\n";
#else
constexpr bool kWindows = false;
constexpr const char* kHelpSwitches = "  -h, -?, --help     this help\n";
constexpr const char* kEncodings =
    "Standard input is UTF-8, Windows-1251 or UTF-16 with a byte-order mark.\n";
#endif
}  // namespace

std::string usage(const std::string& name) {
    // Every line fits an 80-column console, which wraps a full line's last character.
    const std::string indent(name.size() + 8, ' ');
    return "usage: " + name + " [--data-dir DIR] [--country-db FILE] [--asn-db FILE]\n" + indent +
           "[--format FORMAT] [--no-reverse] [--jobs N] [ADDRESS...]\n"
           "       " +
           name + " --extract [--reverse] [--summary] [--format F] < LOG\n" + "       " + name +
           " --version\n" + "       " + name +
           " --update [--data-dir DIR] [--sources FILE] [--format json]\n" +
           "\n"
           "Tells the domain name, IP address, traffic type (from nets.txt), country\n"
           "(from a country database and countries.txt) and network owner (AS number and\n"
           "organisation) of each ADDRESS: a URL, a host name or an IP address (IPv4 or\n"
           "IPv6). With no ADDRESS, addresses are read from standard input, one per line;\n"
           "- among the addresses reads it there.\n"
           "\n"
           "  --data-dir DIR     where nets.txt, countries.txt and the databases\n"
           "                     are (default: the program's directory, else\n"
           "                     ../share/netsorter beside it)\n"
           "  --country-db FILE  the country database to use (.mmdb or GeoIP.dat); default:\n"
           "                     the newest .mmdb of the data directory, else its GeoIP.dat\n"
           "  --asn-db FILE      the network owner database to use (.mmdb); default: the\n"
           "                     newest .mmdb of the data directory that holds owners\n"
           "  --format FORMAT    text (default), tsv (address, domain, ip, traffic,\n"
           "                     country, as_number, as_org, network: eight columns since\n"
           "                     version 1.1, five before) or json (one object per line)\n"
           "  --no-reverse       do not look up the name of a dotted address\n"
           "  --jobs N           check standard input on N threads (default: one per\n"
           "                     core); the output is the same, in the input's order\n"
           "  --extract          check every IPv4 and IPv6 address found in each line of\n"
           "                     standard input (logs), with its line number; no name\n"
           "                     lookups unless --reverse\n"
           "  --summary          counts by traffic type, country and owner instead of rows\n"
           "  --version          the version, the data files and databases in use\n"
           "  --update           fetch the current country and owner databases named in\n"
           "                     sources.txt (or --sources FILE) into this user's folder\n"
           "  --native-host      serve the browser extension \"Проверить IP\" (native\n"
           "                     messaging)\n"
           "  --install-native-host, --uninstall-native-host\n"
           "                     make this program the extension's host for this user's\n"
           "                     Chromium, Chrome, Edge, Brave, Vivaldi and Firefox, or\n"
           "                     stop it being so\n" +
           kHelpSwitches + "\n" + kEncodings +
           "Lines end with LF, CR LF or CR, whitespace around them is dropped, and a line\n"
           "longer than 64 KiB or holding a NUL byte is checked as an empty address.\n"
           "\n"
           "Exit status: 0 when every address got its results (placeholders count),\n"
           "1 when a data file (nets.txt), a read of standard input or a write failed,\n"
           "2 for a usage error.\n";
}

namespace {

// Indexed by HostMode.
constexpr const char* kHostSwitches[] = {"", "--native-host", "--install-native-host",
                                         "--uninstall-native-host"};

// What each mode of the tool uses; any other option given with it is a usage error, so
// that nothing the user asked for is silently ignored.
enum Mode : unsigned {
    kCheck = 1,
    kVersion = 2,
    kServe = 4,
    kInstall = 8,
    kUninstall = 16,
    kUpdate = 32
};
constexpr unsigned kLoads = kCheck | kVersion | kServe | kInstall;
struct OptionUse {
    const char* name;
    unsigned modes;
};
constexpr OptionUse kOptionUses[] = {
    {"--data-dir", kLoads | kUpdate},
    {"--country-db", kLoads},
    {"--asn-db", kLoads},
    {"--format", kCheck | kUpdate},
    {"--no-reverse", kCheck},
    {"ADDRESS", kCheck},
    {"-", kCheck},
    {"--sources", kUpdate},
    {"--extract", kCheck},
    {"--summary", kCheck},
    {"--reverse", kCheck},
    {"--jobs", kCheck},
};
constexpr const char* kModeNames[] = {
    "a check", "--version", "--native-host", "--install-native-host", "--uninstall-native-host",
    "--update"};

class Parser {
  public:
    Parser(const std::vector<std::string>& args, Options& options, std::string& error)
        : args_(args), options_(options), error_(error) {}

    bool parse() {
        for (; at_ < args_.size() && !stopped_; ++at_) {
            if (!parseOne(args_[at_])) {
                return false;
            }
        }
        if (!usedByMode()) {
            return false;
        }
        if (options_.addresses.empty() && !options_.version && !options_.update) {
            options_.fromStdin = true;
        }
        return true;
    }

  private:
    bool parseOne(const std::string& arg) {
        if (onlyAddresses_ || arg == "-" || (!arg.starts_with("-") && !(kWindows && arg == "/?"))) {
            return address(arg);
        }
        if (arg == "-h" || arg == "--help" || arg == "-?" || (kWindows && arg == "/?")) {
            options_.help = true;
        } else if (arg == "--version") {
            options_.version = true;
        } else if (arg == "--update") {
            options_.update = true;
        } else if (takes(arg, "--sources")) {
            return value("--sources", options_.sourcesPath);
        } else if (arg == "--") {
            onlyAddresses_ = true;
        } else if (arg == "--no-reverse") {
            options_.noReverse = true;
            given("--no-reverse");
        } else if (arg == "--extract" || arg == "--summary" || arg == "--reverse") {
            (arg == "--extract"   ? options_.extract
             : arg == "--summary" ? options_.summary
                                  : options_.reverse) = true;
            given(arg);
        } else if (const auto host = hostMode(arg); host != HostMode::None) {
            return hostSwitch(arg, host);
        } else if (takes(arg, "--data-dir")) {
            return value("--data-dir", options_.dataDir);
        } else if (takes(arg, "--country-db")) {
            return value("--country-db", options_.countryDatabase);
        } else if (takes(arg, "--asn-db")) {
            return value("--asn-db", options_.ownerDatabase);
        } else if (takes(arg, "--format")) {
            return format();
        } else if (takes(arg, "--jobs")) {
            return jobs();
        } else {
            error_ = "unknown option: " + arg;
            return false;
        }
        return true;
    }

    bool address(const std::string& arg) {
        if (arg != "-" || onlyAddresses_) {
            options_.addresses.push_back(arg);
            given("ADDRESS");
            return true;
        }
        if (options_.fromStdin) {
            error_ = "- given twice: standard input is read once";
            return false;
        }
        options_.fromStdin = true;
        options_.stdinAt = options_.addresses.size();
        given("-");
        return true;
    }

    static HostMode hostMode(const std::string& arg) {
        for (std::size_t i = 1; i < std::size(kHostSwitches); ++i) {
            if (arg == kHostSwitches[i]) {
                return static_cast<HostMode>(i);
            }
        }
        return HostMode::None;
    }

    bool hostSwitch(const std::string& arg, HostMode host) {
        if (options_.host != HostMode::None) {
            error_ = arg + " after " + kHostSwitches[static_cast<int>(options_.host)];
            return false;
        }
        options_.host = host;
        // The rest is the browser's: the caller's origin, a window handle.
        stopped_ = host == HostMode::Serve;
        return true;
    }

    static bool takes(const std::string& arg, const std::string& name) {
        return arg == name || arg.starts_with(name + "=");
    }

    bool value(const std::string& name, std::string& out) {
        const std::string& arg = args_[at_];
        if (arg.starts_with(name + "=")) {
            out = arg.substr(name.size() + 1);
        } else if (at_ + 1 < args_.size()) {
            out = args_[++at_];
        } else {
            out.clear();
        }
        if (out.empty()) {
            error_ = name + " needs a value";
            return false;
        }
        given(name);
        return true;
    }

    bool format() {
        std::string format;
        if (!value("--format", format)) {
            return false;
        }
        if (format == "text") {
            options_.format = Format::Text;
        } else if (format == "tsv") {
            options_.format = Format::Tsv;
        } else if (format == "json") {
            options_.format = Format::Json;
        } else {
            error_ = "unknown format: " + format;
            return false;
        }
        return true;
    }

    bool jobs() {
        std::string text;
        if (!value("--jobs", text)) {
            return false;
        }
        // More threads than this would only wait on one another.
        constexpr unsigned kMaxJobs = 256;
        unsigned n = 0;
        for (const char c : text) {
            n = c >= '0' && c <= '9' && n <= kMaxJobs ? n * 10 + static_cast<unsigned>(c - '0')
                                                      : kMaxJobs + 1;
        }
        if (n == 0 || n > kMaxJobs) {
            error_ = "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ": " + text;
            return false;
        }
        options_.jobs = n;
        return true;
    }

    void given(std::string_view name) {
        for (const OptionUse& use : kOptionUses) {
            if (use.name == name) {
                given_ |= 1u << (&use - kOptionUses);
            }
        }
    }

    // Help answers whatever else is given; otherwise the mode decides.
    bool usedByMode() {
        if (options_.help) {
            return true;
        }
        int mode = 0;  // an index of kModeNames
        if (options_.extract && !options_.addresses.empty()) {
            error_ = "--extract reads the lines of standard input, not addresses";
            return false;
        }
        if (options_.reverse && (!options_.extract || options_.noReverse)) {
            error_ = options_.noReverse ? "--reverse and --no-reverse together"
                                        : "--reverse is for --extract: a check looks names up "
                                          "unless --no-reverse";
            return false;
        }
        if (options_.update && (options_.version || options_.host != HostMode::None)) {
            error_ = "--update is a mode of its own";
            return false;
        }
        if (options_.host != HostMode::None) {
            mode = 1 + static_cast<int>(options_.host);
        } else if (options_.version) {
            mode = 1;
        } else if (options_.update) {
            mode = 5;
            if (options_.format == Format::Tsv) {
                error_ = "--update writes text or json";
                return false;
            }
        }
        for (std::size_t i = 0; i < std::size(kOptionUses); ++i) {
            if ((given_ >> i & 1) != 0 && (kOptionUses[i].modes >> mode & 1) == 0) {
                error_ = std::string(kOptionUses[i].name) + " is not used by " + kModeNames[mode];
                return false;
            }
        }
        return true;
    }

    const std::vector<std::string>& args_;
    Options& options_;
    std::string& error_;
    std::size_t at_ = 0;
    unsigned given_ = 0;  // bits of kOptionUses
    bool onlyAddresses_ = false;
    bool stopped_ = false;
};

}  // namespace

Result<Options> parseOptions(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    if (!Parser(args, options, error).parse()) {
        return Problem::failure(Problem::Subject::Input, {}, std::move(error));
    }
    return options;
}

}  // namespace netsorter::cli
