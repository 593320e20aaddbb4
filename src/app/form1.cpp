#include "app/form1.h"

#include <commctrl.h>

#include <exception>
#include <utility>

#include "app/reasons.h"
#include "app/resource.h"
#include "common/files.h"
#include "common/text.h"
#include "common/wide.h"
#include "desktop/settings.h"

namespace netsorter {
namespace {

constexpr wchar_t kCaption[] = L"Netsorter - Проверка IP";
constexpr int kTwipsPerInch = 1440;

// The window's layout in twips: client area, then each control relative to its container.
constexpr int kClientWidth = 6000;
constexpr int kClientHeight = 3150;

constexpr DWORD kResultStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;

// In the order of creation, which is also the tab order.
constexpr Placement kLayout[] = {
    {IDC_FRAME1, L"BUTTON", L"Проверка адреса", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 120, 0,
     5775, 735},
    {IDC_TXTADDRES, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
     IDC_FRAME1, 120, 240, 4215, 375},
    {IDC_CMDCHECK, L"BUTTON", L"Пр&оверить", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
     IDC_FRAME1, 4440, 240, 1215, 375},
    {IDC_FRAME2, L"BUTTON", L"Информация", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, 120, 840, 5775,
     2175},
    {IDC_LABEL1, L"STATIC", L"Доменное имя", kLabelStyle, IDC_FRAME2, 120, 360, 1440, 255},
    {IDC_TXTDOMAIN, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1560, 360, 4095, 285},
    {IDC_LABEL2, L"STATIC", L"IP-адрес", kLabelStyle, IDC_FRAME2, 120, 720, 1440, 255},
    {IDC_TXTIP, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1560, 720, 4095, 285},
    {IDC_LABEL3, L"STATIC", L"Тип трафика", kLabelStyle, IDC_FRAME2, 120, 1080, 1440, 255},
    {IDC_TXTTRAFFIC, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1560, 1080, 4095, 285},
    {IDC_LABEL4, L"STATIC", L"Страна", kLabelStyle, IDC_FRAME2, 120, 1440, 1440, 255},
    {IDC_TXTCOUNTRY, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1560, 1440, 4095, 285},
    {IDC_LABEL5, L"STATIC", L"Владелец сети", kLabelStyle, IDC_FRAME2, 120, 1800, 1440, 255},
    {IDC_TXTOWNER, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1560, 1800, 4095, 285},
};

}  // namespace

std::span<const Placement> windowLayout() {
    return kLayout;
}

namespace {

// A window's device context, given back when done.
struct BoxDc {
    HWND box;
    HDC dc;
    ~BoxDc() {
        if (dc != nullptr) {
            ReleaseDC(box, dc);
        }
    }
};

constexpr CheckField kResultFields[] = {CheckField::Domain, CheckField::Ip, CheckField::Traffic,
                                        CheckField::Country, CheckField::Owner};

// The result boxes txtDomain, txtIP, txtTraffic, txtCountry and txtOwner.
constexpr int resultBoxId(CheckField field) {
    switch (field) {
        case CheckField::Domain:
            return IDC_TXTDOMAIN;
        case CheckField::Ip:
            return IDC_TXTIP;
        case CheckField::Traffic:
            return IDC_TXTTRAFFIC;
        case CheckField::Country:
            return IDC_TXTCOUNTRY;
        case CheckField::Owner:
            return IDC_TXTOWNER;
    }
    return IDC_TXTDOMAIN;
}

// What each timer is for, by its interval.
constexpr UINT kBalloonLifetime = 3000;      // Timer1 takes the balloon down
constexpr UINT kKeyboardPollInterval = 100;  // Timer2 polls for Ctrl+C
constexpr UINT kSecondCopyWindow = 500;      // Timer3: the time allowed for the second Ctrl+C
constexpr UINT kTimerInterval[] = {0, kBalloonLifetime, kKeyboardPollInterval, kSecondCopyWindow};

std::wstring windowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The balloon's lines: the traffic, the country and, when the owner database answered (its
// box holds no placeholder), the network's owner. The shell keeps 255 characters: a long
// organisation's name is cut to fit and says so, and is left out where the first two lines
// leave no room for a character of it.
std::wstring balloonText(const std::string& traffic, const std::string& country,
                         const std::string& owner) {
    std::wstring text = toWide(traffic) + L"\r\n" + toWide(country);
    if (owner.empty() || owner == kOwnerUnknown || owner == kNoOwnerForNoIp ||
        text.size() + 4 > mdlTray::kInfoChars) {
        return text;
    }
    text += L"\r\n";
    std::wstring line = toWide(owner);
    if (const size_t room = mdlTray::kInfoChars - text.size(); line.size() > room) {
        line.resize(room - 1);
        if (IS_HIGH_SURROGATE(line.back())) {
            line.pop_back();
        }
        line += L'…';
    }
    return text + line;
}

UINT windowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && hwnd != nullptr) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

Form1::Form1(HINSTANCE instance, std::wstring commandLine, std::string dataDir,
             NotifyIconFn notifyIcon, std::unique_ptr<NameResolver> resolver)
    : instance_(instance),
      commandLine_(std::move(commandLine)),
      engines_(std::move(dataDir), std::move(resolver)),
      tray_(notifyIcon) {
    engines_.useDownloads(userDataDir());
}

Form1::~Form1() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

template <class Handler>
void Form1::guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        showFailure(e.what());
    } catch (...) {
        showFailure("Непредвиденная ошибка");
    }
}

int Form1::messageBox(const std::string& text, const wchar_t* title, UINT flags) const {
    return MessageBoxW(hwnd_, toWide(text).c_str(), title, flags);
}

void Form1::showFailure(const std::string& text) {
    messageBox(text, L"Netsorter", MB_OK | MB_ICONERROR);
}

bool Form1::create() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = wndProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = NETSORTER_FORM_CLASS;
    icon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_NETSORTER), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                          LR_SHARED));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_NETSORTER),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    wc.hIcon = icon_;
    wc.hIconSm = smallIcon_;
    RegisterClassExW(&wc);

    WNDCLASSEXW nc{};
    nc.cbSize = sizeof nc;
    nc.lpfnWndProc = notifierProc;
    nc.hInstance = instance_;
    nc.lpszClassName = NETSORTER_NOTIFIER_CLASS;
    RegisterClassExW(&nc);

    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    win::UniqueMenu menuBar = buildMenuBar();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const HWND created =
        CreateWindowExW(WS_EX_CONTROLPARENT, NETSORTER_FORM_CLASS, kCaption, style, CW_USEDEFAULT,
                        CW_USEDEFAULT, 400, 250, nullptr, menuBar.get(), instance_, this);
    if (created == nullptr) {
        // A window that failed half-way (its start-up threw) destroyed its menu bar with it.
        if (!IsMenu(menuBar.get())) {
            (void)menuBar.release();
        }
        return false;
    }
    (void)menuBar.release();  // the window owns it now
    return true;
}

win::UniqueMenu Form1::buildMenuBar() {
    win::UniqueMenu bar(CreateMenu());
    win::UniqueMenu tray(CreatePopupMenu());
    std::wstring_view current;
    HMENU popup = nullptr;
    for (const MenuCommand& command : menuCommands()) {
        if (command.menu() == kTrayMenu) {
            popup = tray.get();  // the tray icon's menu, never part of the bar
        } else if (command.menu() != current || popup == tray.get()) {
            popup = CreatePopupMenu();
            AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                        std::wstring(command.menu()).c_str());
        }
        current = command.menu();
        if (command.separator()) {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(popup, MF_STRING, command.id, std::wstring(command.item()).c_str());
        }
    }
    mnuTray_ = std::move(tray);
    return bar;
}

void Form1::createControls() {
    for (const Placement& p : kLayout) {
        CreateWindowExW(p.id == IDC_TXTADDRES ? WS_EX_CLIENTEDGE : 0, p.className, p.caption,
                        p.style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance_, nullptr);
    }
    // Only receives the tray icon's notifications; never visible.
    picNotifier_ = CreateWindowExW(0, NETSORTER_NOTIFIER_CLASS, L"", WS_CHILD, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PICNOTIFIER)),
                                   instance_, nullptr);
    SetWindowLongPtrW(picNotifier_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Results can be long (a URL, a heading); let them scroll rather than be cut at 30000.
    for (const CheckField field : kResultFields) {
        SendMessageW(control(resultBoxId(field)), EM_LIMITTEXT, 0, 0);
    }
    SendMessageW(control(IDC_TXTADDRES), EM_LIMITTEXT, 0, 0);
    // Unowned: an owned popup takes part in the window's activation, and under wine the
    // window then lost "always on top" after a message box had closed.
    tooltip_.reset(CreateWindowExW(
        0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, nullptr));
    for (const CheckField field : kResultFields) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(control(resultBoxId(field)));
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // A heading or a URL may be far wider than the window.
    SendMessageW(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, 600);
    dpi_ = windowDpi(hwnd_);
    applyFont();
    layoutControls();
}

void Form1::applyFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    const UINT systemDpi = windowDpi(nullptr);
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi_), static_cast<int>(systemDpi));
    font_.reset(CreateFontIndirectW(&font));
    for (const Placement& p : kLayout) {
        SendMessageW(control(p.id), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
    for (const CheckField field : kResultFields) {
        updateTooltip(control(resultBoxId(field)));
    }
}

void Form1::layoutControls() {
    const auto px = [this](int twips) {
        return MulDiv(twips, static_cast<int>(dpi_), kTwipsPerInch);
    };
    for (const Placement& p : kLayout) {
        int left = p.left;
        int top = p.top;
        for (const Placement& c : kLayout) {
            if (c.id == p.container) {
                left += c.left;
                top += c.top;
            }
        }
        MoveWindow(control(p.id), px(left), px(top), px(p.width), px(p.height), TRUE);
    }
    RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::show() {
    // While the program lives in the tray the request to show is undone at once; skipping
    // it saves the flash of a window that disappears again.
    if (!stayHidden_) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        SetForegroundWindow(hwnd_);
        SetFocus(control(IDC_TXTADDRES));
    }
    Form_Activate();
}

bool Form1::preTranslateMessage(MSG& msg) {
    return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg);
}

LRESULT CALLBACK Form1::wndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    // Nothing may unwind through the system's frames: a failure is shown, and the program
    // keeps running.
    LRESULT result = 0;
    bool handled = false;
    form->guarded([&] {
        result = form->handleMessage(msg, wParam, lParam);
        handled = true;
    });
    return handled ? result : 0;
}

LRESULT CALLBACK Form1::notifierProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_MOUSEMOVE) {
        form->guarded([&] { form->picNotifier_MouseMove(static_cast<UINT>(LOWORD(lParam))); });
        return 0;
    }
    if (form->tray_.handleNotifierMessage(msg, wParam)) {
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Form1::handleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            if (const Status started = Form_Initialize(); !started) {
                startupError_ = toWide(started.reason());
                return -1;
            }
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            switch (wParam) {
                case Timer1:
                    Timer1_Timer();
                    break;
                case Timer2:
                    Timer2_Timer();
                    break;
                case Timer3:
                    Timer3_Timer();
                    break;
                case kUpdateTimer:
                    autoUpdateIfDue(false);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SYSCOMMAND:
            // The close box, the system menu's "Close" and Alt+F4 all arrive here.
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                Form_QueryUnload(ClosedByUser);
                return 0;
            }
            return DefWindowProcW(hwnd_, msg, wParam, lParam);
        case WM_CLOSE:
            // Not the user's close (that came as SC_CLOSE): a task manager's "End task",
            // taskkill or another program asks this program to end.
            if (!Form_QueryUnload(ClosedByOtherProgram)) {
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                Form_QueryUnload(SessionEnding);
            }
            return 0;
        case kUpdateDone:
            updateDone();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyFont();
            layoutControls();
            return 0;
        }
        case WM_DESTROY:
            // Form_Terminate: the tray icon goes with the window; the lists are released
            // with this object.
            tray_.removeTrayIconAtExit();
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            if (msg == taskbarCreated_ && msg != 0) {
                tray_.restoreAfterTaskbarRestart();
                return 0;
            }
            return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }
}

void Form1::onCommand(UINT id) {
    if (id == IDC_CMDCHECK) {
        cmdCheck_Click();
        return;
    }
    for (const MenuCommand& command : menuCommands()) {
        if (command.id == id && command.handler != nullptr) {
            (this->*command.handler)();
            return;
        }
    }
}

Status Form1::Form_Initialize() {
    Loaded = false;
    interceptOn_ = settings::interceptOn();
    createControls();
    if (const Status loaded = Form_Load(); !loaded) {
        return loaded;
    }
    // The keyboard is polled only from here on, so keys pressed during loading never
    // count while interception is off.
    setMenuCheck(IDM_SETTINGS_INTERCEPT, interceptOn_);
    setTimerEnabled(Timer2, interceptOn_);
    autostartOn_ = settings::autostartOn();
    setMenuCheck(IDM_SETTINGS_AUTOSTART, autostartOn_);
    autoUpdateOn_ = settings::autoUpdateOn();
    setMenuCheck(IDM_SETTINGS_AUTO_UPDATE, autoUpdateOn_);
    // Start in the tray: "/hide" anywhere in the arguments, letter case as written.
    if (commandLine_.find(L"/hide") != std::wstring::npos) {
        stayHidden_ = true;
        mnuViewToTray_Click();
    }
    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
    if (!refusedChoice_.empty()) {
        const std::string text = std::exchange(refusedChoice_, std::string());
        if (stayHidden_) {
            showBalloon(toWide(text), L"Netsorter");
        } else {
            showFailure(text);
        }
    }
    autoUpdateIfDue(true);
    return Status::success();
}

Status Form1::Form_Load() {
    // A check that runs while the files are loading (the loading lets events through)
    // must not start a second load of the same files.
    if (Loaded || loading_) {
        return Status::success();
    }
    loading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loading_};

    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
    LoadOptions options;
    options.chosen[static_cast<std::size_t>(DatabaseKind::Country)] =
        fromWide(settings::countryDatabase());
    options.chosen[static_cast<std::size_t>(DatabaseKind::Owner)] =
        fromWide(settings::ownerDatabase());
    options.cacheDir = userCacheDir();
    options.yield = [this] { doEvents(); };
    options.askToGoOn = [this](const DuplicateLine& line) { return showProblem(line.question()); };
    // countries.txt and GeoIP.dat that cannot be read leave the countries unknown, which
    // every check then shows; without nets.txt the program cannot start.
    const LoadReport report = engines_.load(options);
    if (!report.nets.loaded) {
        return Status::failure("Не удалось открыть файл " + report.nets.path + "\r\n" +
                               russianReason(report.nets.reason));
    }
    // A chosen database that no longer opens is forgotten; the next in line answers.
    const auto forgetRefused = [&](DatabaseKind kind, const char* what, void (*forget)()) {
        if (const DatabaseLoad& load = report.of(kind); load.choiceRefused) {
            forget();
            refusedChoice_ += (refusedChoice_.empty() ? "" : "\r\n") +
                              std::string("Не удалось открыть выбранную ") + what + " " +
                              load.refused.front().path + "\r\n" +
                              russianReason(load.refused.front().reason);
        }
    };
    forgetRefused(DatabaseKind::Country, "базу стран", settings::forgetCountryDatabase);
    forgetRefused(DatabaseKind::Owner, "базу владельцев сетей", settings::forgetOwnerDatabase);
    Loaded = true;
    return Status::success();
}

void Form1::Form_Activate() {
    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
}

void Form1::cmdCheck_Click() {
    checkUrl("", false);
}

Status Form1::checkLink(const std::string& url) {
    if (!Loaded) {
        if (const Status loaded = Form_Load(); !loaded) {
            return loaded;
        }
    }
    checkUrl(url, true);
    return Status::success();
}

void Form1::checkUrl(const std::string& url, bool FromIE) {
    if (!url.empty()) {
        setAddressText(url);
    }
    const std::string address = addressText();
    for (const CheckField field : {CheckField::Traffic, CheckField::Ip, CheckField::Domain,
                                   CheckField::Country, CheckField::Owner}) {
        setResultText(field, kChecking);
    }
    CheckOptions options;
    if (FromIE) {
        stayHidden_ = true;
    }
    if (stayHidden_ && !menuChecked(IDM_VIEW_ALWAYS_ON_TOP)) {
        mnuViewToTray_Click();
        options.reverseLookup = false;
    }
    // Paint the placeholders and the move to the tray before the lookups block.
    doEvents();

    options.yield = [this] { doEvents(); };
    // Every box is written as soon as its field is known, so a check nested in one of the
    // turns leaves its texts in the boxes that this check has already written.
    options.onField = [this](CheckField field, const std::string& text) {
        setResultText(field, text);
    };
    options.onProblem = [this](const Problem& problem) { showProblem(problem); };
    checkAddress(address, engines_, options);

    // An earlier load that did not complete is tried again here.
    if (const Status loaded = Form_Load(); !loaded) {
        showFailure(loaded.reason());
    }
    // The balloon tells what the boxes hold now, whoever wrote them last.
    if (stayHidden_) {
        showBalloon(balloonText(resultText(CheckField::Traffic), resultText(CheckField::Country),
                                resultText(CheckField::Owner)),
                    toWide(resultText(CheckField::Ip)));
    }
}

void Form1::mnuFileExit_Click() {
    if (!Form_QueryUnload(ClosedByProgram)) {
        DestroyWindow(hwnd_);
    }
}

void Form1::mnuViewAllwaysOnTop_Click() {
    const bool checked = menuChecked(IDM_VIEW_ALWAYS_ON_TOP);
    SetWindowPos(hwnd_, checked ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    setMenuCheck(IDM_VIEW_ALWAYS_ON_TOP, !checked);
}

std::string Form1::addressText() const {
    return fromWide(windowText(control(IDC_TXTADDRES)));
}

void Form1::setAddressText(const std::string& text) {
    SetWindowTextW(control(IDC_TXTADDRES), toWide(text).c_str());
}

std::string Form1::resultText(CheckField field) const {
    return fromWide(windowText(control(resultBoxId(field))));
}

void Form1::setResultText(CheckField field, const std::string& text) {
    SetWindowTextW(control(resultBoxId(field)), toWide(text).c_str());
    updateTooltip(control(resultBoxId(field)));
}

void Form1::updateTooltip(HWND box) {
    std::wstring text = windowText(box);
    RECT client{};
    GetClientRect(box, &client);
    const DWORD margins = static_cast<DWORD>(SendMessageW(box, EM_GETMARGINS, 0, 0));
    const int room = client.right - client.left - LOWORD(margins) - HIWORD(margins);
    SIZE size{};
    if (const BoxDc dc{box, GetDC(box)}; dc.dc != nullptr) {
        const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0));
        const HGDIOBJ old = SelectObject(dc.dc, font);
        GetTextExtentPoint32W(dc.dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc.dc, old);
    }
    if (size.cx <= room) {
        text.clear();
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(box);
    tool.lpszText = text.data();
    SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool Form1::showProblem(const Problem& problem) {
    std::string text;
    for (const std::string& line : problem.lines) {
        text += (text.empty() ? "" : "\r\n") + russianReason(line);
    }
    switch (problem.kind) {
        case Problem::Kind::Question:
            return messageBox(text, L"Ошибка", MB_YESNO | MB_DEFBUTTON1) != IDNO;
        case Problem::Kind::Warning:
            // A damaged database is a warning, as the program has always titled it.
            messageBox(text, L"Внимание", MB_OK | MB_ICONERROR);
            return true;
        case Problem::Kind::Failure:
            break;
    }
    messageBox(text, L"Netsorter", MB_OK | MB_ICONERROR);
    return true;
}

void Form1::showBalloon(const std::wstring& text, const std::wstring& title) {
    tray_.showTrayBalloon(text, title);
    setTimerEnabled(Timer1, false);
    setTimerEnabled(Timer1, true);
}

void Form1::doEvents() {
    // One pass over what is waiting now; a bound keeps a flood of messages from holding
    // the check here forever.
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!preTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Form1::setMenuCheck(UINT id, bool checked) {
    CheckMenuItem(GetMenu(hwnd_), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool Form1::menuChecked(UINT id) const {
    return (GetMenuState(GetMenu(hwnd_), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void Form1::setTimerEnabled(Timer timer, bool on) {
    if (on) {
        SetTimer(hwnd_, timer, kTimerInterval[timer], nullptr);
    } else {
        KillTimer(hwnd_, timer);
    }
    timerOn_[timer] = on;
}

}  // namespace netsorter
