// The menu bar and the toggles of the menu "Настройки" in this test's own process, where the
// menu marks can be read (another process cannot read them under wine): the marks follow the
// stored settings at start, and each use inverts the mark and the stored setting together.
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/menu.h"
#include "desktop/settings.h"
#include "form_fixture.h"

namespace netsorter {
namespace {

using testing::kRunKey;
using testing::kSettingsKey;
using testing::kTimer2;
using testing::readValue;
using testing::RegistryValue;
using testing::Window;

bool keyExists(const wchar_t* key) {
    return static_cast<bool>(win::openKey(HKEY_CURRENT_USER, key));
}

// The menu bar as the table's "Menu/Item" paths with their ids, in their order; a separator
// is "Menu/-" with id 0.
std::vector<std::pair<std::wstring, UINT>> menuBarItems(HMENU bar) {
    std::vector<std::pair<std::wstring, UINT>> items;
    const auto caption = [](HMENU menu, int at) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(at), text, 256, MF_BYPOSITION);
        return std::wstring(text);
    };
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        const std::wstring top = caption(bar, i);
        const HMENU sub = GetSubMenu(bar, i);
        for (int j = 0; sub != nullptr && j < GetMenuItemCount(sub); ++j) {
            const bool separator =
                GetMenuState(sub, static_cast<UINT>(j), MF_BYPOSITION) & MF_SEPARATOR;
            items.emplace_back(top + L"/" + (separator ? L"-" : caption(sub, j)),
                               separator ? 0 : GetMenuItemID(sub, j));
        }
    }
    return items;
}

// The bar shows the menu table, in its order, without the tray icon's menu; a person reads
// the menus in this order, and no item has a shortcut: no access key, no accelerator text.
TEST(Menus, CaptionsInTheirOrderAndTheirCommands) {
    Window window(L"", false);
    ASSERT_TRUE(window.created());
    std::vector<std::pair<std::wstring, UINT>> table;
    for (const MenuCommand& command : menuCommands()) {
        if (command.menu() != kTrayMenu) {
            table.emplace_back(command.path, command.id);
        }
    }
    const auto shown = menuBarItems(window.menu());
    EXPECT_EQ(shown, table);
    std::vector<std::wstring> menus;
    std::set<UINT> ids;
    for (const auto& [path, id] : shown) {
        SCOPED_TRACE(path);
        EXPECT_EQ(path.find_first_of(L"&\t"), std::wstring::npos);
        EXPECT_TRUE(id == 0 || ids.insert(id).second) << "two items with one command";
        const std::wstring menu = path.substr(0, path.find(L'/'));
        if (menus.empty() || menus.back() != menu) {
            menus.push_back(menu);
        }
    }
    EXPECT_EQ(menus, (std::vector<std::wstring>{L"Файл", L"Вид", L"Настройки", L"?"}));
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

TEST(SettingsMenu, InterceptionToggleInvertsMarkStoredSettingAndPolling) {
    struct Row {
        std::optional<std::wstring> stored;  // "intercept" at start
        bool on;                             // the state at start
    };
    const Row rows[] = {{std::nullopt, false}, {L"1", true}};
    RegistryValue saved(kSettingsKey, L"intercept");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.on ? "starting on" : "starting off");
        if (row.stored) {
            saved.set(row.stored);
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
    RegistryValue saved(kRunKey, L"Netsorter");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.on ? "starting on" : "starting off");
        saved.set(row.stored);
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

// The automatic update's switch is a REG_DWORD that outlives the window, and its mark follows
// it. A recent last update keeps the switch from starting one.
TEST(SettingsMenu, AutoUpdateSwitchSurvivesRestart) {
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    settings::storeLastUpdate(static_cast<unsigned long>(std::time(nullptr)));
    const auto stored = []() -> std::optional<DWORD> {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"autoUpdate", RRF_RT_REG_DWORD, nullptr,
                         &value, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    };
    for (const bool on : {true, false}) {
        {
            Window window;
            ASSERT_TRUE(window.created());
            EXPECT_EQ(window.checked(IDM_SETTINGS_AUTO_UPDATE), !on);
            window.command(IDM_SETTINGS_AUTO_UPDATE);
            EXPECT_EQ(window.checked(IDM_SETTINGS_AUTO_UPDATE), on);
        }
        EXPECT_EQ(stored(), std::optional<DWORD>(on ? 1 : 0));
        Window again;
        ASSERT_TRUE(again.created());
        EXPECT_EQ(again.checked(IDM_SETTINGS_AUTO_UPDATE), on);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
}

}  // namespace
}  // namespace netsorter
