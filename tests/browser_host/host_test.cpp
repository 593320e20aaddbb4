// The native messaging host's reading of what the browser sends: the JSON of a request and
// the frames around it. A link comes from any web page, so every malformed form must end in
// an error answer, never in a wrong address or a crash. The frames the Windows host is sent
// under wine are not repeated here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "browser_host/native_messaging.h"
#include "common/json.h"

namespace netsorter {
namespace {

using namespace std::string_literals;
namespace nm = browser_host;

TEST(RequestAddress, DecodesTheAddressOfAWellFormedRequest) {
    const std::pair<std::string, std::string> rows[] = {
        {" \t\r\n{ \"address\" : \"http://10.1.2.3/x\" } \n", "http://10.1.2.3/x"},
        {R"({"address":"\"\\\/\b\f\n\r\t\u0000"})", "\"\\/\b\f\n\r\t\0"s},
        {R"({"address":"\u0041\u00e9\u0416\u20AC\ud83d\ude00\uD834\uDD1E"})",
         "AéЖ€\xF0\x9F\x98\x80\xF0\x9D\x84\x9E"},
        {"{\"address\":\"http://пример.рф/\xF0\x9F\x98\x80\"}",
         "http://пример.рф/\xF0\x9F\x98\x80"},
        // Other members are read and checked, whatever their kind.
        {R"({"id":-7,"x":[1,2.5e+3,{"address":5}],"t":true,"f":false,"n":null,"address":""})", ""},
    };
    for (const auto& [json, expected] : rows) {
        const Result<std::string> address = nm::requestAddress(json);
        ASSERT_TRUE(address) << json << ": " << address.reason();
        EXPECT_EQ(*address, expected) << json;
    }
}

TEST(RequestAddress, RefusesEverythingElse) {
    const std::string rows[] = {
        // not one object with one string "address"
        "",
        "   ",
        "[\"a\"]",
        "{}",
        R"({"Address":"a"})",
        R"({"address":null})",
        R"({"address":{"a":"b"}})",
        R"({"address":"a","address":"b"})",
        "\xEF\xBB\xBF{\"address\":\"a\"}",
        R"({"address":"a"} x)",
        "{\"address\":\"a\"}\0"s,
        // broken syntax
        R"({"address":"a",})",
        R"({"address":'a'})",
        R"({address:"a"})",
        R"({"address":"a")",
        R"({"address" "a"})",
        R"({"address":"a","a":[1,]})",
        R"({"address":"a","t":tru})",
        R"({"address":"a","n":01})",
        R"({"address":"a","n":1.})",
        R"({"address":"a","n":-})",
        R"({"address":"a","n":1e})",
        R"({"address":"a","n":+1})",
        // strings: raw control characters, bad escapes, lone surrogates, bytes that are not UTF-8
        "{\"address\":\"a\x01\"}",
        R"({"address":"\x41"})",
        R"({"address":"\u12G4"})",
        R"({"address":"\u12"})",
        R"({"address":"\ud83d"})",
        R"({"address":"\ud83d\u0041"})",
        R"({"address":"\ude00\ud83d"})",
        "{\"address\":\"\xFF\"}",
        "{\"address\":\"\xC3\"}",
        "{\"address\":\"\xC0\xAF\"}",
        "{\"address\":\"\xED\xA0\x80\"}",
        "{\"address\":\"\xF4\x90\x80\x80\"}",
        // nesting far beyond the limit must not overflow the stack
        "{\"address\":\"a\",\"a\":" + std::string(200000, '[') + "}",
    };
    for (const std::string& json : rows) {
        const Result<std::string> address = nm::requestAddress(json);
        EXPECT_FALSE(address) << json;
        EXPECT_FALSE(address.reason().empty()) << json;
    }
}

// The answers written to the browser, unframed; the framing itself must hold.
std::vector<std::string> answers(const std::string& written) {
    std::vector<std::string> out;
    for (size_t at = 0; at < written.size();) {
        std::uint32_t length = 0;
        EXPECT_GE(written.size() - at, 4u);
        std::memcpy(&length, written.data() + at, 4);
        EXPECT_GE(written.size() - at - 4, length);
        out.push_back(written.substr(at + 4, length));
        at += 4 + length;
    }
    return out;
}

TEST(Serve, AnswersEachRequestAndEndsAtTheFirstBadFrame) {
    const std::string ok = R"({"ok":true})";
    // The largest request there may be, whose check would answer more than the browser takes.
    std::string largest = R"({"address":"long)";
    largest += std::string(nm::kMaxMessage - largest.size() - 2, 'a') + "\"}";
    struct Row {
        const char* name;
        std::string input;
        std::vector<std::string> expected;
        int status;
    };
    const Row rows[] = {
        {"no message", "", {}, 0},
        {"length cut off",
         nm::frame(R"({"address":"a"})") + "\x05\x00",
         {ok, R"({"error":"bad-request"})"},
         1},
        {"no address", nm::frame(R"({"url":"a"})"), {R"({"error":"bad-request"})"}, 1},
        {"a check that fails",
         nm::frame(R"({"address":"throw"})") + nm::frame(R"({"address":"a"})"),
         {R"({"error":"check-failed","reason":"no \"memory\""})", ok},
         0},
        {"exactly 1 MB", nm::frame(largest), {R"({"error":"too-long"})"}, 0},
    };
    for (const Row& row : rows) {
        std::istringstream in(row.input);
        std::ostringstream out;
        const int status = nm::serve(in, out, [](const std::string& address) {
            if (address == "throw") {
                throw std::runtime_error("no \"memory\"");
            }
            return address.starts_with("long")
                       ? "{\"domain\":" + jsonString(address + address) + "}"
                       : R"({"ok":true})";
        });
        EXPECT_EQ(status, row.status) << row.name;
        EXPECT_EQ(answers(out.str()), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace netsorter
