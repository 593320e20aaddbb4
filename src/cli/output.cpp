#include "cli/output.h"

#include <cstdint>
#include <iterator>
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
    const auto appendNumber = [&out](std::uint64_t n) {
        char digits[20];
        char* end = std::end(digits);
        char* at = end;
        do {
            *--at = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        out.append(at, end);
    };
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
                appendNumber(*owner->asNumber);
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
                out += '\t';
                appendNumber(*line);
            }
            out += '\n';
            return;
        case Format::Json: {
            const std::pair<const char*, const std::string*> fields[] = {
                {"{\"address\": ", &address},
                {", \"domain\": ", &result.domain},
                {", \"ip\": ", &result.ip},
                {", \"traffic\": ", &result.traffic},
                {", \"country\": ", &result.country}};
            for (const auto& [key, value] : fields) {
                out += key;
                appendJsonString(out, *value);
            }
            out += ", \"as_number\": ";
            if (owner && owner->asNumber) {
                appendNumber(*owner->asNumber);
            } else {
                out += "null";
            }
            out += ", \"as_org\": ";
            if (owner && !owner->organisation.empty()) {
                appendJsonString(out, owner->organisation);
            } else {
                out += "null";
            }
            out += ", \"network\": ";
            if (owner) {
                appendJsonString(out, owner->network);
            } else {
                out += "null";
            }
            if (line) {
                out += ", \"line\": ";
                appendNumber(*line);
            }
            out += "}\n";
            return;
        }
        case Format::Text:
            break;
    }
    // Each label with its colon, padded to one column.
    static const auto padded = [](std::string_view label) {
        return std::string(label) + ":" + std::string(14 - codePoints(std::string(label)), ' ');
    };
    static const std::string labels[] = {
        padded("Адрес"),  padded("Доменное имя"),  padded("IP-адрес"), padded("Тип трафика"),
        padded("Страна"), padded("Владелец сети"), padded("Строка")};
    const std::string* const values[] = {&address,        &result.domain,  &result.ip,
                                         &result.traffic, &result.country, &result.owner};
    for (size_t i = withAddress ? 0 : 1; i < std::size(values); ++i) {
        out += labels[i];
        appendEscaped(out, *values[i]);
        out += '\n';
    }
    if (line) {
        out += labels[6];
        appendNumber(*line);
        out += '\n';
    }
}

}  // namespace netsorter::cli
