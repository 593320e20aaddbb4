// countries.txt of any bytes: what the table answers against the file's lines read by
// their rules (first entry of a key wins, case folded; a line without a tab or with a key
// already there asks; No ends the load). The input's last byte names the prompt answered
// No (0: none); the rest is the file.
#include <map>
#include <optional>
#include <set>
#include <string>

#include "common/text.h"
#include "fake_ui.h"
#include "fuzz_support.h"
#include "geo/geo.h"
#include "geo_databases.h"
#include "temp_dir.h"

namespace netsorter::fuzz {
namespace {

constexpr std::size_t kMaxIndicesAsked = 32;

const testing::TempDir& scratch() {
    static const testing::TempDir dir;
    static const bool written = (dir.write("GeoIP.dat", testing::octetDatabase()), true);
    expect(written, "the database is written");
    return dir;
}

// The country index a key names, in whatever form: its digits read as a number.
std::optional<int> indexNamed(std::string_view key) {
    int n = 0;
    bool any = false;
    for (const char c : key) {
        if (c >= '0' && c <= '9' && n < 1000) {
            n = n * 10 + (c - '0');
            any = true;
        }
    }
    return any && n >= 1 && n <= 255 ? std::optional<int>(n) : std::nullopt;
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    if (size == 0) {
        return 0;
    }
    const std::size_t refuseAt = data[size - 1];
    const std::string file(asText(data, size - 1));
    const testing::TempDir& dir = scratch();
    dir.write("countries.txt", file);

    // The file by its rules.
    std::map<std::string, std::string> table;  // folded key to description
    std::set<int> asked;
    std::size_t prompts = 0;
    bool refused = false;
    // A file in an encoding refused is no table, and asks nothing.
    const Result<std::string> text = decodeDataFile(file);
    refused = !text;
    forEachLine(text ? *text : std::string(), [&](std::string_view line) {
        if (refused || line.empty() || line[0] == '#') {
            return;
        }
        const std::size_t tab = line.find('\t');
        const std::string_view key = line.substr(0, tab);
        if (const auto index = indexNamed(key); index && asked.size() < kMaxIndicesAsked) {
            asked.insert(*index);
        }
        if (tab == std::string_view::npos ||
            !table.emplace(foldCase(key), line.substr(tab + 1)).second) {
            refused = ++prompts == refuseAt;
        }
    });

    testing::FakeUi ui;
    for (std::size_t i = 1; i < refuseAt; ++i) {
        ui.answers.push_back(true);
    }
    if (refuseAt > 0) {
        ui.answers.push_back(false);
    }
    clsGeo geo;
    const bool loaded = geo.openCountriesFile(dir.file("countries.txt"), ui.ask(), ui.yield()).ok();
    expect(loaded == !refused && geo.CountriesIsOK() == loaded, "the load's result");
    expect(ui.shown.size() == prompts,
           "prompts: " + std::to_string(ui.shown.size()) + ", expected " + std::to_string(prompts));
    expect(geo.openDataFile(dir.file("GeoIP.dat")).ok(), "the database opens");
    for (const int index : asked) {
        const CountryLookup found = geo.getCountryByIP(std::to_string(index) + ".0.0.1");
        const auto entry = table.find(std::to_string(index));
        const bool expected = loaded && entry != table.end();
        expect(found.found == expected, "lookup of index " + std::to_string(index));
        expectEqual("description of index " + std::to_string(index), std::string(found.description),
                    expected ? entry->second : "");
    }
    return 0;
}
