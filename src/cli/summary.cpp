#include "cli/summary.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/json.h"
#include "common/text.h"

namespace netsorter::cli {
namespace {

using Counts = std::unordered_map<std::string, std::uint64_t>;

std::vector<std::pair<std::string, std::uint64_t>> sorted(const Counts& counts) {
    std::vector<std::pair<std::string, std::uint64_t>> rows(counts.begin(), counts.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    return rows;
}

}  // namespace

void Summary::add(const CheckResult& result) {
    ++traffic_[result.traffic];
    ++country_[result.country];
    ++owner_[result.owner];
    ++total_;
}

void Summary::merge(const Summary& other) {
    for (const auto& [mine, theirs] : {std::pair{&traffic_, &other.traffic_},
                                       {&country_, &other.country_},
                                       {&owner_, &other.owner_}}) {
        for (const auto& [name, count] : *theirs) {
            (*mine)[name] += count;
        }
    }
    total_ += other.total_;
}

std::string Summary::format(Format how) const {
    const std::pair<const char*, const Counts*> groups[] = {
        {"traffic", &traffic_}, {"country", &country_}, {"owner", &owner_}};
    const char* const titles[] = {"Тип трафика", "Страна", "Владелец сети"};
    std::string out;
    switch (how) {
        case Format::Tsv:
            for (const auto& [group, counts] : groups) {
                for (const auto& [name, count] : sorted(*counts)) {
                    out += std::string(group) + '\t';
                    appendEscaped(out, name, true);
                    out += '\t' + std::to_string(count) + '\n';
                }
            }
            out += "total\taddresses\t" + std::to_string(total_) + '\n';
            return out;
        case Format::Json:
            out += '{';
            for (const auto& [group, counts] : groups) {
                out += std::string("\"") + group + "\": {";
                bool first = true;
                for (const auto& [name, count] : sorted(*counts)) {
                    out += (first ? "" : ", ") + jsonString(name) + ": " + std::to_string(count);
                    first = false;
                }
                out += "}, ";
            }
            out += "\"total\": " + std::to_string(total_) + "}\n";
            return out;
        case Format::Text:
            break;
    }
    for (std::size_t g = 0; g < std::size(groups); ++g) {
        out += std::string(titles[g]) + ":\n";
        for (const auto& [name, count] : sorted(*groups[g].second)) {
            const std::string number = std::to_string(count);
            out += std::string(number.size() < 12 ? 12 - number.size() : 0, ' ') + number + "  ";
            appendEscaped(out, name);
            out += '\n';
        }
    }
    out += "Всего адресов: " + std::to_string(total_) + '\n';
    return out;
}

}  // namespace netsorter::cli
