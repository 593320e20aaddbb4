#include "cli/output.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "common/json.h"

namespace netsorter::cli {
namespace {

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

// The text format is read on a terminal: a control character (C0, DEL, C1) is shown as an
// escape, so no text can break a row, forge one or drive the terminal; the backslash is
// escaped too, so that every escape reads one way.
void appendShown(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    size_t from = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        auto code = static_cast<unsigned char>(text[at]);
        if (code == 0xC2 && at + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[at + 1]);
            if (next < 0x80 || next > 0x9F) {
                continue;
            }
            code = next;  // U+0080..U+009F
        } else if (code >= 0x20 && code != 0x7F && code != '\\') {
            continue;
        }
        out.append(text, from, at - from);
        switch (code) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += "\\x";
                out += kHex[code >> 4];
                out += kHex[code & 0xF];
        }
        at += code >= 0x80;
        from = at + 1;
    }
    out.append(text, from);
}

size_t codePoints(const std::string& utf8) {
    size_t n = 0;
    for (const char c : utf8) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return n;
}

}  // namespace

void format(std::string& out, Format how, const std::string& address, const CheckResult& result,
            bool withAddress) {
    switch (how) {
        case Format::Tsv:
            for (const std::string* field :
                 {&address, &result.domain, &result.ip, &result.traffic, &result.country}) {
                if (field != &address) {
                    out += '\t';
                }
                appendTsvField(out, *field);
            }
            out += '\n';
            return;
        case Format::Json:
            out += "{\"address\": " + jsonString(address) +
                   ", \"domain\": " + jsonString(result.domain) +
                   ", \"ip\": " + jsonString(result.ip) +
                   ", \"traffic\": " + jsonString(result.traffic) +
                   ", \"country\": " + jsonString(result.country) + "}\n";
            return;
        case Format::Text:
            break;
    }
    const std::pair<const char*, const std::string*> rows[] = {{"Адрес", &address},
                                                               {"Доменное имя", &result.domain},
                                                               {"IP-адрес", &result.ip},
                                                               {"Тип трафика", &result.traffic},
                                                               {"Страна", &result.country}};
    for (size_t i = withAddress ? 0 : 1; i < std::size(rows); ++i) {
        const std::string label = rows[i].first;
        out += label + ":" + std::string(14 - codePoints(label), ' ');
        appendShown(out, *rows[i].second);
        out += '\n';
    }
}

}  // namespace netsorter::cli
