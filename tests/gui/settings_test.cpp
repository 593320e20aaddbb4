// The toggles of the menu "Настройки" in this test's own process, where the menu marks can
// be read (another process cannot read them under wine): each use inverts the mark and the
// stored setting together.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/resource.h"
#include "desktop/win.h"

namespace netsorter {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT_PTR kTimer2 = 2;

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// A string value under HKEY_CURRENT_USER, or nothing when it (or its key) is absent.
std::optional<std::wstring> readValue(const wchar_t* key, const wchar_t* name) {
    const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key);
    return k ? win::readString(k.get(), name) : std::nullopt;
}

bool keyExists(const wchar_t* key) {
    return static_cast<bool>(win::openKey(HKEY_CURRENT_USER, key));
}

void writeValue(const wchar_t* key, const wchar_t* name, const std::optional<std::wstring>& text) {
    const win::UniqueKey k = win::createKey(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(k);
    if (text) {
        win::writeString(k.get(), name, *text);
    } else {
        RegDeleteValueW(k.get(), name);
    }
}

// Puts a value back as it was when the test ends.
class SavedValue {
  public:
    SavedValue(const wchar_t* key, const wchar_t* name)
        : key_(key), name_(name), saved_(readValue(key, name)) {}
    ~SavedValue() {
        if (saved_ || keyExists(key_)) {
            writeValue(key_, name_, saved_);
        }
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

  private:
    const wchar_t* key_;
    const wchar_t* name_;
    std::optional<std::wstring> saved_;
};

class Window {
  public:
    Window() : form_(std::make_unique<Form1>(GetModuleHandleW(nullptr), L"")) {
        created_ = form_->create();
        if (created_) {
            form_->show();
            pump();
        }
    }
    ~Window() {
        form_.reset();
        pump();
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool created() const { return created_; }
    HWND hwnd() const { return form_->hwnd(); }
    bool checked(UINT id) const {
        return (GetMenuState(GetMenu(hwnd()), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
    void command(UINT id) { SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  private:
    std::unique_ptr<Form1> form_;
    bool created_ = false;
};

TEST(SettingsMenu, InterceptionToggleInvertsMarkStoredSettingAndPolling) {
    struct Row {
        std::optional<std::wstring> stored;  // "intercept" at start
        bool on;                             // the state at start
    };
    const Row rows[] = {{std::nullopt, false}, {L"1", true}};
    const SavedValue saved(kSettingsKey, L"intercept");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.on ? "starting on" : "starting off");
        if (row.stored) {
            writeValue(kSettingsKey, L"intercept", row.stored);
        } else {
            RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        }
        Window window;
        ASSERT_TRUE(window.created());
        bool on = row.on;
        for (int use = 0; use < 3; ++use) {
            window.command(IDM_SETTINGS_INTERCEPT);
            on = !on;
            EXPECT_EQ(window.checked(IDM_SETTINGS_INTERCEPT), on);
            EXPECT_EQ(readValue(kSettingsKey, L"intercept"),
                      on ? std::optional<std::wstring>(L"1") : std::nullopt);
            EXPECT_EQ(keyExists(kSettingsKey), on);
        }
        // Killing a timer succeeds exactly when it runs (the window goes right after).
        EXPECT_EQ(KillTimer(window.hwnd(), kTimer2) != FALSE, on);
    }
}

TEST(SettingsMenu, AutostartToggleInvertsMarkAndRunValue) {
    const std::wstring command = L"\"" + win::exePath() + L"\" /hide";
    struct Row {
        std::optional<std::wstring> stored;  // the Run value at start
        bool on;
    };
    const Row rows[] = {{std::nullopt, false}, {L"C:\\elsewhere\\other.exe", true}};
    const SavedValue saved(kRunKey, L"Netsorter");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.on ? "starting on" : "starting off");
        writeValue(kRunKey, L"Netsorter", row.stored);
        Window window;
        ASSERT_TRUE(window.created());
        bool on = row.on;
        for (int use = 0; use < 3; ++use) {
            window.command(IDM_SETTINGS_AUTOSTART);
            on = !on;
            EXPECT_EQ(window.checked(IDM_SETTINGS_AUTOSTART), on);
            EXPECT_EQ(readValue(kRunKey, L"Netsorter"),
                      on ? std::optional<std::wstring>(command) : std::nullopt);
            EXPECT_TRUE(keyExists(kRunKey));
        }
    }
}

}  // namespace
}  // namespace netsorter
