// netsorter: the check of the window, run headless. A check from here is a check from the
// window's button; --no-reverse makes it one from the tray, where the reverse lookup is
// not made.
#include <array>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "check/check.h"
#include "cli/console.h"
#include "cli/native_host.h"
#include "common/files.h"
#include "common/text.h"
#include "host/json.h"

namespace netsorter {
namespace {

constexpr const char* kUsage =
    "usage: netsorter [--data-dir DIR] [--format text|tsv|json] [--no-reverse] [ADDRESS...]\n"
    "\n"
    "Tells the domain name, IPv4 address, traffic type (from nets.txt) and country\n"
    "(from GeoIP.dat and countries.txt) of each ADDRESS: a URL, a host name or a dotted\n"
    "IPv4 address. With no ADDRESS, or with -, addresses are read from standard input,\n"
    "one per line.\n"
    "\n"
    "  --data-dir DIR   where nets.txt, countries.txt and GeoIP.dat are (default: the\n"
    "                   program's directory, else ../share/netsorter beside it)\n"
    "  --format FORMAT  text (default), tsv (address, domain, ip, traffic, country) or\n"
    "                   json (one object per line)\n"
    "  --no-reverse     do not look up the name of a dotted address\n"
    "  --native-host    serve the browser extension \"Проверить IP\" (native messaging)\n"
    "  --install-native-host, --uninstall-native-host\n"
    "                   make this program the extension's host for this user's Chromium,\n"
    "                   Chrome, Edge, Brave, Vivaldi and Firefox, or stop it being so\n";

enum class Format { Text, Tsv, Json };

struct Options {
    std::string dataDir;
    Format format = Format::Text;
    bool noReverse = false;
    bool fromStdin = false;
    bool help = false;
    std::string nativeHost;  // empty, or one of the --*native-host switches
    std::vector<std::string> addresses;
};

// Message boxes of the core become lines on stderr; the duplicate prompt of countries.txt
// answers Yes, so loading goes on without the refused line.
class ConsoleUi final : public Ui {
  public:
    void doEvents() override {}
    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgIcon,
                     MsgButtons buttons) override {
        std::string line = text;
        for (size_t at; (at = line.find("\r\n")) != std::string::npos;) {
            line.replace(at, 2, " / ");
        }
        const bool yesNo = buttons == MsgButtons::YesNo;
        console::writeErr("netsorter: " + title + ": " + line + (yesNo ? " Да" : "") + "\n");
        return yesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
};

class CliHost final : public CheckHost {
  public:
    CliHost(Ui& ui, const std::string& dataDir, bool noReverse)
        : geo_(ui, dataDir), resolver_(ui), stayHidden_(noReverse) {}

    std::string addressText() override { return address_; }
    void setAddressText(const std::string& text) override { address_ = text; }
    std::string resultText(ResultBox which) override { return box(which); }
    const std::string& box(ResultBox which) const { return boxes_[static_cast<size_t>(which)]; }
    void setResultText(ResultBox box, const std::string& text) override {
        boxes_[static_cast<size_t>(box)] = text;
    }
    bool stayHidden() override { return stayHidden_; }
    void setStayHidden(bool on) override { stayHidden_ = on; }
    bool alwaysOnTop() override { return false; }
    void sendToTray() override {}
    void doEvents() override {}
    void loadingStep() override {}
    void showTrayBalloon(const std::string&, const std::string&) override {}
    void restartTimer1() override {}
    clsNetChecker& netChecker() override { return nets_; }
    clsGeo& geo() override { return geo_; }
    NameResolver& resolver() override { return resolver_; }

  private:
    clsNetChecker nets_;
    clsGeo geo_;
    mdlNET resolver_;
    bool stayHidden_;
    std::string address_;
    std::array<std::string, 4> boxes_;
};

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
        } else if (arg == "--format" || arg.starts_with("--format=")) {
            std::string format;
            if (!value("--format", format)) {
                return false;
            }
            formatGiven = true;
            if (format == "text") {
                options.format = Format::Text;
            } else if (format == "tsv") {
                options.format = Format::Tsv;
            } else if (format == "json") {
                options.format = Format::Json;
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
    if (options.addresses.empty()) {
        options.fromStdin = true;
    }
    return true;
}

bool fileExists(const std::string& path) {
    RandomAccessFile file;
    return file.open(path);
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

// A TSV field cannot hold the characters that separate fields and records.
void appendTsvField(std::string& out, std::string_view text) {
    const size_t from = out.size();
    out += text;
    // Such characters are rare: one library scan per field finds them (it also stops at a
    // NUL byte, which stays as it is).
    for (size_t at = from + std::strcspn(out.c_str() + from, "\t\r\n"); at < out.size();
         at += 1 + std::strcspn(out.c_str() + at + 1, "\t\r\n")) {
        if (out[at] != '\0') {
            out[at] = ' ';
        }
    }
}

size_t codePoints(const std::string& utf8) {
    size_t n = 0;
    for (const char c : utf8) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return n;
}

// Appends the lines of one checked address to out.
void format(std::string& out, Format how, const std::string& address, const CliHost& host,
            bool withAddress) {
    const std::string& domain = host.box(ResultBox::txtDomain);
    const std::string& ip = host.box(ResultBox::txtIP);
    const std::string& traffic = host.box(ResultBox::txtTraffic);
    const std::string& country = host.box(ResultBox::txtCountry);
    switch (how) {
        case Format::Tsv:
            for (const std::string* field : {&address, &domain, &ip, &traffic, &country}) {
                if (field != &address) {
                    out += '\t';
                }
                appendTsvField(out, *field);
            }
            out += '\n';
            return;
        case Format::Json:
            out += "{\"address\": " + jsonString(address) + ", \"domain\": " + jsonString(domain) +
                   ", \"ip\": " + jsonString(ip) + ", \"traffic\": " + jsonString(traffic) +
                   ", \"country\": " + jsonString(country) + "}\n";
            return;
        case Format::Text:
            break;
    }
    const std::pair<const char*, const std::string*> rows[] = {{"Адрес", &address},
                                                               {"Доменное имя", &domain},
                                                               {"IP-адрес", &ip},
                                                               {"Тип трафика", &traffic},
                                                               {"Страна", &country}};
    for (size_t i = withAddress ? 0 : 1; i < std::size(rows); ++i) {
        const std::string label = rows[i].first;
        out += label + ":" + std::string(14 - codePoints(label), ' ') + *rows[i].second + '\n';
    }
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

    ConsoleUi ui;
    CliHost host(ui, dataDir, options.noReverse);

    const std::string netsPath = fullName(dataDir, "nets.txt");
    std::string bytes;
    std::string reason;
    if (!readWholeFile(netsPath, bytes, reason)) {
        console::writeErr("netsorter: cannot read " + netsPath + ": " + reason + "\n");
        if (!options.nativeHost.empty()) {
            cli::refuseNativeRequests(netsPath + ": " + reason);
        }
        return 1;
    }
    host.netChecker().add_nets(decodeText(bytes));
    if (!host.geo().openCountriesFile("countries.txt")) {
        console::writeErr("netsorter: warning: cannot read " + fullName(dataDir, "countries.txt") +
                          "; countries will not be shown\n");
    }
    // A batch from standard input is looked up in a memory image of the database: the same
    // answers without a read of the file per level.
    const GeoAccess access =
        options.fromStdin ? GeoAccess::MemoryImage : GeoAccess::PositionedReads;
    if (!host.geo().openDataFile("GeoIP.dat", access)) {
        console::writeErr("netsorter: warning: cannot open " + fullName(dataDir, "GeoIP.dat") +
                          "; countries will not be shown\n");
    }

    if (!options.nativeHost.empty()) {
        return cli::runNativeHost([&](const std::string& address) {
            // A request from outside the window, as from IE; an empty address checks an
            // empty box, not the last one's.
            host.setAddressText(address);
            checkUrl(host, "", true);
            std::string reply;
            format(reply, Format::Json, address, host, false);
            return reply;
        });
    }

    const bool withAddress = options.fromStdin || options.addresses.size() > 1;
    bool first = true;
    std::string out;
    auto check = [&](const std::string& raw) {
        const std::string address = decodeText(raw);
        // As the window's button does: the address goes into the box, then the box is checked.
        host.setAddressText(address);
        checkUrl(host, "", false);
        if (options.format == Format::Text && !first) {
            console::writeOut("\n");
        }
        first = false;
        out.clear();
        format(out, options.format, address, host, withAddress);
        console::writeOut(out);
    };
    for (const std::string& address : options.addresses) {
        check(address);
    }
    if (options.fromStdin) {
        for (std::string line; console::readLine(line);) {
            check(line);
        }
    }
    return 0;
}

}  // namespace
}  // namespace netsorter

int main(int argc, char** argv) {
    try {
        const int status = netsorter::run(netsorter::console::arguments(argc, argv));
        netsorter::console::flushOut();
        return status;
    } catch (const std::exception& e) {
        netsorter::console::writeErr(std::string("netsorter: ") + e.what() + "\n");
        return 1;
    }
}
