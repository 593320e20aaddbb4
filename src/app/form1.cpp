#include "app/form1.h"

#include <commctrl.h>

#include <exception>
#include <utility>

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
constexpr int kClientHeight = 2790;

struct Placement {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;
    int container;  // 0: the window itself
    int left, top, width, height;
};

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
     1815},
    {IDC_LABEL1, L"STATIC", L"Доменное имя", kLabelStyle, IDC_FRAME2, 120, 360, 1215, 255},
    {IDC_TXTDOMAIN, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1440, 360, 4215, 285},
    {IDC_LABEL2, L"STATIC", L"IP-адрес", kLabelStyle, IDC_FRAME2, 120, 720, 1215, 255},
    {IDC_TXTIP, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1440, 720, 4215, 285},
    {IDC_LABEL3, L"STATIC", L"Тип трафика", kLabelStyle, IDC_FRAME2, 120, 1080, 1335, 255},
    {IDC_TXTTRAFFIC, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1440, 1080, 4215, 285},
    {IDC_LABEL4, L"STATIC", L"Страна", kLabelStyle, IDC_FRAME2, 120, 1440, 1335, 255},
    {IDC_TXTCOUNTRY, L"EDIT", L"", kResultStyle, IDC_FRAME2, 1440, 1440, 4215, 285},
};

constexpr int resultBoxId(ResultBox box) {
    switch (box) {
        case ResultBox::txtDomain:
            return IDC_TXTDOMAIN;
        case ResultBox::txtIP:
            return IDC_TXTIP;
        case ResultBox::txtTraffic:
            return IDC_TXTTRAFFIC;
        case ResultBox::txtCountry:
            return IDC_TXTCOUNTRY;
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
             NotifyIconFn notifyIcon)
    : instance_(instance),
      commandLine_(std::move(commandLine)),
      dataDir_(std::move(dataDir)),
      geo_(*this, dataDir_),
      resolver_(*this),
      tray_(notifyIcon) {}

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
        MessageBoxW(hwnd_, toWide(e.what()).c_str(), L"Netsorter", MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxW(hwnd_, L"Непредвиденная ошибка", L"Netsorter", MB_OK | MB_ICONERROR);
    }
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
    // No item has a shortcut: the captions carry no access keys either.
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_FILE_EXIT, L"Выход");
    HMENU view = CreatePopupMenu();
    AppendMenuW(view, MF_STRING, IDM_VIEW_ALWAYS_ON_TOP, L"Всегда впереди");
    AppendMenuW(view, MF_STRING, IDM_VIEW_TO_TRAY, L"Свернуть в трей");
    HMENU settings = CreatePopupMenu();
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_ADD, L"Добавить пункт в меню IE");
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_DEL, L"Удалить пункт из меню IE");
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_ADD_BROWSERS, L"Добавить пункт в меню браузеров");
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_DEL_BROWSERS, L"Удалить пункт из меню браузеров");
    AppendMenuW(settings, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_INTERCEPT, L"Перехватывать [Ctr+C+C]");
    AppendMenuW(settings, MF_STRING, IDM_SETTINGS_AUTOSTART, L"Автозапуск");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, IDM_HELP_ABOUT, L"О программе");

    win::UniqueMenu bar(CreateMenu());
    AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"Файл");
    AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"Вид");
    AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(settings), L"Настройки");
    AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"?");

    // The tray icon's menu, never part of the bar.
    HMENU trayItems = CreatePopupMenu();
    AppendMenuW(trayItems, MF_STRING, IDM_TRAY_OPEN, L"Развернуть");
    mnuTray_.reset(trayItems);
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
    for (const ResultBox box :
         {ResultBox::txtDomain, ResultBox::txtIP, ResultBox::txtTraffic, ResultBox::txtCountry}) {
        SendMessageW(control(resultBoxId(box)), EM_LIMITTEXT, 0, 0);
    }
    SendMessageW(control(IDC_TXTADDRES), EM_LIMITTEXT, 0, 0);
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
            try {
                Form_Initialize();
            } catch (const std::exception& e) {
                startupError_ = toWide(e.what());
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
                default:
                    break;
            }
            return 0;
        case WM_SYSCOMMAND:
            // The close box, the system menu's "Close" and Alt+F4 all arrive here.
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                Form_QueryUnload(kClosedByUser);
                return 0;
            }
            return DefWindowProcW(hwnd_, msg, wParam, lParam);
        case WM_CLOSE:
            // Not the user's close (that came as SC_CLOSE): a task manager's "End task",
            // taskkill or another program asks this program to end.
            if (!Form_QueryUnload(kClosedByOtherProgram)) {
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                Form_QueryUnload(kSessionEnding);
            }
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
    switch (id) {
        case IDC_CMDCHECK:
            cmdCheck_Click();
            break;
        case IDM_FILE_EXIT:
            mnuFileExit_Click();
            break;
        case IDM_VIEW_ALWAYS_ON_TOP:
            mnuViewAllwaysOnTop_Click();
            break;
        case IDM_VIEW_TO_TRAY:
            mnuViewToTray_Click();
            break;
        case IDM_SETTINGS_ADD:
            mnuSettingsAdd_Click();
            break;
        case IDM_SETTINGS_DEL:
            mnuSettingsDel_Click();
            break;
        case IDM_SETTINGS_ADD_BROWSERS:
            mnuSettingsAddBrowsers_Click();
            break;
        case IDM_SETTINGS_DEL_BROWSERS:
            mnuSettingsDelBrowsers_Click();
            break;
        case IDM_SETTINGS_INTERCEPT:
            mnuSettingsIntercept_Click();
            break;
        case IDM_SETTINGS_AUTOSTART:
            mnuSettingsAutostart_Click();
            break;
        case IDM_HELP_ABOUT:
            mnuHelpAbout_Click();
            break;
        case IDM_TRAY_OPEN:
            mnuTrayOpen_Click();
            break;
        default:
            break;
    }
}

void Form1::Form_Initialize() {
    Loaded = false;
    interceptOn_ = settings::interceptOn();
    createControls();
    Form_Load();
    // The keyboard is polled only from here on, so keys pressed during loading never
    // count while interception is off.
    setMenuCheck(IDM_SETTINGS_INTERCEPT, interceptOn_);
    setTimerEnabled(Timer2, interceptOn_);
    autostartOn_ = settings::autostartOn();
    setMenuCheck(IDM_SETTINGS_AUTOSTART, autostartOn_);
    // Start in the tray: "/hide" anywhere in the arguments, letter case as written.
    if (commandLine_.find(L"/hide") != std::wstring::npos) {
        stayHidden_ = true;
        mnuViewToTray_Click();
    }
    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
}

void Form1::Form_Load() {
    // A check that runs while the files are loading (the loading lets events through)
    // must not start a second load of the same files.
    if (Loaded || loading_) {
        return;
    }
    loading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loading_};

    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
    const std::string netsPath = fullName(dataDir_, "nets.txt");
    std::string bytes;
    std::string reason;
    if (!readWholeFile(netsPath, bytes, reason)) {
        throw std::runtime_error("Не удалось открыть файл " + netsPath + "\r\n" + reason);
    }
    nets_.add_nets(decodeText(bytes), [this] { doEvents(); });
    if (!geo_.CountriesIsOK()) {
        geo_.openCountriesFile("countries.txt");
    }
    if (!geo_.DataFileOk()) {
        geo_.openDataFile("GeoIP.dat");
    }
    Loaded = true;
}

void Form1::Form_Activate() {
    if (stayHidden_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
}

void Form1::cmdCheck_Click() {
    checkUrl(*this, "", false);
}

void Form1::checkLink(const std::string& url) {
    if (!Loaded) {
        Form_Load();
    }
    checkUrl(*this, url, true);
}

void Form1::mnuFileExit_Click() {
    if (!Form_QueryUnload(kClosedByProgram)) {
        DestroyWindow(hwnd_);
    }
}

void Form1::mnuViewAllwaysOnTop_Click() {
    const bool checked = menuChecked(IDM_VIEW_ALWAYS_ON_TOP);
    SetWindowPos(hwnd_, checked ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    setMenuCheck(IDM_VIEW_ALWAYS_ON_TOP, !checked);
}

bool Form1::alwaysOnTop() {
    return menuChecked(IDM_VIEW_ALWAYS_ON_TOP);
}

std::string Form1::addressText() {
    return fromWide(windowText(control(IDC_TXTADDRES)));
}

void Form1::setAddressText(const std::string& text) {
    SetWindowTextW(control(IDC_TXTADDRES), toWide(text).c_str());
}

std::string Form1::resultText(ResultBox box) {
    return fromWide(windowText(control(resultBoxId(box))));
}

void Form1::setResultText(ResultBox box, const std::string& text) {
    SetWindowTextW(control(resultBoxId(box)), toWide(text).c_str());
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

void Form1::showTrayBalloon(const std::string& text, const std::string& title) {
    tray_.showTrayBalloon(toWide(text), toWide(title));
}

void Form1::restartTimer1() {
    setTimerEnabled(Timer1, false);
    setTimerEnabled(Timer1, true);
}

MsgAnswer Form1::msgBox(const std::string& text, const std::string& title, MsgIcon icon,
                        MsgButtons buttons) {
    UINT style = buttons == MsgButtons::YesNo ? MB_YESNO | MB_DEFBUTTON1 : MB_OK;
    if (icon == MsgIcon::Critical) {
        style |= MB_ICONERROR;
    } else if (icon == MsgIcon::Information) {
        style |= MB_ICONINFORMATION;
    }
    const int answer = MessageBoxW(hwnd_, toWide(text).c_str(), toWide(title).c_str(), style);
    if (buttons == MsgButtons::Ok) {
        return MsgAnswer::Ok;
    }
    return answer == IDNO ? MsgAnswer::No : MsgAnswer::Yes;
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
