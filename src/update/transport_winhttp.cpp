#include <windows.h>
// winhttp.h needs windows.h above it.
#include <winhttp.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "common/wide.h"
#include "update/transport.h"

namespace netsorter::update {
namespace {

struct CloseInternet {
    void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using Internet = std::unique_ptr<void, CloseInternet>;

// WinHTTP's own codes are described by winhttp.dll, not by the system's table.
std::string describe(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                       FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   GetModuleHandleW(L"winhttp.dll"), code, 0,
                                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    std::wstring message(text ? text : L"", n);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message.empty() ? "WinHTTP error " + std::to_string(code) : fromWide(message);
}

// Why WinHTTP failed, and whether another try may do better: time-outs and dropped or
// refused connections may pass, a bad certificate or a bad name will not. Wine gives the
// socket's own codes for some of them.
Fetched failed(const char* what) {
    const DWORD code = GetLastError();
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:
            return {false, true, std::string(what) + ": the server did not answer in time"};
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAECONNREFUSED:
            return {false, true, std::string(what) + ": " + describe(code)};
        default:
            return {false, false, std::string(what) + ": " + describe(code)};
    }
}

// One session per fetch: the system's proxy (automatic detection where the system has it,
// Windows 8.1 on; the configured proxy before), its certificate checks untouched.
Internet openSession() {
    const wchar_t* agent = L"netsorter-update";
    HINTERNET session = WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) {
        session = WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    }
    return Internet(session);
}

std::optional<unsigned long long> contentLength(HINTERNET request) {
    wchar_t text[32] = L"";
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const unsigned long long n = wcstoull(text, &end, 10);
    return end != text && *end == L'\0' ? std::optional(n) : std::nullopt;
}

class WinHttpTransport final : public Transport {
  public:
    Fetched get(const std::string& url, const FetchLimits& limits,
                const std::function<Status(std::string_view)>& body) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(limits.totalSeconds);
        const std::wstring wideUrl = toWide(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) {
            return {false, false, "not a URL: " + url};
        }
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        const std::wstring path =
            std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
            std::wstring(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

        const Internet session = openSession();
        if (!session) {
            return failed("WinHTTP cannot start");
        }
        const int connectMs = limits.connectSeconds * 1000;
        const int stallMs = limits.stallSeconds * 1000;
        // Name resolution and connection share the connect limit; no byte for stallMs is a
        // stalled server, whether it is sending or answering.
        WinHttpSetTimeouts(session.get(), connectMs, connectMs, stallMs, stallMs);
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);

        const Internet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
        if (!connection) {
            return failed("cannot reach the server");
        }
        const Internet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request) {
            return failed("cannot ask the server");
        }
        if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
            return failed("cannot reach the server");
        }
        if (!WinHttpReceiveResponse(request.get(), nullptr)) {
            return failed("no answer from the server");
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(
                request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            return failed("no answer from the server");
        }
        if (status >= 400) {
            return {false, status >= 500 || status == 429,
                    "the server answered " + std::to_string(status)};
        }
        const std::optional<unsigned long long> expected = contentLength(request.get());
        unsigned long long received = 0;
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            if (std::chrono::steady_clock::now() > deadline) {
                return {false, true, "the download took longer than allowed"};
            }
            DWORD got = 0;
            if (!WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                 &got)) {
                return failed("the download broke off");
            }
            if (got == 0) {
                break;
            }
            received += got;
            const Status written = body(std::string_view(buffer.data(), got));
            if (!written) {
                return {false, false, written.reason()};
            }
        }
        if (expected && received < *expected) {
            return {false, true,
                    "the download was cut short: " + std::to_string(received) + " of " +
                        std::to_string(*expected) + " bytes"};
        }
        return {true, false, {}};
    }
};

}  // namespace

std::unique_ptr<Transport> systemTransport() {
    return std::make_unique<WinHttpTransport>();
}

}  // namespace netsorter::update
