#include "app/menu.h"

#include "app/form1.h"
#include "app/resource.h"

namespace netsorter {

std::wstring_view MenuCommand::menu() const {
    const std::wstring_view p(path);
    return p.substr(0, p.find(L'/'));
}

std::wstring_view MenuCommand::item() const {
    const std::wstring_view p(path);
    return p.substr(p.find(L'/') + 1);
}

std::span<const MenuCommand> menuCommands() {
    // No item has a shortcut: the captions carry no access keys either.
    static constexpr MenuCommand kCommands[] = {
        {L"Файл/Выход", IDM_FILE_EXIT, &Form1::mnuFileExit_Click},
        {L"Вид/Всегда впереди", IDM_VIEW_ALWAYS_ON_TOP, &Form1::mnuViewAllwaysOnTop_Click},
        {L"Вид/Свернуть в трей", IDM_VIEW_TO_TRAY, &Form1::mnuViewToTray_Click},
        {L"Настройки/Добавить пункт в меню IE", IDM_SETTINGS_ADD, &Form1::mnuSettingsAdd_Click},
        {L"Настройки/Удалить пункт из меню IE", IDM_SETTINGS_DEL, &Form1::mnuSettingsDel_Click},
        {L"Настройки/Добавить пункт в меню браузеров", IDM_SETTINGS_ADD_BROWSERS,
         &Form1::mnuSettingsAddBrowsers_Click},
        {L"Настройки/Удалить пункт из меню браузеров", IDM_SETTINGS_DEL_BROWSERS,
         &Form1::mnuSettingsDelBrowsers_Click},
        {L"Настройки/-", 0, nullptr},
        {L"Настройки/Перехватывать [Ctr+C+C]", IDM_SETTINGS_INTERCEPT,
         &Form1::mnuSettingsIntercept_Click},
        {L"Настройки/Автозапуск", IDM_SETTINGS_AUTOSTART, &Form1::mnuSettingsAutostart_Click},
        {L"Настройки/-", 0, nullptr},
        {L"Настройки/База стран…", IDM_SETTINGS_COUNTRY_DB, &Form1::mnuSettingsCountryDb_Click},
        {L"Настройки/База владельцев сетей…", IDM_SETTINGS_OWNER_DB,
         &Form1::mnuSettingsOwnerDb_Click},
        {L"Настройки/-", 0, nullptr},
        {L"Настройки/Обновить базы", IDM_SETTINGS_UPDATE, &Form1::mnuSettingsUpdate_Click},
        {L"Настройки/Обновлять базы автоматически", IDM_SETTINGS_AUTO_UPDATE,
         &Form1::mnuSettingsAutoUpdate_Click},
        {L"?/О программе", IDM_HELP_ABOUT, &Form1::mnuHelpAbout_Click},
        {L"Tray/Развернуть", IDM_TRAY_OPEN, &Form1::mnuTrayOpen_Click},
    };
    return kCommands;
}

}  // namespace netsorter
