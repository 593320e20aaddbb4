#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "resolve/idn.h"
#include "resolve/resolver.h"
#include "resolve/sockets.h"

namespace netsorter {
namespace {

Problem unexpected(int number, const std::string& description) {
    return {Problem::Kind::Failure,
            Problem::Subject::Resolver,
            {},
            {"Error: " + std::to_string(number), description}};
}

// Runs one resolution; a failure nobody expects is answered, never thrown on.
template <class Body>
std::optional<Problem> guarded(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return unexpected(7, "Out of memory");
    } catch (const std::system_error& e) {
        return unexpected(e.code().value(), e.what());
    } catch (const std::exception& e) {
        return unexpected(51, e.what());
    }
}

}  // namespace

HostAddresses mdlNET::getIpsByName(const std::string& host, const Yield& yield) {
    HostAddresses answer;
    const sockets::Session session;
    if (!session.started()) {
        return answer;
    }
    answer.failure = guarded([&] {
        // A name that has no ASCII form (one holding a NUL among them) has no address either.
        const std::optional<std::string> name = toAsciiHost(host);
        if (!name) {
            return;
        }
        for (const IpAddress& address : sockets::addressesByName(*name)) {
            answer.ips.push_back(address);
            yieldOnce(yield);
        }
    });
    if (answer.failure) {
        answer.ips.clear();
    }
    return answer;
}

HostName mdlNET::getNameByIp(const IpAddress& ip) {
    HostName answer;
    const sockets::Session session;
    if (session.started()) {
        answer.failure = guarded([&] { answer.name = sockets::nameByAddress(ip); });
        if (answer.failure) {
            answer.name.clear();
        }
    }
    return answer;
}

}  // namespace netsorter
