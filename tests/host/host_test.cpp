// The native messaging host's reading of what the browser sends: the JSON of a request and
// the frames around it. A link comes from any web page, so every malformed form must end in
// an error answer, never in a wrong address or a crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/json.h"
#include "host/native_messaging.h"

namespace netsorter {
namespace {

using namespace std::string_literals;
namespace nm = native_messaging;

TEST(RequestAddress, DecodesTheAddressOfAWellFormedRequest) {
    struct Row {
        std::string json;
        std::string address;
    };
    const Row rows[] = {
        {R"({"address":"http://10.1.2.3/x"})", "http://10.1.2.3/x"},
        {" \t\r\n{ \"address\" : \"a\" } \n", "a"},
        {R"({"address":""})", ""},
        {R"({"address":"\"\\\/\b\f\n\r\t"})", "\"\\/\b\f\n\r\t"},
        {R"({"address":"\u0041\u00e9\u0416\u20AC"})", "AéЖ€"},
        {R"({"address":"\ud83d\ude00 \uD834\uDD1E"})", "\xF0\x9F\x98\x80 \xF0\x9D\x84\x9E"},
        {R"({"address":"\u0000x"})", "\0x"s},
        {"{\"address\":\"http://пример.рф/\xF0\x9F\x98\x80\"}",
         "http://пример.рф/\xF0\x9F\x98\x80"},
        // Other members are read and checked, whatever their kind.
        {R"({"id":7,"address":"a","x":[1,-2.5e+3,{"y":null}],"t":true,"f":false,"s":"\u00e9"})",
         "a"},
        {R"({"nested":{"address":5},"address":"top"})", "top"},
    };
    for (const Row& row : rows) {
        std::string address;
        std::string error;
        EXPECT_TRUE(nm::requestAddress(row.json, address, error)) << row.json << ": " << error;
        EXPECT_EQ(address, row.address) << row.json;
    }
}

TEST(RequestAddress, RefusesEverythingElse) {
    const std::string deep = std::string(200000, '[');
    const std::string rows[] = {
        "",
        "   ",
        "\xEF\xBB\xBF{\"address\":\"a\"}",  // a byte-order mark
        "[\"a\"]",
        "\"address\"",
        "{}",
        R"({"Address":"a"})",
        R"({"address":5})",
        R"({"address":null})",
        R"({"address":["a"]})",
        R"({"address":{"a":"b"}})",
        R"({"address":"a","address":"b"})",
        R"({"address":"a"} x)",
        R"({"address":"a"}{})",
        R"({"address":"a",})",
        R"({"address":'a'})",
        R"({address:"a"})",
        R"({"address":"a")",
        R"({"address":"a)",
        R"({"address" "a"})",
        "{\"address\":\"a\tb\"}",  // a raw control character
        "{\"address\":\"a\x01\"}",
        R"({"address":"\x41"})",
        R"({"address":"\u12"})",
        R"({"address":"\u12G4"})",
        R"({"address":"\ud83d"})",  // a high surrogate alone
        R"({"address":"\ud83dx"})",
        R"({"address":"\ud83d\u0041"})",  // followed by no low one
        R"({"address":"\ude00"})",        // a low surrogate alone
        R"({"address":"\ude00\ud83d"})",
        "{\"address\":\"\xFF\"}",              // not UTF-8
        "{\"address\":\"\xC3\"}",              // cut-off UTF-8
        "{\"address\":\"\xC0\xAF\"}",          // an overlong form
        "{\"address\":\"\xED\xA0\x80\"}",      // an encoded surrogate
        "{\"address\":\"\xF4\x90\x80\x80\"}",  // beyond U+10FFFF
        R"({"address":"a","n":01})",
        R"({"address":"a","n":-})",
        R"({"address":"a","n":1.})",
        R"({"address":"a","n":1e})",
        R"({"address":"a","n":+1})",
        R"({"address":"a","n":.5})",
        R"({"address":"a","n":NaN})",
        R"({"address":"a","t":tru})",
        R"({"address":"a","a":[1,]})",
        R"({"address":"a","a":[1 2]})",
        "{\"address\":\"a\",\"a\":" + deep + "}",  // deeper than the limit: no stack overflow
        "{\"address\":\"a\"}\0"s,
    };
    for (const std::string& json : rows) {
        std::string address = "unchanged";
        std::string error;
        EXPECT_FALSE(nm::requestAddress(json, address, error)) << json;
        EXPECT_FALSE(error.empty()) << json;
        EXPECT_EQ(address, "unchanged") << json;
    }
}

TEST(RequestAddress, NestingUpToTheLimitIsRead) {
    std::string nested = "1";
    for (int depth = 1; depth < kMaxJsonDepth; ++depth) {
        nested = "[" + nested + "]";
    }
    std::string address;
    std::string error;
    EXPECT_TRUE(nm::requestAddress("{\"a\":" + nested + ",\"address\":\"x\"}", address, error))
        << error;
    EXPECT_EQ(address, "x");
}

std::string frameOfLength(std::uint32_t length, const std::string& body) {
    std::string out(4, '\0');
    std::memcpy(out.data(), &length, 4);
    return out + body;
}

// The answers written to the browser, unframed; the framing itself must hold.
std::vector<std::string> answers(const std::string& written) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < written.size()) {
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
    const std::string good = nm::frame(R"({"address":"http://10.1.2.3/x"})");
    const std::string other = nm::frame(R"({"address":"b"})");
    struct Row {
        const char* name;
        std::string input;
        std::vector<std::string> expected;
        int status;
    };
    const std::string ok = R"({"checked":"http://10.1.2.3/x"})";
    const Row rows[] = {
        {"no message", "", {}, 0},
        {"one", good, {ok}, 0},
        {"two in a row", good + other, {ok, R"({"checked":"b"})"}, 0},
        {"empty", frameOfLength(0, "") + good, {R"({"error":"empty message"})"}, 1},
        {"over 1 MB",
         frameOfLength(nm::kMaxMessage + 1, std::string(100, 'x')),
         {R"({"error":"message longer than 1 MB"})"},
         1},
        {"length cut off", good + "\x05\x00", {ok, R"({"error":"message cut off"})"}, 1},
        {"body cut off",
         frameOfLength(40, R"({"address":"a"})"),
         {R"({"error":"message cut off"})"},
         1},
        {"not a string",
         nm::frame(R"({"address":1})") + good,
         {R"({"error":"\"address\" is not a string"})"},
         1},
        {"no address",
         nm::frame(R"({"url":"a"})"),
         {R"({"error":"no \"address\" in the request"})"},
         1},
    };
    for (const Row& row : rows) {
        std::istringstream in(row.input);
        std::ostringstream out;
        const int status = nm::serve(in, out, [](const std::string& address) {
            return "{\"checked\":" + jsonString(address) + "}";
        });
        EXPECT_EQ(status, row.status) << row.name;
        EXPECT_EQ(answers(out.str()), row.expected) << row.name;
    }
}

TEST(Serve, ReadsAMessageOfExactly1MbAndRefusesAnAnswerOverIt) {
    std::string json = R"({"address":")";
    json += std::string(nm::kMaxMessage - json.size() - 2, 'a') + "\"}";
    ASSERT_EQ(json.size(), nm::kMaxMessage);
    std::istringstream in(nm::frame(json));
    std::ostringstream out;
    size_t seen = 0;
    // An answer that echoes the address in full, as a check's domain may, is too long.
    const int status = nm::serve(in, out, [&](const std::string& address) {
        seen = address.size();
        return "{\"domain\":" + jsonString(address + address) + "}";
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(seen, nm::kMaxMessage - 14);
    EXPECT_EQ(answers(out.str()),
              std::vector<std::string>{R"({"error":"answer longer than 1 MB"})"});
}

TEST(Serve, AFailedCheckIsAnsweredAndTheNextRequestServed) {
    std::istringstream in(nm::frame(R"({"address":"a"})") + nm::frame(R"({"address":"b"})"));
    std::ostringstream out;
    const int status = nm::serve(in, out, [](const std::string& address) -> std::string {
        if (address == "a") {
            throw std::runtime_error("no memory");
        }
        return R"({"ok":true})";
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(
        answers(out.str()),
        (std::vector<std::string>{R"({"error":"the check failed: no memory"})", R"({"ok":true})"}));
}

TEST(JsonString, QuotesWhatJsonCannotHoldBareAndKeepsUtf8) {
    EXPECT_EQ(jsonString("a\"b\\c\n\r\t\x01\x1f/Ж"), R"("a\"b\\c\n\r\t\u0001\u001f/Ж")");
    // Whatever it quotes reads back the same.
    const std::string text = "\"\\\x01\x7f Ж \xF0\x9F\x98\x80 \b\f";
    std::string address;
    std::string error;
    ASSERT_TRUE(nm::requestAddress("{\"address\":" + jsonString(text) + "}", address, error));
    EXPECT_EQ(address, text);
}

}  // namespace
}  // namespace netsorter
