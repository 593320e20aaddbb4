// The little JSON the browsers and the program exchange: a strict reader of one object (a
// request from the browser comes from a web page's link, so nothing in it is trusted) and
// the quoting of a text for the answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/problem.h"

namespace netsorter {

// One member of an object. text holds a string value decoded to UTF-8; members of other
// kinds are read and checked, but have no text.
struct JsonMember {
    std::string name;
    std::optional<std::string> text;
};

// Reads a text that must be exactly one JSON object (RFC 8259: no comments, no trailing
// commas, no byte-order mark, valid UTF-8, escapes with paired surrogates, nesting at most
// kMaxJsonDepth deep); the members, or why the text is none.
inline constexpr int kMaxJsonDepth = 64;
Result<std::vector<JsonMember>> readJsonObject(std::string_view json);

// A UTF-8 text as a JSON string literal, quotation marks included.
std::string jsonString(const std::string& text);
void appendJsonString(std::string& out, std::string_view text);

}  // namespace netsorter
