// The automation class called from another apartment, as the browser's script calls it,
// while a check of the window lets events through.
#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include <wrl/client.h>

#include "desktop/automation.h"
#include "desktop/com.h"
#include "form_fixture.h"

namespace netsorter {
namespace {

using testing::pumpUntil;
using testing::textOf;
using testing::Window;

// The apartment window through which COM hands this thread its incoming calls.
HWND apartmentWindow() {
    for (HWND found = nullptr; (found = FindWindowExW(HWND_MESSAGE, found, L"OleMainThreadWndClass",
                                                      nullptr)) != nullptr;) {
        if (GetWindowThreadProcessId(found, nullptr) == GetCurrentThreadId()) {
            return found;
        }
    }
    return nullptr;
}

// A call of the automation class from another apartment, as the browser's script makes it:
// it waits in this thread's queue until this thread lets events through.
class AutomationClient {
  public:
    explicit AutomationClient(const wchar_t* url)
        : worker_([this, url] {
              CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              result_.set_value(call(url));
              CoUninitialize();
              finished_ = true;
          }) {}
    // The worker's last calls (the method, the release) are served by this thread: let them
    // through, whatever state the test left, rather than wait on them without serving them.
    ~AutomationClient() {
        pumpUntil([this] { return finished_.load(); });
        worker_.join();
    }
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    // The object is there and its method named; the call waits for go().
    bool ready() const { return ready_; }
    void go() { go_.set_value(); }
    std::future<HRESULT> result() { return result_.get_future(); }

  private:
    std::atomic<bool> ready_{false};
    std::atomic<bool> finished_{false};
    std::promise<void> go_;
    std::promise<HRESULT> result_;
    std::thread worker_;

    HRESULT call(const wchar_t* url) {
        Microsoft::WRL::ComPtr<IDispatch> clicker;
        HRESULT hr = CoCreateInstance(com::CLSID_qvClicker, nullptr, CLSCTX_LOCAL_SERVER,
                                      IID_PPV_ARGS(&clicker));
        if (SUCCEEDED(hr)) {
            wchar_t name[] = L"checkLink";
            LPOLESTR names[] = {name};
            DISPID id = DISPID_UNKNOWN;
            hr = clicker->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            if (SUCCEEDED(hr)) {
                com::Variant argument(url);
                DISPPARAMS params{argument.get(), nullptr, 1, 0};
                ready_ = true;
                go_.get_future().wait();
                hr = clicker->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                     nullptr, nullptr, nullptr);
            }
        }
        ready_ = true;
        return hr;
    }
};

// The automation class called while a check of the window lets events through runs its
// whole check inside that point; the texts that stay in the result boxes are those written
// last, the window's own, and nothing breaks.
TEST(Nested, AutomationCallInsideTheWindowsCheck) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct Apartment {
        ~Apartment() { CoUninitialize(); }
    } apartment;
    std::optional<std::future<HRESULT>> answered;
    {
        Window window;
        ASSERT_TRUE(window.created());
        const automation::ClassObjectRegistration served(window.form());
        AutomationClient client(L"http://multi.test/x");
        answered = client.result();
        // Creating the object and naming the method need this thread's events; the call
        // itself is left waiting in the queue.
        ASSERT_TRUE(pumpUntil([&] { return client.ready(); }));
        client.go();
        const HWND apartmentHwnd = apartmentWindow();
        ASSERT_NE(apartmentHwnd, nullptr);
        MSG waiting{};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!PeekMessageW(&waiting, apartmentHwnd, 0, 0, PM_NOREMOVE) &&
               std::chrono::steady_clock::now() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
        }
        ASSERT_EQ(waiting.hwnd, apartmentHwnd) << "the call never reached the window's thread";

        SetWindowTextW(window.control(IDC_TXTADDRES), L"192.0.2.11");
        window.clickCheck();
        // The answer travels back to the worker on its own time, and the release after it is
        // served here again.
        ASSERT_TRUE(pumpUntil([&] {
            return answered->wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        })) << "the call never came back";
        EXPECT_EQ(answered->get(), S_OK);

        // The call wrote its address and sent the window to the tray; the window's check,
        // which had read its address (and, on the screen then, chosen the reverse lookup)
        // before, wrote its results after the call's. A call run after the check would have
        // left its own results instead.
        EXPECT_EQ(textOf(window.control(IDC_TXTADDRES)), L"http://multi.test/x");
        EXPECT_EQ(textOf(window.control(IDC_TXTDOMAIN)), L"<Доменное имя отсутсвует>");
        EXPECT_EQ(textOf(window.control(IDC_TXTIP)), L"192.0.2.11");
        EXPECT_EQ(textOf(window.control(IDC_TXTTRAFFIC)), L"Адреса для документации и примеров");
        EXPECT_FALSE(window.visible());
        EXPECT_TRUE(window.trayIcon());
        EXPECT_TRUE(IsWindow(window.hwnd()));
    }
}

}  // namespace
}  // namespace netsorter
