// The program's menu commands by the captions a person reads: "Menu/Item". Menus cannot
// be read from another process under wine, so the driver works from this table; the
// window's in-process tests check it against the real menus.
#pragma once

#include <windows.h>

#include "app/resource.h"

namespace netsorter::gui {

struct MenuItemName {
    const wchar_t* path;
    UINT id;
};

// "Tray" is the tray icon's popup menu, which is not part of the menu bar.
inline constexpr MenuItemName kMenuItems[] = {
    {L"Файл/Выход", IDM_FILE_EXIT},
    {L"Вид/Всегда впереди", IDM_VIEW_ALWAYS_ON_TOP},
    {L"Вид/Свернуть в трей", IDM_VIEW_TO_TRAY},
    {L"Настройки/Добавить пункт в меню IE", IDM_SETTINGS_ADD},
    {L"Настройки/Удалить пункт из меню IE", IDM_SETTINGS_DEL},
    {L"Настройки/Добавить пункт в меню браузеров", IDM_SETTINGS_ADD_BROWSERS},
    {L"Настройки/Удалить пункт из меню браузеров", IDM_SETTINGS_DEL_BROWSERS},
    {L"Настройки/Перехватывать [Ctr+C+C]", IDM_SETTINGS_INTERCEPT},
    {L"Настройки/Автозапуск", IDM_SETTINGS_AUTOSTART},
    {L"?/О программе", IDM_HELP_ABOUT},
    {L"Tray/Развернуть", IDM_TRAY_OPEN},
};

}  // namespace netsorter::gui
