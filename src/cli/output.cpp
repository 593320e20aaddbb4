#include "cli/output.h"

#include <string_view>
#include <utility>

#include "common/json.h"
#include "common/text.h"

namespace netsorter::cli {
namespace {

size_t codePoints(const std::string& utf8) {
    size_t n = 0;
    for (const char c : utf8) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return n;
}

}  // namespace

void format(std::string& out, Format how, const std::string& address, const CheckResult& result,
            bool withAddress, std::optional<std::size_t> line) {
    const std::optional<OwnerFound>& owner = result.ownerFound;
    switch (how) {
        case Format::Tsv:
            for (const std::string* field :
                 {&address, &result.domain, &result.ip, &result.traffic, &result.country}) {
                if (field != &address) {
                    out += '\t';
                }
                // A TSV field can hold neither a tab nor a line end: they become blanks.
                appendEscaped(out, *field, true);
            }
            // Without an owner the three fields are empty.
            out += '\t';
            if (owner && owner->asNumber) {
                out += std::to_string(*owner->asNumber);
            }
            out += '\t';
            if (owner) {
                appendEscaped(out, owner->organisation, true);
            }
            out += '\t';
            if (owner) {
                out += owner->network;
            }
            if (line) {
                out += '\t' + std::to_string(*line);
            }
            out += '\n';
            return;
        case Format::Json:
            out +=
                "{\"address\": " + jsonString(address) +
                ", \"domain\": " + jsonString(result.domain) +
                ", \"ip\": " + jsonString(result.ip) +
                ", \"traffic\": " + jsonString(result.traffic) +
                ", \"country\": " + jsonString(result.country) + ", \"as_number\": " +
                (owner && owner->asNumber ? std::to_string(*owner->asNumber) : "null") +
                ", \"as_org\": " +
                (owner && !owner->organisation.empty() ? jsonString(owner->organisation) : "null") +
                ", \"network\": " + (owner ? jsonString(owner->network) : "null") +
                (line ? ", \"line\": " + std::to_string(*line) : "") + "}\n";
            return;
        case Format::Text:
            break;
    }
    const std::pair<const char*, const std::string*> rows[] = {
        {"Адрес", &address},         {"Доменное имя", &result.domain},
        {"IP-адрес", &result.ip},    {"Тип трафика", &result.traffic},
        {"Страна", &result.country}, {"Владелец сети", &result.owner}};
    for (size_t i = withAddress ? 0 : 1; i < std::size(rows); ++i) {
        const std::string label = rows[i].first;
        out += label + ":" + std::string(14 - codePoints(label), ' ');
        appendEscaped(out, *rows[i].second);
        out += '\n';
    }
    if (line) {
        out += "Строка:        " + std::to_string(*line) + "\n";
    }
}

}  // namespace netsorter::cli
