#include "browser_host/native_messaging.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <istream>
#include <ostream>

#include "common/json.h"

namespace netsorter::browser_host {

Frame readFrame(const ReadBytes& read, std::string& message) {
    char prefix[4];
    const std::size_t got = read(prefix, sizeof prefix);
    if (got == 0) {
        return Frame::End;
    }
    if (got < sizeof prefix) {
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
    if (read(message.data(), length) != length) {
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

Result<std::string> requestAddress(std::string_view json) {
    const Result<std::vector<JsonMember>> members = readJsonObject(json);
    if (!members) {
        return Status::failure("malformed JSON: " + members.reason());
    }
    const JsonMember* found = nullptr;
    for (const JsonMember& member : *members) {
        if (member.name != "address") {
            continue;
        }
        // Two readers of the same text could take different ones.
        if (found != nullptr) {
            return Status::failure("\"address\" given twice");
        }
        found = &member;
    }
    if (found == nullptr) {
        return Status::failure("no \"address\" in the request");
    }
    if (!found->text) {
        return Status::failure("\"address\" is not a string");
    }
    return *found->text;
}

int serve(const ReadBytes& read, const WriteBytes& write, const Check& check) {
    for (;;) {
        std::string message;
        const Frame got = readFrame(read, message);
        if (got == Frame::End) {
            return 0;
        }
        // What is wrong with a request only its sender could mend, and the browser never
        // sends one so: the user learns only that it was refused.
        const Result<std::string> address =
            got == Frame::Message ? requestAddress(message) : Status::failure("no message");
        if (!address) {
            write(frame(errorAnswer(got == Frame::TooLong ? Error::TooLong : Error::BadRequest)));
            return 1;
        }
        std::string result;
        try {
            result = check(*address);
        } catch (const std::exception& e) {
            result = errorAnswer(Error::CheckFailed, e.what());
        }
        // The browser would drop an answer over its limit and report only that the host
        // went away.
        if (result.size() > kMaxMessage) {
            result = errorAnswer(Error::TooLong);
        }
        if (!write(frame(result))) {
            return 1;
        }
    }
}

int serve(std::istream& in, std::ostream& out, const Check& check) {
    const auto read = [&](char* buffer, std::size_t size) {
        in.read(buffer, static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(in.gcount());
    };
    const auto write = [&](std::string_view bytes) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out.flush());
    };
    return serve(read, write, check);
}

}  // namespace netsorter::browser_host
