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

namespace {

// Each label of the text format with its colon, padded to one column.
enum Row { kAddress, kDomain, kIp, kTraffic, kCountry, kOwner, kLine };
const std::string& label(Row row) {
    static const auto padded = [](std::string_view text) {
        return std::string(text) + ":" + std::string(14 - codePoints(std::string(text)), ' ');
    };
    static const std::string labels[] = {
        padded("Адрес"),  padded("Доменное имя"),  padded("IP-адрес"), padded("Тип трафика"),
        padded("Страна"), padded("Владелец сети"), padded("Строка")};
    return labels[row];
}

// The pieces of a row, each with what comes before it.
void appendTextRow(std::string& out, Row row, std::string_view value) {
    out += label(row);
    appendEscaped(out, value);
    out += '\n';
}

void appendTsvField(std::string& out, std::string_view value) {
    out += '\t';
    // A TSV field can hold neither a tab nor a line end: they become blanks.
    appendEscaped(out, value, true);
}

constexpr const char* kJsonKeys[] = {
    "{\"address\": ", ", \"domain\": ", ", \"ip\": ", ", \"traffic\": ", ", \"country\": "};
void appendJsonMember(std::string& out, Row row, std::string_view value) {
    out += kJsonKeys[row];
    appendJsonString(out, value);
}

// A field after the first, as the format writes it.
void appendField(std::string& out, Format how, Row row, std::string_view value) {
    how == Format::Tsv    ? appendTsvField(out, value)
    : how == Format::Json ? appendJsonMember(out, row, value)
                          : appendTextRow(out, row, value);
}

// The owner's fields up to the network's text: the network follows in TSV and within
// the quotation marks in JSON; without an owner the fields are empty (null in JSON).
void appendOwnerStart(std::string& out, Format how, const std::optional<std::uint32_t>& number,
                      std::string_view organisation, bool found) {
    if (how == Format::Tsv) {
        out += '\t';
        if (number) {
            appendDecimal(out, *number);
        }
        out += '\t';
        if (found) {
            appendEscaped(out, organisation, true);
        }
        out += '\t';
        return;
    }
    out += ", \"as_number\": ";
    if (number) {
        appendDecimal(out, *number);
    } else {
        out += "null";
    }
    out += ", \"as_org\": ";
    if (!organisation.empty()) {
        appendJsonString(out, organisation);
    } else {
        out += "null";
    }
    out += found ? ", \"network\": \"" : ", \"network\": null";
}

void appendEnd(std::string& out, Format how, bool found, std::optional<std::size_t> line) {
    if (how == Format::Json && found) {
        out += '"';
    }
    if (line) {
        out += how == Format::Tsv ? "\t" : how == Format::Json ? ", \"line\": " : label(kLine);
        appendDecimal(out, *line);
        if (how == Format::Text) {
            out += '\n';
        }
    }
    out += how == Format::Tsv ? "\n" : how == Format::Json ? "}\n" : "";
}

}  // namespace

void format(std::string& out, Format how, const std::string& address, const CheckResult& result,
            bool withAddress, std::optional<std::size_t> line) {
    const std::optional<OwnerFound>& owner = result.ownerFound;
    const std::pair<Row, const std::string*> fields[] = {
        {kAddress, &address},        {kDomain, &result.domain},   {kIp, &result.ip},
        {kTraffic, &result.traffic}, {kCountry, &result.country}, {kOwner, &result.owner}};
    if (how == Format::Text) {
        for (const auto& [row, value] : fields) {
            if (row != kAddress || withAddress) {
                appendTextRow(out, row, *value);
            }
        }
        appendEnd(out, how, false, line);
        return;
    }
    for (const auto& [row, value] : fields) {
        if (row == kOwner) {
            break;
        }
        if (how == Format::Tsv && row == kAddress) {
            appendEscaped(out, *value, true);
        } else {
            appendField(out, how, row, *value);
        }
    }
    appendOwnerStart(out, how, owner ? owner->asNumber : std::nullopt,
                     owner ? std::string_view(owner->organisation) : std::string_view(),
                     owner.has_value());
    if (owner) {
        // A network's text is digits, dots, colons and a slash: nothing to escape.
        out += owner->network;
    }
    appendEnd(out, how, owner.has_value(), line);
}

const std::string& PlainRows::traffic(const std::string& text) {
    std::string& piece = traffic_[&text];
    if (piece.empty()) {
        appendField(piece, how_, kTraffic, text);
    }
    return piece;
}

const std::string& PlainRows::country(std::uint32_t slot, const std::string& text) {
    if (slot >= countries_.size()) {
        countries_.resize(slot + 1);
    }
    std::string& piece = countries_[slot];
    if (piece.empty()) {
        appendField(piece, how_, kCountry, text);
    }
    return piece;
}

// Owners are many, each seen seldom: their fields are written as they come.
void PlainRows::appendOwner(std::string& out, const OwnerAnswer* owner) {
    if (how_ != Format::Text) {
        appendOwnerStart(out, how_, owner ? owner->asNumber : std::nullopt,
                         owner ? owner->organisation : std::string_view(), owner != nullptr);
        if (owner) {
            owner->appendNetworkText(out);
        }
        return;
    }
    ownerText_.clear();
    if (owner) {
        appendOwnerText(ownerText_, owner->asNumber, owner->organisation);
    } else {
        ownerText_ = kOwnerUnknown;
    }
    appendTextRow(out, kOwner, ownerText_);
}

PlainRows::PlainRows(Format how, bool withAddress) : how_(how), withAddress_(withAddress) {
    // What stands between the address and its text again, the same on every row.
    switch (how_) {
        case Format::Tsv:
            appendTsvField(afterAddress_, kNotChecked);
            afterAddress_ += '\t';
            break;
        case Format::Json:
            afterAddress_ = '"';
            appendJsonMember(afterAddress_, kDomain, kNotChecked);
            afterAddress_ += kJsonKeys[kIp];
            afterAddress_ += '"';
            break;
        case Format::Text:
            afterAddress_ = '\n';
            appendTextRow(afterAddress_, kDomain, kNotChecked);
            afterAddress_ += label(kIp);
            break;
    }
}

void PlainRows::append(std::string& out, std::string_view address, const PlainAnswer& answer,
                       std::optional<std::size_t> line, bool first) {
    // A plain address holds nothing any format escapes.
    if (how_ == Format::Text && !first) {
        out += '\n';
    }
    if (how_ == Format::Text && !withAddress_) {
        out.append(afterAddress_, 1);  // from the domain's row on
    } else {
        if (how_ == Format::Json) {
            out += kJsonKeys[kAddress];
            out += '"';
        } else if (how_ == Format::Text) {
            out += label(kAddress);
        }
        out += address;
        out += afterAddress_;
    }
    out += address;
    if (how_ != Format::Tsv) {
        out += how_ == Format::Json ? '"' : '\n';
    }
    out += traffic(*answer.traffic);
    out += country(answer.countrySlot, *answer.country);
    appendOwner(out, answer.owner ? &*answer.owner : nullptr);
    appendEnd(out, how_, answer.owner.has_value() && how_ != Format::Text, line);
}

}  // namespace netsorter::cli
