// The main window as a person sees it: its start on the screen or in the tray, its controls
// and texts, the keyboard, always on top, the close box and "Выход".
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "form_fixture.h"

namespace netsorter {
namespace {

using testing::className;
using testing::pump;
using testing::textOf;
using testing::Window;

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

// What a person reads on the window, row by row from the top, each row from the left: the
// address box beside the button under the first frame's caption, then each result box
// beside its label under the second's. Every control stands where the layout puts it at the
// screen's resolution, inside its frame.
TEST(Window, CaptionLayoutAndLabelsFollowTheDesign) {
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
    EXPECT_EQ(client.bottom, px(3150));
    if (dpi == 96) {
        EXPECT_EQ(client.right, 400);
        EXPECT_EQ(client.bottom, 210);
    }
    const auto placeOf = [&](int id) {
        RECT r{};
        GetWindowRect(window.control(id), &r);
        MapWindowPoints(HWND_DESKTOP, window.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    std::map<int, POINT> origin;  // each control's top left corner in the client area, twips
    for (const Placement& p : windowLayout()) {
        SCOPED_TRACE(p.caption[0] != L'\0' ? p.caption : L"box " + std::to_wstring(p.id));
        const HWND control = window.control(p.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(_wcsicmp(className(control).c_str(), p.className), 0) << p.className;
        EXPECT_EQ(textOf(control), p.caption);
        EXPECT_TRUE(IsWindowVisible(control));
        const POINT inside = p.container != 0 ? origin.at(p.container) : POINT{0, 0};
        origin[p.id] = {inside.x + p.left, inside.y + p.top};
        const RECT r = placeOf(p.id);
        EXPECT_EQ(r.left, px(origin[p.id].x));
        EXPECT_EQ(r.top, px(origin[p.id].y));
        EXPECT_EQ(r.right - r.left, px(p.width));
        EXPECT_EQ(r.bottom - r.top, px(p.height));
        const RECT frame = p.container != 0 ? placeOf(p.container) : client;
        EXPECT_TRUE(r.left >= frame.left && r.top >= frame.top && r.right <= frame.right &&
                    r.bottom <= frame.bottom);
    }
    // The boxes by what they hold; everything else by its caption.
    const std::map<int, std::wstring> boxes = {
        {IDC_TXTADDRES, L"[адрес]"},   {IDC_TXTDOMAIN, L"[домен]"},   {IDC_TXTIP, L"[IP]"},
        {IDC_TXTTRAFFIC, L"[трафик]"}, {IDC_TXTCOUNTRY, L"[страна]"}, {IDC_TXTOWNER, L"[владелец]"},
    };
    // A label may reach under its box as long as its text ends before it.
    const auto textWidth = [&](int id) {
        const HWND label = window.control(id);
        const std::wstring text = textOf(label);
        const HDC dc = GetDC(label);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        return size.cx;
    };
    std::map<LONG, std::map<LONG, int>> byRow;
    for (const Placement& p : windowLayout()) {
        const RECT r = placeOf(p.id);
        byRow[r.top][r.left] = p.id;
    }
    std::vector<std::vector<std::wstring>> read;
    for (const auto& [top, row] : byRow) {
        read.emplace_back();
        LONG end = 0;
        for (const auto& [left, id] : row) {
            const auto box = boxes.find(id);
            read.back().push_back(box != boxes.end() ? box->second : textOf(window.control(id)));
            EXPECT_LE(end, left) << "hidden under its right neighbour";
            end = className(window.control(id)) == L"Static" ? left + textWidth(id)
                                                             : placeOf(id).right;
        }
    }
    const std::vector<std::vector<std::wstring>> expected = {
        {L"Проверка адреса"},     {L"[адрес]", L"Пр&оверить"},
        {L"Информация"},          {L"Доменное имя", L"[домен]"},
        {L"IP-адрес", L"[IP]"},   {L"Тип трафика", L"[трафик]"},
        {L"Страна", L"[страна]"}, {L"Владелец сети", L"[владелец]"},
    };
    EXPECT_EQ(read, expected);
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
    for (const int id : {IDC_TXTDOMAIN, IDC_TXTIP, IDC_TXTTRAFFIC, IDC_TXTCOUNTRY, IDC_TXTOWNER}) {
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

}  // namespace
}  // namespace netsorter
