// The tray icon: its menu and its buttons, its coming once the shell is ready, and an exit
// that does not wait for a busy shell.
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "form_fixture.h"

namespace netsorter {
namespace {

using testing::FakeShell;
using testing::pump;
using testing::pumpUntil;
using testing::threadWindowOfClass;
using testing::Window;

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

}  // namespace
}  // namespace netsorter
