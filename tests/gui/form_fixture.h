// The main window in a test's own process, where its menus, marks, timers and controls can
// be read directly. The data files lie beside the test's executable, as beside the program.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "app/resource.h"
#include "common/files.h"
#include "desktop/win.h"

namespace netsorter::testing {

// The window's keyboard-polling timer (interception), by its identifier.
inline constexpr UINT_PTR kTimer2 = 2;

inline constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";
inline constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

inline std::wstring textOf(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

inline std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

// Handles what is waiting now, without waiting for more.
inline void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

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

// A string value under HKEY_CURRENT_USER, or nothing when it (or its key) is absent.
inline std::optional<std::wstring> readValue(const wchar_t* key, const wchar_t* name) {
    const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key);
    return k ? win::readString(k.get(), name) : std::nullopt;
}

// A string value under HKEY_CURRENT_USER, put back as it was when the test ends.
class RegistryValue {
  public:
    RegistryValue(const wchar_t* key, const wchar_t* name)
        : key_(key), name_(name), saved_(readValue(key, name)) {}
    ~RegistryValue() { set(saved_); }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

    // A value with this text, or no value at all.
    void set(const std::optional<std::wstring>& text) {
        if (text) {
            const win::UniqueKey k = win::createKey(HKEY_CURRENT_USER, key_, KEY_SET_VALUE);
            ASSERT_TRUE(k);
            win::writeString(k.get(), name_, *text);
        } else if (const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key_, KEY_SET_VALUE)) {
            RegDeleteValueW(k.get(), name_);
        }
    }

  private:
    const wchar_t* key_;
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
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
    void clickCheck() {
        SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(IDC_CMDCHECK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control(IDC_CMDCHECK)));
    }
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

// A visible window of that class among the thread's top-level windows, or nothing.
inline HWND threadWindowOfClass(DWORD thread, const wchar_t* wanted) {
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

}  // namespace netsorter::testing
