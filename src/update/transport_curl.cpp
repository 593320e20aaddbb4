#include <curl/curl.h>

#include <memory>
#include <optional>

#include "update/transport.h"

namespace netsorter::update {
namespace {

struct CurlEasyClose {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

struct Call {
    const std::function<Status(std::string_view)>* body;
    std::optional<Status> stopped;  // the body's failure, which ended the fetch
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* call = static_cast<Call*>(user);
    const Status written = (*call->body)(std::string_view(data, size * count));
    if (!written) {
        call->stopped = written;
        return 0;  // libcurl then ends the fetch
    }
    return size * count;
}

class CurlTransport final : public Transport {
  public:
    CurlTransport() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlTransport() override { curl_global_cleanup(); }

    Fetched get(const std::string& url, const FetchLimits& limits,
                const std::function<Status(std::string_view)>& body) override {
        const std::unique_ptr<CURL, CurlEasyClose> curl(curl_easy_init());
        if (!curl) {
            return {false, false, "libcurl cannot start"};
        }
        Call call{&body, std::nullopt};
        char error[CURL_ERROR_SIZE] = "";
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        // A mirror may send the file elsewhere, never to plain http.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connectSeconds));
        curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(limits.totalSeconds));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallSeconds));
        curl_easy_setopt(c, CURLOPT_USERAGENT, "netsorter-update");
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &call);
        const CURLcode code = curl_easy_perform(c);
        if (code == CURLE_OK) {
            return {true, false, {}};
        }
        if (call.stopped) {
            return {false, false, call.stopped->reason()};
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        std::string reason = error[0] != '\0' ? error : curl_easy_strerror(code);
        bool retryable = false;
        switch (code) {
            case CURLE_HTTP_RETURNED_ERROR:
                retryable = status >= 500 || status == 429;
                reason = "the server answered " + std::to_string(status);
                break;
            case CURLE_OPERATION_TIMEDOUT:
            case CURLE_COULDNT_CONNECT:
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY:
            case CURLE_RECV_ERROR:
            case CURLE_SEND_ERROR:
            case CURLE_PARTIAL_FILE:
            case CURLE_GOT_NOTHING:
                retryable = true;
                break;
            default:
                break;
        }
        return {false, retryable, reason};
    }
};

}  // namespace

std::unique_ptr<Transport> systemTransport() {
    return std::make_unique<CurlTransport>();
}

}  // namespace netsorter::update
