// One GET over the network, by the system's own means: libcurl on Linux (its proxy
// variables, OpenSSL's certificate checks), WinHTTP on Windows. Retries are the caller's.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/problem.h"

namespace netsorter::update {

struct FetchLimits {
    int connectSeconds = 30;
    // No byte for this long ends the fetch: a stalled server.
    int stallSeconds = 60;
    int totalSeconds = 3600;
};

struct Fetched {
    bool ok = false;
    // Worth another try: a 5xx or 429 answer, a time-out, a dropped or refused connection.
    bool retryable = false;
    std::string reason;
};

class Transport {
  public:
    virtual ~Transport() = default;
    // Fetches url (redirects followed, to https only) and gives its body to body piece by
    // piece; a failure from body ends the fetch with body's reason.
    virtual Fetched get(const std::string& url, const FetchLimits& limits,
                        const std::function<Status(std::string_view)>& body) = 0;
};

// This system's transport.
std::unique_ptr<Transport> systemTransport();

}  // namespace netsorter::update
