#include <exception>
#include <new>
#include <system_error>

#include "common/text.h"
#include "resolve/resolver.h"
#include "resolve/sockets.h"

namespace netsorter {
namespace {

std::string dotted(const std::string& bytes) {
    std::string text;
    for (const char b : bytes) {
        if (!text.empty()) {
            text += '.';
        }
        text += std::to_string(static_cast<unsigned char>(b));
    }
    return text;
}

}  // namespace

void mdlNET::reportUnexpected(int number, const std::string& description) {
    ui_.msgBox("Error: " + std::to_string(number) + "\r\n" + description, "Netsorter",
               MsgIcon::Critical, MsgButtons::Ok);
}

// Runs one resolution; a failure nobody expects is shown, never passed on.
template <class Body>
bool mdlNET::guarded(Body&& body) {
    try {
        body();
        return true;
    } catch (const std::bad_alloc&) {
        reportUnexpected(7, "Out of memory");
    } catch (const std::system_error& e) {
        reportUnexpected(e.code().value(), e.what());
    } catch (const std::exception& e) {
        reportUnexpected(51, e.what());
    }
    return false;
}

std::vector<std::string> mdlNET::getIpsByName(const std::string& host) {
    std::vector<std::string> ips;
    const sockets::Session session;
    // No host name holds a NUL: the system would read the name only up to it and answer
    // for another host ("10.0.0.1\0.example.org" as the private 10.0.0.1).
    const bool aName = host.find('\0') == std::string::npos;
    if (session.started() && aName && !guarded([&] {
            for (const std::string& address : sockets::addressesByName(host)) {
                std::string text = dotted(address);
                if (!trimSpaces(text).empty()) {
                    ips.push_back(std::move(text));
                }
                ui_.doEvents();
            }
        })) {
        ips.clear();
    }
    return ips;
}

std::string mdlNET::getNameByIp(const std::string& ip) {
    std::string name;
    const sockets::Session session;
    if (session.started() && !guarded([&] { name = sockets::nameByAddress(ip); })) {
        name.clear();
    }
    return name;
}

}  // namespace netsorter
