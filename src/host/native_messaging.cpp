#include "host/native_messaging.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <istream>
#include <ostream>

#include "host/json.h"

namespace netsorter::native_messaging {

Frame readFrame(std::istream& in, std::string& message) {
    char prefix[4];
    in.read(prefix, sizeof prefix);
    const std::streamsize got = in.gcount();
    if (got == 0) {
        return Frame::End;
    }
    if (got < static_cast<std::streamsize>(sizeof prefix)) {
        return Frame::Truncated;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, prefix, sizeof length);
    if (length == 0) {
        return Frame::Empty;
    }
    if (length > kMaxMessage) {
        return Frame::TooLong;
    }
    message.resize(length);
    in.read(message.data(), length);
    if (in.gcount() != static_cast<std::streamsize>(length)) {
        return Frame::Truncated;
    }
    return Frame::Message;
}

std::string frame(std::string_view json) {
    const auto length = static_cast<std::uint32_t>(json.size());
    std::string out(sizeof length, '\0');
    std::memcpy(out.data(), &length, sizeof length);
    out.append(json);
    return out;
}

std::string errorAnswer(Error error, const std::string& reason) {
    // The extension's table of texts is keyed by these codes.
    static constexpr const char* kCodes[] = {"bad-request",     "too-long",       "check-failed",
                                             "nets-unreadable", "not-registered", "unreachable",
                                             "refused",         "call-failed"};
    std::string json = std::string("{\"error\":\"") + kCodes[static_cast<int>(error)] + "\"";
    if (!reason.empty()) {
        json += ",\"reason\":" + jsonString(reason);
    }
    return json + "}";
}

bool requestAddress(std::string_view json, std::string& address, std::string& error) {
    const auto members = readJsonObject(json, error);
    if (!members) {
        error = "malformed JSON: " + error;
        return false;
    }
    const JsonMember* found = nullptr;
    for (const JsonMember& member : *members) {
        if (member.name != "address") {
            continue;
        }
        // Two readers of the same text could take different ones.
        if (found != nullptr) {
            error = "\"address\" given twice";
            return false;
        }
        found = &member;
    }
    if (found == nullptr) {
        error = "no \"address\" in the request";
        return false;
    }
    if (!found->text) {
        error = "\"address\" is not a string";
        return false;
    }
    address = *found->text;
    return true;
}

int serve(std::istream& in, std::ostream& out,
          const std::function<std::string(const std::string& address)>& check) {
    auto answer = [&](const std::string& json) {
        const std::string whole = frame(json);
        out.write(whole.data(), static_cast<std::streamsize>(whole.size()));
        out.flush();
    };
    for (;;) {
        std::string message;
        const Frame got = readFrame(in, message);
        if (got == Frame::End) {
            return 0;
        }
        // What is wrong with a request only its sender could mend, and the browser never
        // sends one so: the user learns only that it was refused.
        std::string address;
        std::string malformed;
        if (got != Frame::Message || !requestAddress(message, address, malformed)) {
            answer(errorAnswer(got == Frame::TooLong ? Error::TooLong : Error::BadRequest));
            return 1;
        }
        std::string result;
        try {
            result = check(address);
        } catch (const std::exception& e) {
            result = errorAnswer(Error::CheckFailed, e.what());
        }
        // The browser would drop an answer over its limit and report only that the host
        // went away.
        if (result.size() > kMaxMessage) {
            result = errorAnswer(Error::TooLong);
        }
        answer(result);
        if (!out) {
            return 1;
        }
    }
}

}  // namespace netsorter::native_messaging
