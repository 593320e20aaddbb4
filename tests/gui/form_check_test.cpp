// The check as the window shows it: the placeholders, the results, the move to the tray and
// the balloon, a check nested in another, and a failure inside a handler.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/wide.h"
#include "form_fixture.h"
// commctrl.h needs windows.h, which the fixture includes, above it.
#include <commctrl.h>

#include "temp_dir.h"
#include "test_engines.h"

namespace netsorter {
namespace {

using testing::FakeShell;
using testing::textOf;
using testing::threadWindowOfClass;
using testing::Window;

constexpr const char* kLongHeading =
    "Сети одного оператора, названные так подробно, что имя не помещается в поле";

// The tests' own data: three subnets, a names table of two countries over a one-node database
// (addresses from 128.0.0.0 up are country 1, the others country 2).
class CheckData {
  public:
    CheckData() {
        dir_.write("nets.txt", "# Частные сети\n10.0.0.0/8\n# Документация\n192.0.2.0/24\n# " +
                                   std::string(kLongHeading) + "\n198.51.100.0/24\n");
        dir_.write("countries.txt", "1\tUH\tUHX\tВерх\tEU\n2\tНиз\n");
        dir_.write("GeoIP.dat", testing::kTinyDatabase);
    }
    std::string dir() const { return dir_.str(); }

  private:
    testing::TempDir dir_;
};

// The resolver the window checks with in these tests: multi.test has two addresses, and
// 10.9.8.7 is named multi.test.
std::unique_ptr<testing::FakeResolver> fakeResolver(testing::Log& log) {
    auto resolver = std::make_unique<testing::FakeResolver>(log);
    resolver->ips = {{"multi.test", {"10.9.8.7", "10.9.8.6"}}};
    resolver->names = {{"10.9.8.7", "multi.test"}};
    return resolver;
}

struct Shown {
    std::wstring domain, ip, traffic, country, owner;
    bool visible = false;
    bool icon = false;
    bool operator==(const Shown&) const = default;
};

Shown shownBy(const Window& window, FakeShell& shell) {
    return {textOf(window.control(IDC_TXTDOMAIN)),
            textOf(window.control(IDC_TXTIP)),
            textOf(window.control(IDC_TXTTRAFFIC)),
            textOf(window.control(IDC_TXTCOUNTRY)),
            textOf(window.control(IDC_TXTOWNER)),
            window.visible(),
            shell.icon()};
}

using Balloons = std::vector<std::pair<std::wstring, std::wstring>>;

// The tests' data holds no owner database.
constexpr const wchar_t* kNoOwner = L"<не удалось определить владельца>";

// The placeholders and the move to the tray are on the screen before the lookups block; the
// results replace them.
TEST(Check, PlaceholdersShowWhileTheNamesAreLookedUp) {
    for (const bool fromOutside : {false, true}) {
        SCOPED_TRACE(fromOutside ? "from outside" : "from the button");
        CheckData data;
        FakeShell shell;
        shell.setReady(true);
        testing::Log log;
        auto resolver = fakeResolver(log);
        testing::FakeResolver& names = *resolver;
        Window window(L"", true, data.dir(), FakeShell::notifyIcon, std::move(resolver));
        ASSERT_TRUE(window.created());
        std::optional<Shown> whileAsking;
        names.onAsk = [&] { whileAsking = shownBy(window, shell); };
        window.form().checkUrl("multi.test", fromOutside);

        const std::wstring checking = L"<проверка...>";
        EXPECT_EQ(whileAsking, (Shown{checking, checking, checking, checking, checking,
                                      !fromOutside, fromOutside}));
        EXPECT_EQ(shownBy(window, shell), (Shown{L"multi.test", L"10.9.8.7", L"Частные сети",
                                                 L"Низ", kNoOwner, !fromOutside, fromOutside}));
        EXPECT_EQ(shell.balloons(),
                  (fromOutside ? Balloons{{L"10.9.8.7", L"Частные сети\r\nНиз"}} : Balloons{}));
    }
}

TEST(Check, TrayReverseLookupAndBalloon) {
    struct Row {
        bool FromIE;
        bool alwaysOnTop;
        bool inTrayBefore;  // started with "/hide": stayHidden is set
        bool toTray;
        bool reverse;
        bool balloon;
    };
    const Row rows[] = {
        // the button with the window shown
        {false, false, false, false, true, false},
        {false, true, false, false, true, false},
        // the button while the program lives in the tray
        {false, false, true, true, false, true},
        {false, true, true, false, true, true},
        // the browser or the clipboard; always on top keeps the window, which has no icon
        // for the balloon
        {true, false, false, true, false, true},
        {true, true, false, false, true, false},
        {true, false, true, true, false, true},
        {true, true, true, false, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("FromIE=") + (row.FromIE ? "1" : "0") + " onTop=" +
                     (row.alwaysOnTop ? "1" : "0") + " inTray=" + (row.inTrayBefore ? "1" : "0"));
        CheckData data;
        FakeShell shell;
        shell.setReady(true);
        testing::Log log;
        Window window(row.inTrayBefore ? L"/hide" : L"", !row.inTrayBefore, data.dir(),
                      FakeShell::notifyIcon, fakeResolver(log));
        ASSERT_TRUE(window.created());
        if (row.alwaysOnTop) {
            window.command(IDM_VIEW_ALWAYS_ON_TOP);
        }
        window.form().checkUrl("10.9.8.7", row.FromIE);

        const bool inTray = row.toTray || row.inTrayBefore;
        EXPECT_EQ(shownBy(window, shell),
                  (Shown{row.reverse ? L"multi.test" : L"<не проверялось ...>", L"10.9.8.7",
                         L"Частные сети", L"Низ", kNoOwner, !inTray, inTray}));
        EXPECT_EQ(shell.balloons(),
                  (row.balloon ? Balloons{{L"10.9.8.7", L"Частные сети\r\nНиз"}} : Balloons{}));
        // Always on top stays as it was unless the window went to the tray.
        EXPECT_EQ(window.checked(IDM_VIEW_ALWAYS_ON_TOP), row.alwaysOnTop && !row.toTray);
    }
}

// A country source that, the first time it is asked, has the button pressed for another
// address inside one of its turns, as a person's click while the lookup works would.
class ClickingSource final : public CountrySource {
  public:
    ClickingSource(const Window& window, std::wstring address)
        : window_(window), address_(std::move(address)) {}
    bool usable() const override { return true; }
    bool answersByIndex() const override { return true; }
    CountryAnswer countryOf(const IpAddress& address, const Yield& yield) override {
        if (!clicked_) {
            clicked_ = true;
            SetWindowTextW(window_.control(IDC_TXTADDRES), address_.c_str());
            PostMessageW(window_.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_CMDCHECK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(window_.control(IDC_CMDCHECK)));
        }
        yieldOnce(yield);
        CountryAnswer answer;
        answer.kind = CountryAnswer::Country;
        answer.index = address.v4() >= 0x80000000 ? 1 : 2;
        return answer;
    }

  private:
    const Window& window_;
    std::wstring address_;
    bool clicked_ = false;
};

// The country lookup gives other events their turns after the other three boxes are
// written: a check run in one of them leaves its texts, and the first check, going on,
// writes only its country over them. Its balloon tells what the boxes then hold.
TEST(Check, ACheckNestedInTheCountryLookupLeavesTheTextsWrittenLast) {
    CheckData data;
    FakeShell shell;
    shell.setReady(true);
    testing::Log log;
    Window window(L"", false, data.dir(), FakeShell::notifyIcon, fakeResolver(log));
    ASSERT_TRUE(window.created());
    window.form().engines().geo().useSource(
        std::make_shared<ClickingSource>(window, L"192.0.2.10"));
    window.form().checkUrl("10.9.8.7", true);

    EXPECT_EQ(shownBy(window, shell), (Shown{L"<не проверялось ...>", L"192.0.2.10",
                                             L"Документация", L"Низ", kNoOwner, false, true}));
    EXPECT_EQ(shell.balloons(), (Balloons{{L"192.0.2.10", L"Документация\r\nВерх (UH)"},
                                          {L"192.0.2.10", L"Документация\r\nНиз"}}));
    EXPECT_EQ(textOf(window.control(IDC_TXTADDRES)), L"192.0.2.10");
}

// The owner database chosen earlier answers from the start: its row shows the owner whole, and
// the balloon's third line cuts a long name to the shell's 255 characters, saying so. Without
// an owner the balloon has two lines.
TEST(Check, TheOwnerShowsInItsRowAndOnTheBalloonsThirdLine) {
    const std::wstring owners = toWide(std::string(NETSORTER_MMDB_SAMPLES) + "/owners.mmdb");
    testing::RegistryValue chosen(testing::kSettingsKey, L"asnDatabase");
    chosen.set(owners);
    CheckData data;
    FakeShell shell;
    shell.setReady(true);
    testing::Log log;
    Window window(L"/hide", false, data.dir(), FakeShell::notifyIcon, fakeResolver(log));
    ASSERT_TRUE(window.created());
    const std::wstring longName = L"AS64503 " + std::wstring(10000, L'L');
    const struct {
        const char* address;
        std::wstring owner;
    } rows[] = {{"10.9.8.7", L"AS64500 Десять сетей"},
                {"12.1.2.3", longName},
                {"nosuch.test", L"<владелец не определен>"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        window.form().checkUrl(row.address, false);
        EXPECT_EQ(textOf(window.control(IDC_TXTOWNER)), row.owner);
        const std::wstring lines = textOf(window.control(IDC_TXTTRAFFIC)) + L"\r\n" +
                                   textOf(window.control(IDC_TXTCOUNTRY));
        const std::wstring third =
            row.owner.starts_with(L"<") ? L""
            : lines.size() + 2 + row.owner.size() <= 255
                ? L"\r\n" + row.owner
                : L"\r\n" + row.owner.substr(0, 255 - lines.size() - 3) + L"…";
        ASSERT_FALSE(shell.balloons().empty());
        EXPECT_EQ(shell.balloons().back().second, lines + third);
        EXPECT_LE(shell.balloons().back().second.size(), 255u);
    }
    EXPECT_EQ(testing::readValue(testing::kSettingsKey, L"asnDatabase"), owners);
}

// The text of the message box of this thread, pressing OK once it has been read.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(DWORD thread)
        : worker_([this, thread] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
              while (std::chrono::steady_clock::now() < deadline) {
                  if (const HWND box = threadWindowOfClass(thread, L"#32770")) {
                      text_ = textOf(GetDlgItem(box, 0xFFFF));
                      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~MessageBoxAnswerer() {
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::wstring text() {
        if (worker_.joinable()) {
            worker_.join();
        }
        return text_;
    }

  private:
    std::wstring text_;
    std::thread worker_;
};

// The tooltip of a result box holds the whole text when the box cuts it, and nothing when
// the text fits.
TEST(Check, ACutResultIsShownWholeInItsTooltip) {
    CheckData data;
    FakeShell shell;
    testing::Log log;
    Window window(L"", false, data.dir(), FakeShell::notifyIcon, fakeResolver(log));
    ASSERT_TRUE(window.created());
    HWND tooltip = nullptr;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr)) != nullptr;) {
        tooltip = GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() ? w : tooltip;
    }
    ASSERT_NE(tooltip, nullptr);
    const auto tipOf = [&](int id) {
        wchar_t text[256] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = window.hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(window.control(id));
        tool.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
        return std::wstring(text);
    };
    window.form().checkUrl("198.51.100.1", false);
    EXPECT_EQ(tipOf(IDC_TXTTRAFFIC), toWide(kLongHeading));
    EXPECT_EQ(tipOf(IDC_TXTIP), L"");
    window.form().checkUrl("10.1.2.3", false);
    EXPECT_EQ(tipOf(IDC_TXTTRAFFIC), L"");
}

// A failure inside a handler is shown to the user and the program goes on. The loading
// step that every check ends with is made to fail: the subnet list is removed after start
// and the window is told it is not loaded yet.
TEST(Failure, FailureInAHandlerIsReportedAndTheProgramGoesOn) {
    const testing::TempDir data;
    for (const char* name : {"nets.txt", "countries.txt", "GeoIP.dat"}) {
        std::filesystem::copy_file(std::filesystem::path(toWide(programDir())) / name,
                                   data.path() / name);
    }
    Window window(L"", true, data.str());
    ASSERT_TRUE(window.created());
    ASSERT_TRUE(DeleteFileW((data.path() / L"nets.txt").c_str()));
    window.form().Loaded = false;
    SetWindowTextW(window.control(IDC_TXTADDRES), L"");

    MessageBoxAnswerer answerer(GetCurrentThreadId());
    window.clickCheck();
    const std::wstring shown = answerer.text();
    EXPECT_NE(shown.find(L"nets.txt"), std::wstring::npos) << fromWide(shown);

    // The check got as far as its results before the failure.
    EXPECT_EQ(textOf(window.control(IDC_TXTIP)), L"<IP-адрес отсутсвует>");
    EXPECT_TRUE(IsWindow(window.hwnd()));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    // And the window still answers its commands.
    window.command(IDM_VIEW_ALWAYS_ON_TOP);
    EXPECT_TRUE(window.topmost());
}

}  // namespace
}  // namespace netsorter
