// The main window's menus, written once: the menu bar, the tray icon's popup menu, the
// dispatch of their commands and the test driver's list of items are all made from the one
// table that menuCommands() answers.
#pragma once

#include <windows.h>

#include <span>
#include <string_view>

namespace netsorter {

class Form1;

struct MenuCommand {
    // "Menu/Item" as a person reads it; "Menu/-" is a separator line. The menu "Tray" is the
    // tray icon's popup menu, which is not part of the menu bar.
    const wchar_t* path;
    // The command's id; its value never changes: a second start posts IDM_TRAY_OPEN to a
    // running copy that may be an older version, and test drivers post ids.
    UINT id;
    void (Form1::*handler)();

    std::wstring_view menu() const;
    std::wstring_view item() const;
    bool separator() const { return item() == L"-"; }
};

inline constexpr std::wstring_view kTrayMenu = L"Tray";

// In the order the items stand in their menus, the menus in the order of the bar.
std::span<const MenuCommand> menuCommands();

}  // namespace netsorter
