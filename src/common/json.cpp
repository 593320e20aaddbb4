#include "common/json.h"

#include "common/text.h"

namespace netsorter {
namespace {

// A recursive descent over the text. Every read checks the end first; failures set error
// and unwind through false.
class Reader {
  public:
    Reader(std::string_view text, std::string& error) : text_(text), error_(error) {}

    std::optional<std::vector<JsonMember>> document() {
        std::vector<JsonMember> members;
        if (!isValidUtf8(text_)) {
            error_ = "invalid UTF-8";
            return std::nullopt;
        }
        skipSpace();
        if (!more()) {
            fail("empty JSON text");
            return std::nullopt;
        }
        if (peek() != '{') {
            fail("the request is not a JSON object");
            return std::nullopt;
        }
        if (!object(1, &members)) {
            return std::nullopt;
        }
        skipSpace();
        if (more()) {
            fail("text after the JSON object");
            return std::nullopt;
        }
        return members;
    }

  private:
    std::string_view text_;
    std::string& error_;
    size_t at_ = 0;

    bool fail(const std::string& what) {
        error_ = what + " at byte " + std::to_string(at_);
        return false;
    }

    bool more() const { return at_ < text_.size(); }
    char peek() const { return text_[at_]; }

    void skipSpace() {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++at_;
        }
    }

    bool expect(char c) {
        if (!more() || peek() != c) {
            return fail(std::string("expected '") + c + "'");
        }
        ++at_;
        return true;
    }

    // The items of an object or an array, separated by commas, up to close; item reads one.
    template <class Item>
    bool items(int depth, char close, Item item) {
        if (depth > kMaxJsonDepth) {
            return fail("JSON nested too deep");
        }
        ++at_;  // the opening bracket
        skipSpace();
        if (more() && peek() == close) {
            ++at_;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!item()) {
                return false;
            }
            skipSpace();
            if (more() && peek() == ',') {
                ++at_;
                continue;
            }
            return expect(close);
        }
    }

    // members is null for nested objects, whose contents are only checked.
    bool object(int depth, std::vector<JsonMember>* members) {
        return items(depth, '}', [&] {
            std::string name;
            if (!more() || peek() != '"') {
                return fail("expected a member name");
            }
            if (!string(name)) {
                return false;
            }
            skipSpace();
            if (!expect(':')) {
                return false;
            }
            skipSpace();
            std::optional<std::string> text;
            if (more() && peek() == '"') {
                text.emplace();
                if (!string(*text)) {
                    return false;
                }
            } else if (!value(depth)) {
                return false;
            }
            if (members != nullptr) {
                members->push_back({std::move(name), std::move(text)});
            }
            return true;
        });
    }

    bool array(int depth) {
        return items(depth, ']', [&] { return value(depth); });
    }

    // Any value but a member's string, which the caller reads itself; depth is that of the
    // enclosing object or array.
    bool value(int depth) {
        if (!more()) {
            return fail("expected a value");
        }
        switch (peek()) {
            case '{':
                return object(depth + 1, nullptr);
            case '[':
                return array(depth + 1);
            case '"': {
                std::string ignored;
                return string(ignored);
            }
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
        }
    }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return fail("expected a value");
        }
        at_ += word.size();
        return true;
    }

    bool digits() {
        const size_t start = at_;
        while (more() && peek() >= '0' && peek() <= '9') {
            ++at_;
        }
        return at_ > start;
    }

    bool number() {
        if (more() && peek() == '-') {
            ++at_;
        }
        if (more() && peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return fail("expected a value");
        }
        if (more() && peek() == '.') {
            ++at_;
            if (!digits()) {
                return fail("expected digits after the decimal point");
            }
        }
        if (more() && (peek() == 'e' || peek() == 'E')) {
            ++at_;
            if (more() && (peek() == '+' || peek() == '-')) {
                ++at_;
            }
            if (!digits()) {
                return fail("expected digits in the exponent");
            }
        }
        return true;
    }

    bool hex4(char32_t& unit) {
        if (text_.size() - at_ < 4) {
            return fail("cut-off \\u escape");
        }
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            unit <<= 4;
            if (c >= '0' && c <= '9') {
                unit |= static_cast<char32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                unit |= static_cast<char32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                unit |= static_cast<char32_t>(c - 'A' + 10);
            } else {
                --at_;
                return fail("bad hex digit in a \\u escape");
            }
        }
        return true;
    }

    bool escape(std::string& out) {
        if (!more()) {
            return fail("unterminated string");
        }
        const char c = text_[at_++];
        switch (c) {
            case '"':
                out += '"';
                return true;
            case '\\':
                out += '\\';
                return true;
            case '/':
                out += '/';
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                --at_;
                return fail("unknown escape");
        }
        char32_t unit = 0;
        if (!hex4(unit)) {
            return false;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return fail("low surrogate without a high one");
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") {
                return fail("high surrogate without a low one");
            }
            at_ += 2;
            if (!hex4(low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail("high surrogate without a low one");
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, unit);
        return true;
    }

    bool string(std::string& out) {
        ++at_;  // '"'
        for (;;) {
            if (!more()) {
                return fail("unterminated string");
            }
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                ++at_;
                if (!escape(out)) {
                    return false;
                }
            } else if (c < 0x20) {
                return fail("control character in a string");
            } else {
                out += static_cast<char>(c);  // the whole text is valid UTF-8
                ++at_;
            }
        }
    }
};

}  // namespace

Result<std::vector<JsonMember>> readJsonObject(std::string_view json) {
    std::string error;
    std::optional<std::vector<JsonMember>> members = Reader(json, error).document();
    if (!members) {
        return Status::failure(std::move(error));
    }
    return std::move(*members);
}

std::string jsonString(const std::string& text) {
    std::string out;
    appendJsonString(out, text);
    return out;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t from = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.append(text, from, at - from);
        from = at + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                static constexpr char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
        }
    }
    out.append(text, from);
    out += '"';
}

}  // namespace netsorter
