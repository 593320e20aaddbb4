// What a browser (or a web page, through a link) can send the native messaging host: the
// input read as one request's JSON and as a stream of frames. Every answer is one frame of
// well-formed JSON within the browser's limit; the stream ends with an error answer exactly
// when it ends badly; a text read from a request is written back and read again unchanged.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "browser_host/native_messaging.h"
#include "common/json.h"
#include "common/text.h"
#include "fuzz_support.h"

namespace netsorter::fuzz {
namespace {

namespace nm = browser_host;

void expectTextsSurviveWriting(const std::vector<JsonMember>& members) {
    for (const JsonMember& m : members) {
        const std::string json =
            "{" + jsonString(m.name) + ":" + (m.text ? jsonString(*m.text) : "null") + "}";
        const auto again = readJsonObject(json);
        expect(again && again->size() == 1, "written back, not read again: " + again.reason());
        expectEqual("name read again", again->front().name, m.name);
        expect(again->front().text == m.text, "text read again");
    }
}

// The frames of what the host wrote; each must be whole.
std::vector<std::string> answers(const std::string& written) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < written.size();) {
        std::uint32_t length = 0;
        expect(written.size() - at >= 4, "a cut-off length");
        std::memcpy(&length, written.data() + at, 4);
        expect(length <= nm::kMaxMessage && written.size() - at - 4 >= length, "a bad frame");
        out.push_back(written.substr(at + 4, length));
        at += 4 + length;
    }
    return out;
}

}  // namespace
}  // namespace netsorter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string_view input = asText(data, size);

    if (const auto members = readJsonObject(input)) {
        expectTextsSurviveWriting(*members);
        if (const Result<std::string> address = nm::requestAddress(input)) {
            expect(isValidUtf8(*address), "an address that is not UTF-8");
        }
    } else {
        expect(!members.reason().empty(), "refused without a reason");
    }

    std::istringstream in{std::string(input)};
    std::ostringstream out;
    std::size_t checks = 0;
    const int status = nm::serve(in, out, [&](const std::string& address) {
        ++checks;
        return "{\"address\":" + jsonString(address) + "}";
    });
    const std::vector<std::string> sent = answers(out.str());
    for (const std::string& answer : sent) {
        const auto read = readJsonObject(answer);
        expect(read.ok(), "an answer that is not JSON: " + read.reason());
    }
    expect(status == 0 || status == 1, "status");
    expect(sent.size() == checks + status, "answers: " + std::to_string(sent.size()) + " for " +
                                               std::to_string(checks) + " checks");
    if (status == 1) {
        expect(sent.back().starts_with("{\"error\":"), "a bad end without an error answer");
    }
    return 0;
}
