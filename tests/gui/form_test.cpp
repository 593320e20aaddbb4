// The main window in this test's own process, where its menus, marks, timers and controls
// can be read directly. The data files lie beside this executable, as beside the program.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/form1.h"
#include "app/resource.h"
#include "common/files.h"
#include "common/wide.h"
#include "desktop/automation.h"
#include "desktop/win.h"
#include "temp_dir.h"
#include "test_engines.h"

namespace netsorter {
namespace {

// The window's keyboard-polling timer (interception), by its identifier.
constexpr UINT_PTR kTimer2 = 2;

constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring textOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

// Handles what is waiting now, without waiting for more.
void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// A value under HKEY_CURRENT_USER, put back as it was when the test ends.
class RegistryValue {
  public:
    RegistryValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
        if (const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key_)) {
            DWORD size = 0;
            if (RegQueryValueExW(k.get(), name_, nullptr, &savedType_, nullptr, &size) ==
                ERROR_SUCCESS) {
                saved_.emplace(size, BYTE{0});
                RegQueryValueExW(k.get(), name_, nullptr, &savedType_, saved_->data(), &size);
            }
        }
    }
    ~RegistryValue() {
        if (saved_) {
            write(saved_->data(), saved_->size(), savedType_);
        } else {
            erase();
        }
    }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

    // A string value with this text, or no value at all.
    void set(const std::optional<std::wstring>& text) {
        if (text) {
            write(reinterpret_cast<const BYTE*>(text->c_str()),
                  (text->size() + 1) * sizeof(wchar_t), REG_SZ);
        } else {
            erase();
        }
    }

  private:
    void write(const BYTE* bytes, size_t size, DWORD type) {
        const win::UniqueKey k = win::createKey(HKEY_CURRENT_USER, key_, KEY_SET_VALUE);
        ASSERT_TRUE(k);
        RegSetValueExW(k.get(), name_, 0, type, bytes, static_cast<DWORD>(size));
    }
    void erase() {
        if (const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key_, KEY_SET_VALUE)) {
            RegDeleteValueW(k.get(), name_);
        }
    }

    const wchar_t* key_;
    const wchar_t* name_;
    std::optional<std::vector<BYTE>> saved_;
    DWORD savedType_ = REG_SZ;
};

// One main window, created and shown as the program's entry does it, destroyed with the
// test; the quit request its end leaves behind is swallowed so the next window starts clean.
// (Under wine without a window manager, hiding or destroying a shown window waits 2 s for
// the manager that never answers; tests that need no shown window skip showing it.)
class Window {
  public:
    explicit Window(const std::wstring& commandLine = L"", bool show = true,
                    const std::string& dataDir = programDir(),
                    NotifyIconFn notifyIcon = Shell_NotifyIconW,
                    std::unique_ptr<NameResolver> resolver = nullptr)
        : form_(std::make_unique<Form1>(GetModuleHandleW(nullptr), commandLine, dataDir, notifyIcon,
                                        std::move(resolver))) {
        created_ = form_->create();
        if (created_ && show) {
            form_->show();
            pump();
        }
    }
    ~Window() {
        form_.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool created() const { return created_; }
    Form1& form() { return *form_; }
    HWND hwnd() const { return form_->hwnd(); }
    HWND control(int id) const { return GetDlgItem(hwnd(), id); }
    HMENU menu() const { return GetMenu(hwnd()); }
    bool checked(UINT id) const {
        return (GetMenuState(menu(), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    bool visible() const { return IsWindowVisible(hwnd()) != FALSE; }
    bool topmost() const { return (GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
    void command(UINT id) { SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // Whether the shell holds an icon for this window's notifier (modifying nothing
    // succeeds exactly then).
    bool trayIcon() const { return trayIconOf(control(IDC_PICNOTIFIER)); }
    static bool trayIconOf(HWND notifier) {
        NOTIFYICONDATAW data{};
        data.cbSize = NOTIFYICONDATAW_V2_SIZE;
        data.hWnd = notifier;
        data.uID = 1;
        return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }

  private:
    std::unique_ptr<Form1> form_;
    bool created_ = false;
};

// The window's menu bar as "Menu/Item" paths in their order; a separator is "Menu/-".
std::vector<std::pair<std::wstring, UINT>> menuBarItems(HMENU bar,
                                                        std::vector<std::wstring>& captions) {
    std::vector<std::pair<std::wstring, UINT>> items;
    const auto caption = [](HMENU menu, int at) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(at), text, 256, MF_BYPOSITION);
        return std::wstring(text);
    };
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        const std::wstring top = caption(bar, i);
        captions.push_back(top);
        const HMENU sub = GetSubMenu(bar, i);
        for (int j = 0; sub != nullptr && j < GetMenuItemCount(sub); ++j) {
            if (GetMenuState(sub, static_cast<UINT>(j), MF_BYPOSITION) & MF_SEPARATOR) {
                items.emplace_back(top + L"/-", 0);
                continue;
            }
            const std::wstring item = caption(sub, j);
            captions.push_back(item);
            items.emplace_back(top + L"/" + item, GetMenuItemID(sub, j));
        }
    }
    return items;
}

TEST(Startup, SettingsFromRegistrySetMarksAndKeyboardPolling) {
    struct Row {
        std::optional<std::wstring> intercept;
        std::optional<std::wstring> run;
        bool interceptOn;
        bool autostartOn;
    };
    const Row rows[] = {
        {std::nullopt, std::nullopt, false, false},
        {L"1", L"C:\\Program Files\\Netsorter\\Netsorter.exe /hide", true, true},
        {L"0", L"notepad.exe", false, true},
        {L" 1", L"", false, false},
        {L"1 ", std::nullopt, false, false},
        {L"", L" ", false, true},
        {L"11", L"x", false, true},
        {L"1", std::nullopt, true, false},
    };
    RegistryValue intercept(kSettingsKey, L"intercept");
    RegistryValue run(kRunKey, L"Netsorter");
    for (const Row& row : rows) {
        SCOPED_TRACE(L"intercept " + row.intercept.value_or(L"(absent)") + L", Run " +
                     row.run.value_or(L"(absent)"));
        intercept.set(row.intercept);
        run.set(row.run);
        Window window(L"", false);
        ASSERT_TRUE(window.created());
        EXPECT_EQ(window.checked(IDM_SETTINGS_INTERCEPT), row.interceptOn);
        EXPECT_EQ(window.checked(IDM_SETTINGS_AUTOSTART), row.autostartOn);
        // Killing a timer succeeds exactly when it runs.
        EXPECT_EQ(KillTimer(window.hwnd(), kTimer2) != FALSE, row.interceptOn);
        EXPECT_FALSE(window.checked(IDM_VIEW_ALWAYS_ON_TOP));
    }
}

TEST(Startup, HideSwitchAnywhereInTheArgumentsStartsInTheTray) {
    struct Row {
        const wchar_t* arguments;
        bool hidden;
    };
    const Row rows[] = {
        {L"", false},      {L"/hide", true},   {L"/HIDE", false},
        {L"/Hide", false}, {L"x/hidey", true}, {L"-Embedding /hide", true},
        {L"/hid", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        Window window(row.arguments);
        ASSERT_TRUE(window.created());
        EXPECT_EQ(window.visible(), !row.hidden);
        EXPECT_EQ(window.trayIcon(), row.hidden);
    }
}

TEST(Window, CaptionLayoutAndLabelsFollowTheDesign) {
    struct Row {
        int id;
        const wchar_t* className;
        const wchar_t* caption;
        int left, top, width, height;  // twips, in the window's client area
    };
    // Frame1 at (120, 0), Frame2 at (120, 840); their controls are placed inside them.
    const Row rows[] = {
        {IDC_FRAME1, L"Button", L"Проверка адреса", 120, 0, 5775, 735},
        {IDC_TXTADDRES, L"Edit", L"", 240, 240, 4215, 375},
        {IDC_CMDCHECK, L"Button", L"Пр&оверить", 4560, 240, 1215, 375},
        {IDC_FRAME2, L"Button", L"Информация", 120, 840, 5775, 1815},
        {IDC_LABEL1, L"Static", L"Доменное имя", 240, 1200, 1215, 255},
        {IDC_TXTDOMAIN, L"Edit", L"", 1560, 1200, 4215, 285},
        {IDC_LABEL2, L"Static", L"IP-адрес", 240, 1560, 1215, 255},
        {IDC_TXTIP, L"Edit", L"", 1560, 1560, 4215, 285},
        {IDC_LABEL3, L"Static", L"Тип трафика", 240, 1920, 1335, 255},
        {IDC_TXTTRAFFIC, L"Edit", L"", 1560, 1920, 4215, 285},
        {IDC_LABEL4, L"Static", L"Страна", 240, 2280, 1335, 255},
        {IDC_TXTCOUNTRY, L"Edit", L"", 1560, 2280, 4215, 285},
    };
    Window window;
    ASSERT_TRUE(window.created());
    EXPECT_EQ(textOf(window.hwnd()), L"Netsorter - Проверка IP");

    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, px(6000));
    EXPECT_EQ(client.bottom, px(2790));
    if (dpi == 96) {
        EXPECT_EQ(client.right, 400);
        EXPECT_EQ(client.bottom, 186);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption[0] != L'\0' ? row.caption : L"box " + std::to_wstring(row.id));
        const HWND control = window.control(row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(className(control), row.className);
        EXPECT_EQ(textOf(control), row.caption);
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, window.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, px(row.left));
        EXPECT_EQ(r.top, px(row.top));
        EXPECT_EQ(r.right - r.left, px(row.width));
        EXPECT_EQ(r.bottom - r.top, px(row.height));
        EXPECT_TRUE(IsWindowVisible(control));
    }
    // The notifier only receives the tray's notifications.
    EXPECT_FALSE(IsWindowVisible(window.control(IDC_PICNOTIFIER)));
}

TEST(Window, AddressBoxHasTheFocusAndTabGoesToTheButton) {
    Window window;
    ASSERT_TRUE(window.created());
    EXPECT_EQ(GetFocus(), window.control(IDC_TXTADDRES));

    // Tab as a person presses it, through the window's keyboard navigation.
    const auto pressTab = [&] {
        MSG msg{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        if (!window.form().preTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        pump();
        return GetFocus();
    };
    std::vector<HWND> cycle{GetFocus()};
    bool closed = false;
    for (int i = 0; i < 20 && !closed; ++i) {
        const HWND next = pressTab();
        closed = next == cycle.front();
        if (!closed) {
            cycle.push_back(next);
        }
    }
    EXPECT_TRUE(closed) << "Tab comes back to the address box";
    ASSERT_GE(cycle.size(), 2u);
    EXPECT_EQ(cycle[0], window.control(IDC_TXTADDRES));
    EXPECT_EQ(cycle[1], window.control(IDC_CMDCHECK));
}

TEST(Window, ResultBoxesAreReadOnlyOnTheButtonFace) {
    Window window;
    ASSERT_TRUE(window.created());
    const auto backgroundAt = [&](int id) {
        const HWND box = window.control(id);
        SetWindowTextW(box, L"");
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        RECT r{};
        GetClientRect(box, &r);
        const HDC dc = GetDC(box);
        const COLORREF color = GetPixel(dc, r.right / 2, r.bottom / 2);
        ReleaseDC(box, dc);
        return color;
    };
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (const int id : {IDC_TXTDOMAIN, IDC_TXTIP, IDC_TXTTRAFFIC, IDC_TXTCOUNTRY}) {
        SCOPED_TRACE(id);
        const HWND box = window.control(id);
        EXPECT_NE(GetWindowLongPtrW(box, GWL_STYLE) & ES_READONLY, 0);
        SetWindowTextW(box, L"результат");
        SetFocus(box);
        SendMessageW(box, WM_CHAR, L'x', 0);
        SendMessageW(box, WM_KEYDOWN, VK_BACK, 0);
        SendMessageW(box, WM_CHAR, VK_BACK, 0);
        EXPECT_EQ(textOf(box), L"результат");
        EXPECT_EQ(backgroundAt(id), face);
    }
    // The address box takes typing and has the window's own colour.
    const HWND address = window.control(IDC_TXTADDRES);
    SetWindowTextW(address, L"");
    SetFocus(address);
    SendMessageW(address, WM_CHAR, L'x', 0);
    EXPECT_EQ(textOf(address), L"x");
    if (GetSysColor(COLOR_WINDOW) != face) {
        EXPECT_EQ(backgroundAt(IDC_TXTADDRES), GetSysColor(COLOR_WINDOW));
    }
}

// The longest IPv6 address, 39 characters, fits the IP box whole, also at 150 %.
TEST(Window, TheLongestIpv6AddressFitsTheIpBox) {
    Window window(L"", false);
    ASSERT_TRUE(window.created());
    const auto widestText = [&]() {
        const HWND box = window.control(IDC_TXTIP);
        const HDC dc = GetDC(box);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
        int widest = 0;
        for (const wchar_t digit : std::wstring(L"123456789abcdef")) {
            std::wstring text;
            for (int group = 0; group < 8; ++group) {
                text += (group ? L":" : L"") + std::wstring(4, digit);
            }
            SIZE size{};
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            widest = std::max<int>(widest, size.cx);
        }
        SelectObject(dc, old);
        ReleaseDC(box, dc);
        return widest;
    };
    const auto room = [&]() {
        const HWND box = window.control(IDC_TXTIP);
        RECT r{};
        SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
        return static_cast<int>(r.right - r.left);
    };
    EXPECT_LE(widestText(), room()) << "at 100 %";
    // What the system sends when the window moves to a monitor at 150 %.
    RECT at{};
    GetWindowRect(window.hwnd(), &at);
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&at));
    EXPECT_LE(widestText(), room()) << "at 150 %";
}

TEST(Menus, CaptionsInTheirOrderAndTheirCommands) {
    Window window(L"", false);
    ASSERT_TRUE(window.created());
    std::vector<std::wstring> captions;
    const auto items = menuBarItems(window.menu(), captions);
    const std::vector<std::pair<std::wstring, UINT>> expected = {
        {L"Файл/Выход", IDM_FILE_EXIT},
        {L"Вид/Всегда впереди", IDM_VIEW_ALWAYS_ON_TOP},
        {L"Вид/Свернуть в трей", IDM_VIEW_TO_TRAY},
        {L"Настройки/Добавить пункт в меню IE", IDM_SETTINGS_ADD},
        {L"Настройки/Удалить пункт из меню IE", IDM_SETTINGS_DEL},
        {L"Настройки/Добавить пункт в меню браузеров", IDM_SETTINGS_ADD_BROWSERS},
        {L"Настройки/Удалить пункт из меню браузеров", IDM_SETTINGS_DEL_BROWSERS},
        {L"Настройки/-", 0},
        {L"Настройки/Перехватывать [Ctr+C+C]", IDM_SETTINGS_INTERCEPT},
        {L"Настройки/Автозапуск", IDM_SETTINGS_AUTOSTART},
        {L"Настройки/-", 0},
        {L"Настройки/База стран…", IDM_SETTINGS_COUNTRY_DB},
        {L"?/О программе", IDM_HELP_ABOUT},
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(captions.front(), L"Файл");
    // No item has a shortcut: no access key, no accelerator text.
    for (const std::wstring& caption : captions) {
        SCOPED_TRACE(caption);
        EXPECT_EQ(caption.find(L'&'), std::wstring::npos);
        EXPECT_EQ(caption.find(L'\t'), std::wstring::npos);
    }
}

// A visible window of that class among the thread's top-level windows, or nothing.
HWND threadWindowOfClass(DWORD thread, const wchar_t* wanted) {
    struct Search {
        const wchar_t* wanted;
        HWND found;
        // A plain function, not a lambda: the callback must be stdcall on 32-bit Windows.
        static BOOL CALLBACK visit(HWND hwnd, LPARAM param) {
            auto* search = reinterpret_cast<Search*>(param);
            if (className(hwnd) == search->wanted && IsWindowVisible(hwnd)) {
                search->found = hwnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    Search search{wanted, nullptr};
    EnumThreadWindows(thread, Search::visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The popup menu that is open on this thread, or nothing.
HWND openPopupMenu(DWORD thread) {
    return threadWindowOfClass(thread, L"#32768");
}

TEST(Tray, RightButtonMenuShowsOnlyRestoreAndChoosingItRestores) {
    Window window(L"/hide");
    ASSERT_TRUE(window.created());
    ASSERT_FALSE(window.visible());
    ASSERT_TRUE(window.trayIcon());

    // The menu runs its own loop on this thread; a helper reads it and picks the item
    // with the keyboard, as a person would.
    std::vector<std::pair<std::wstring, UINT>> shown;
    std::atomic<bool> seen{false};
    const DWORD uiThread = GetCurrentThreadId();
    std::thread reader([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        HWND popup = nullptr;
        while ((popup = openPopupMenu(uiThread)) == nullptr &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (popup == nullptr) {
            return;
        }
        const auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            shown.emplace_back(text, GetMenuItemID(menu, i));
        }
        seen = true;
        PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    });
    SendMessageW(window.control(IDC_PICNOTIFIER), WM_MOUSEMOVE, 1, WM_RBUTTONDOWN);
    reader.join();
    pump();

    ASSERT_TRUE(seen) << "no popup menu opened";
    const std::vector<std::pair<std::wstring, UINT>> expected = {{L"Развернуть", IDM_TRAY_OPEN}};
    EXPECT_EQ(shown, expected);
    EXPECT_TRUE(window.visible());
    EXPECT_FALSE(window.trayIcon());
}

TEST(Tray, MouseOverTheIconAndOtherButtonsDoNothing) {
    Window window(L"/hide");
    ASSERT_TRUE(window.created());
    for (const UINT event :
         {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        SCOPED_TRACE(event);
        SendMessageW(window.control(IDC_PICNOTIFIER), WM_MOUSEMOVE, 1, event);
        pump();
        EXPECT_FALSE(window.visible());
        EXPECT_TRUE(window.trayIcon());
    }
    SendMessageW(window.control(IDC_PICNOTIFIER), WM_MOUSEMOVE, 1, WM_LBUTTONDOWN);
    pump();
    EXPECT_TRUE(window.visible());
    EXPECT_FALSE(window.trayIcon());
}

// A notification area of the test's own: not ready (every add refused) until the test
// says so, and, when told, busy with a removal until the test lets it go.
class FakeShell {
  public:
    FakeShell() { current_ = this; }
    ~FakeShell() {
        release();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return removalsUnderWay_ == 0; });
        current_ = nullptr;
    }
    FakeShell(const FakeShell&) = delete;
    FakeShell& operator=(const FakeShell&) = delete;

    static BOOL WINAPI notifyIcon(DWORD message, PNOTIFYICONDATAW data) {
        return current_->handle(message, *data);
    }

    void setReady(bool ready) {
        const std::lock_guard lock(mutex_);
        ready_ = ready;
    }
    void holdRemovals() {
        const std::lock_guard lock(mutex_);
        holdRemovals_ = true;
    }
    void release() {
        const std::lock_guard lock(mutex_);
        holdRemovals_ = false;
        changed_.notify_all();
    }
    bool icon() {
        const std::lock_guard lock(mutex_);
        return icon_;
    }
    bool removalAsked() {
        const std::lock_guard lock(mutex_);
        return removalsAsked_ > 0;
    }
    // Each balloon shown on the icon: its title and its text.
    std::vector<std::pair<std::wstring, std::wstring>> balloons() {
        const std::lock_guard lock(mutex_);
        return balloons_;
    }

  private:
    static inline FakeShell* current_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool holdRemovals_ = false;
    bool icon_ = false;
    int removalsAsked_ = 0;
    int removalsUnderWay_ = 0;
    std::vector<std::pair<std::wstring, std::wstring>> balloons_;

    BOOL handle(DWORD message, const NOTIFYICONDATAW& data) {
        std::unique_lock lock(mutex_);
        switch (message) {
            case NIM_ADD:
                if (!ready_ || icon_) {
                    return FALSE;
                }
                icon_ = true;
                return TRUE;
            case NIM_MODIFY:
                if (icon_ && (data.uFlags & NIF_INFO) != 0 && data.szInfo[0] != L'\0') {
                    balloons_.emplace_back(data.szInfoTitle, data.szInfo);
                }
                return icon_;
            case NIM_DELETE: {
                ++removalsAsked_;
                ++removalsUnderWay_;
                changed_.wait(lock, [this] { return !holdRemovals_; });
                --removalsUnderWay_;
                changed_.notify_all();
                const bool had = icon_;
                icon_ = false;
                return had;
            }
            default:
                return FALSE;
        }
    }
};

// Pumps this thread's messages until probe() holds or 30 s have passed.
template <class Probe>
bool pumpUntil(Probe&& probe) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!probe()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(Tray, IconComesOnceTheShellIsReady) {
    // At logon the program may start before the notification area exists: the icon that
    // should be shown comes when the shell announces itself, or at a later try.
    struct Row {
        const char* what;
        const wchar_t* arguments;
        bool announced;
        bool icon;
    };
    const Row rows[] = {
        {"in the tray, the shell announces itself", L"/hide", true, true},
        {"in the tray, the shell says nothing", L"/hide", false, true},
        {"on the screen, the shell announces itself", L"", true, false},
    };
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeShell shell;
        Window window(row.arguments, false, programDir(), FakeShell::notifyIcon);
        ASSERT_TRUE(window.created());
        ASSERT_FALSE(shell.icon());
        shell.setReady(true);
        if (row.announced) {
            SendMessageW(window.hwnd(), taskbarCreated, 0, 0);
            EXPECT_EQ(shell.icon(), row.icon);
        } else {
            EXPECT_TRUE(pumpUntil([&] { return shell.icon(); }));
        }
    }
}

TEST(Tray, ExitDoesNotWaitForABusyShell) {
    FakeShell shell;
    shell.setReady(true);
    Window window(L"/hide", false, programDir(), FakeShell::notifyIcon);
    ASSERT_TRUE(window.created());
    ASSERT_TRUE(shell.icon());
    shell.holdRemovals();
    // Should the exit wait for the shell after all, the shell lets go after a while, and
    // the exit is seen to have come only after that.
    std::promise<void> exitReturned;
    std::thread watchdog([&shell, returned = exitReturned.get_future()] {
        returned.wait_for(std::chrono::seconds(20));
        shell.release();
    });
    const HWND hwnd = window.hwnd();
    window.command(IDM_FILE_EXIT);
    const bool shellStillBusy = shell.icon();
    exitReturned.set_value();
    watchdog.join();

    EXPECT_TRUE(shellStillBusy) << "the exit waited for the shell";
    EXPECT_TRUE(shell.removalAsked());
    EXPECT_FALSE(IsWindow(hwnd));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(Window, AlwaysOnTopTogglesAndGoingToTheTraySwitchesItOff) {
    Window window;
    ASSERT_TRUE(window.created());
    ASSERT_FALSE(window.topmost());
    struct Step {
        UINT command;
        bool marked, topmost, visible, icon;
    };
    const Step steps[] = {
        {IDM_VIEW_ALWAYS_ON_TOP, true, true, true, false},
        {IDM_VIEW_ALWAYS_ON_TOP, false, false, true, false},
        {IDM_VIEW_ALWAYS_ON_TOP, true, true, true, false},
        {IDM_VIEW_TO_TRAY, false, false, false, true},
        {IDM_TRAY_OPEN, false, false, true, false},
        {IDM_VIEW_ALWAYS_ON_TOP, true, true, true, false},
    };
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(++n));
        window.command(step.command);
        EXPECT_EQ(window.checked(IDM_VIEW_ALWAYS_ON_TOP), step.marked);
        EXPECT_EQ(window.topmost(), step.topmost);
        EXPECT_EQ(window.visible(), step.visible);
        EXPECT_EQ(window.trayIcon(), step.icon);
    }
}

TEST(Window, CloseBoxGoesToTheTrayAndExitEndsTheProgram) {
    Window window;
    ASSERT_TRUE(window.created());
    const HWND notifier = window.control(IDC_PICNOTIFIER);
    // What the close box, the system menu and Alt+F4 send.
    SendMessageW(window.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(window.hwnd()));
    EXPECT_FALSE(window.visible());
    EXPECT_TRUE(window.trayIcon());
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));

    const HWND hwnd = window.hwnd();
    window.command(IDM_FILE_EXIT);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(Window::trayIconOf(notifier));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

// --- the check as the window shows it ---

// The tests' own data: two subnets, a names table of two countries over a one-node database
// (addresses from 128.0.0.0 up are country 1, the others country 2).
class CheckData {
  public:
    CheckData() {
        dir_.write("nets.txt", "# Частные сети\n10.0.0.0/8\n# Документация\n192.0.2.0/24\n");
        dir_.write("countries.txt", "1\tUH\tUHX\tВерх\tEU\n2\tНиз\n");
        dir_.write("GeoIP.dat", std::string("\x02\xFF\xFF\x01\xFF\xFF", 6));
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
    std::wstring domain, ip, traffic, country;
    bool visible = false;
    bool icon = false;
    bool operator==(const Shown&) const = default;
};

Shown shownBy(const Window& window, FakeShell& shell) {
    return {textOf(window.control(IDC_TXTDOMAIN)),
            textOf(window.control(IDC_TXTIP)),
            textOf(window.control(IDC_TXTTRAFFIC)),
            textOf(window.control(IDC_TXTCOUNTRY)),
            window.visible(),
            shell.icon()};
}

using Balloons = std::vector<std::pair<std::wstring, std::wstring>>;

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
        EXPECT_EQ(whileAsking,
                  (Shown{checking, checking, checking, checking, !fromOutside, fromOutside}));
        EXPECT_EQ(shownBy(window, shell), (Shown{L"multi.test", L"10.9.8.7", L"Частные сети",
                                                 L"Низ", !fromOutside, fromOutside}));
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
                         L"Частные сети", L"Низ", !inTray, inTray}));
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
                                             L"Документация", L"Низ", false, true}));
    EXPECT_EQ(shell.balloons(), (Balloons{{L"192.0.2.10", L"Документация\r\nВерх (UH)"},
                                          {L"192.0.2.10", L"Документация\r\nНиз"}}));
    EXPECT_EQ(textOf(window.control(IDC_TXTADDRES)), L"192.0.2.10");
}

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
        IDispatch* clicker = nullptr;
        HRESULT hr = CoCreateInstance(automation::CLSID_qvClicker, nullptr, CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, reinterpret_cast<void**>(&clicker));
        if (FAILED(hr)) {
            ready_ = true;
            return hr;
        }
        std::wstring name = L"checkLink";
        LPOLESTR names[] = {name.data()};
        DISPID id = 0;
        hr = clicker->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (SUCCEEDED(hr)) {
            VARIANT argument;
            VariantInit(&argument);
            V_VT(&argument) = VT_BSTR;
            V_BSTR(&argument) = SysAllocString(url);
            DISPPARAMS params{&argument, nullptr, 1, 0};
            ready_ = true;
            go_.get_future().wait();
            hr = clicker->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 nullptr, nullptr, nullptr);
            VariantClear(&argument);
        }
        ready_ = true;
        clicker->Release();
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
        SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_CMDCHECK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window.control(IDC_CMDCHECK)));
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

// The program's data files copied to a directory of their own, removed again at the end.
class DataCopy {
  public:
    DataCopy() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path_ = std::filesystem::path(temp) /
                (L"netsorter-form-" + std::to_wstring(GetCurrentProcessId()));
        std::filesystem::create_directories(path_);
        const std::filesystem::path here = toWide(programDir());
        for (const wchar_t* name : {L"nets.txt", L"countries.txt", L"GeoIP.dat"}) {
            std::filesystem::copy_file(here / name, path_ / name,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    ~DataCopy() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    DataCopy(const DataCopy&) = delete;
    DataCopy& operator=(const DataCopy&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string dir() const { return fromWide(path_.wstring()); }

  private:
    std::filesystem::path path_;
};

// A failure inside a handler is shown to the user and the program goes on. The loading
// step that every check ends with is made to fail: the subnet list is removed after start
// and the window is told it is not loaded yet.
TEST(Failure, FailureInAHandlerIsReportedAndTheProgramGoesOn) {
    const DataCopy data;
    Window window(L"", true, data.dir());
    ASSERT_TRUE(window.created());
    ASSERT_TRUE(DeleteFileW((data.path() / L"nets.txt").c_str()));
    window.form().Loaded = false;
    SetWindowTextW(window.control(IDC_TXTADDRES), L"");

    MessageBoxAnswerer answerer(GetCurrentThreadId());
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_CMDCHECK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window.control(IDC_CMDCHECK)));
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
