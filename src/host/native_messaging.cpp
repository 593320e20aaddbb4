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

std::string errorAnswer(const std::string& text) {
    return "{\"error\":" + jsonString(text) + "}";
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
        std::string error;
        switch (readFrame(in, message)) {
            case Frame::End:
                return 0;
            case Frame::Empty:
                error = "empty message";
                break;
            case Frame::TooLong:
                error = "message longer than 1 MB";
                break;
            case Frame::Truncated:
                error = "message cut off";
                break;
            case Frame::Message:
                break;
        }
        std::string address;
        if (error.empty() && requestAddress(message, address, error)) {
            std::string result;
            try {
                result = check(address);
            } catch (const std::exception& e) {
                result = errorAnswer(std::string("the check failed: ") + e.what());
            }
            // The browser would drop an answer over its limit and report only that the
            // host went away.
            if (result.size() > kMaxMessage) {
                result = errorAnswer("answer longer than 1 MB");
            }
            answer(result);
            if (!out) {
                return 1;
            }
            continue;
        }
        answer(errorAnswer(error));
        return 1;
    }
}

}  // namespace netsorter::native_messaging
