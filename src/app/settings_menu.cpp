// The menu "Настройки" (browser menu items, autostart, the country database) and the About
// box of the menu "?".
#include "app/form1.h"
// commdlg.h needs windows.h above it.
#include <commdlg.h>

#include <cstdio>

#include "app/reasons.h"
#include "app/resource.h"
#include "browser_host/win32/install_windows.h"
#include "common/files.h"
#include "common/text.h"
#include "common/wide.h"
#include "desktop/settings.h"

namespace netsorter {
namespace {

std::wstring shortPath(const std::wstring& path) {
    std::wstring buffer(1024, L'\0');
    const DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), 1024);
    buffer.resize(n < buffer.size() ? n : 0);
    return buffer;
}

// A file that tells no build date is dated by its last change, said as such.
std::string dateOf(const std::string& path, const std::string& told) {
    if (!told.empty()) {
        return told;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    SYSTEMTIME time{};
    if (!GetFileAttributesExW(toWide(path).c_str(), GetFileExInfoStandard, &attributes) ||
        !FileTimeToSystemTime(&attributes.ftLastWriteTime, &time)) {
        return "дата неизвестна";
    }
    char text[32];
    std::snprintf(text, sizeof text, "файл от %04u-%02u-%02u", time.wYear, time.wMonth, time.wDay);
    return text;
}

}  // namespace

void Form1::mnuSettingsAdd_Click() {
    const std::wstring exe = win::exePath();
    if (win::exeName() != L"Netsorter") {
        messageBox(
            "Исполняемый файл должен называться Netsorter.exe, иначе совместиомсть с IE "
            "не гарантирована!",
            L"Предупреждение", MB_OK | MB_ICONINFORMATION);
    }
    win::runSelfHidden(exe, L"/regserver");
    const std::string script = collapsePairs("res://" + fromWide(shortPath(exe)) + "/101", '\\');
    settings::addBrowserMenuItem(toWide(script));
}

void Form1::mnuSettingsDel_Click() {
    settings::removeBrowserMenuItem();
    win::runSelfHidden(win::exePath(), L"/unregserver");
}

// The browsers reach the program through netsorter-host.exe, which calls the automation
// class: the class is registered here too, as for Internet Explorer.
void Form1::mnuSettingsAddBrowsers_Click() {
    win::runSelfHidden(win::exePath(), L"/regserver");
    if (!browser_host::installNativeHosts(toWide(programDir()))) {
        // Unlike a registry value, this fails where users do run programs from (a read-only
        // folder), and the browsers would then only say their helper is missing.
        showFailure(
            "Не удалось добавить пункт в меню браузеров: нет доступа к папке программы\r\n" +
            programDir());
    }
}

// The automation class stays registered: Internet Explorer's item may still use it.
void Form1::mnuSettingsDelBrowsers_Click() {
    browser_host::uninstallNativeHosts(toWide(programDir()));
}

void Form1::mnuSettingsAutostart_Click() {
    settings::storeAutostart(!autostartOn_, win::exePath());
    autostartOn_ = !autostartOn_;
    setMenuCheck(IDM_SETTINGS_AUTOSTART, autostartOn_);
}

void Form1::mnuSettingsCountryDb_Click() {
    wchar_t file[MAX_PATH * 4] = {};
    const std::wstring folder = toWide(engines_.dataDir());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = L"Базы стран (*.mmdb, *.dat)\0*.mmdb;*.dat\0Все файлы\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(std::size(file));
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = L"База стран";
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) {
        return;
    }
    const std::string path = fromWide(file);
    if (const Status chosen =
            engines_.chooseDatabase(DatabaseKind::Country, path, GeoAccess::PositionedReads);
        !chosen) {
        showFailure("Не удалось открыть базу стран " + path + "\r\n" +
                    russianReason(chosen.reason()));
        return;
    }
    settings::storeCountryDatabase(file);
}

void Form1::mnuHelpAbout_Click() {
    // The first three lines are the program's own; then its version and the country
    // database that answers, its build date (or its file's, said as such) and what its
    // licence asks to be said of it.
    const DatabaseDescription database = engines_.databases().front();
    std::string countries = "База стран: ";
    if (database.path.empty()) {
        countries += "нет";
    } else {
        countries += database.name + " (" + dateOf(database.path, database.date) +
                     (database.credit.empty() ? "" : ", " + database.credit) + ")";
        if (!database.ipv6Path.empty()) {
            countries += ", для IPv6 " + std::string(fileName(database.ipv6Path)) + " (" +
                         dateOf(database.ipv6Path, database.ipv6Date) + ")";
        }
    }
    const std::string text =
        "Программа для определения типа трафика\r\n"
        "\"\"\r\n"
        "В программе использована база данных GeoIP http://www.maxmind.com\r\n"
        "Версия " NETSORTER_VERSION "\r\n" +
        countries + "\r\n";
    messageBox(text, L"О программе", MB_OK | MB_ICONINFORMATION);
}

}  // namespace netsorter
