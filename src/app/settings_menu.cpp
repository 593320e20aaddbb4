// The menu "Настройки" (browser menu items, autostart, the country and owner databases) and
// the About box of the menu "?".
#include "app/form1.h"
// commdlg.h needs windows.h above it.
#include <commdlg.h>

#include <cstdio>
#include <vector>

#include "app/reasons.h"
#include "app/resource.h"
#include "browser_host/win32/install_windows.h"
#include "common/files.h"
#include "common/text.h"
#include "common/wide.h"
#include "desktop/settings.h"
#include "update/updater.h"

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

// What "Настройки" says of each kind of database, in the order of the kinds.
struct DatabaseTexts {
    const wchar_t* title;   // of the file dialog
    const wchar_t* filter;  // its file types
    const char* object;     // "Не удалось открыть " what
    void (*store)(const std::wstring& path);
};
constexpr DatabaseTexts kDatabaseTexts[kDatabaseKinds] = {
    {L"База стран", L"Базы стран (*.mmdb, *.dat)\0*.mmdb;*.dat\0Все файлы\0*.*\0", "базу стран",
     settings::storeCountryDatabase},
    {L"База владельцев сетей", L"Базы владельцев сетей (*.mmdb)\0*.mmdb\0Все файлы\0*.*\0",
     "базу владельцев сетей", settings::storeOwnerDatabase},
};

// "База стран: NAME (date, credit)", the file's date where it tells none.
std::string aboutLine(const char* label, const DatabaseDescription& database) {
    std::string line = std::string(label) + ": ";
    if (database.path.empty()) {
        return line + "нет";
    }
    line += database.name + " (" + dateOf(database.path, database.date) +
            (database.credit.empty() ? "" : ", " + database.credit) + ")";
    if (!database.ipv6Path.empty()) {
        line += ", для IPv6 " + std::string(fileName(database.ipv6Path)) + " (" +
                dateOf(database.ipv6Path, database.ipv6Date) + ")";
    }
    const std::string url = update::downloadedFrom(database.path);
    line += "\r\n    " +
            (url.empty() ? "из папки " + database.path.substr(0, database.path.size() -
                                                                     fileName(database.path).size())
                         : "скачана с " + url);
    return line;
}

// A database chosen by hand that is older than a download of its kind, said as such.
std::string newerDownloadLine(const DatabaseDescription& database, const std::wstring& chosen) {
    if (chosen.empty() || database.path != fromWide(chosen)) {
        return {};
    }
    const std::optional<update::Download> newer =
        update::newerDownload(database.kind, database.date, userDataDir());
    return newer
               ? "    выбранная база старее скачанной " + newer->path + " (" + newer->date + ")\r\n"
               : std::string();
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
    chooseDatabaseFile(DatabaseKind::Country);
}

void Form1::mnuSettingsOwnerDb_Click() {
    chooseDatabaseFile(DatabaseKind::Owner);
}

void Form1::chooseDatabaseFile(DatabaseKind kind) {
    const DatabaseTexts& texts = kDatabaseTexts[static_cast<std::size_t>(kind)];
    wchar_t file[MAX_PATH * 4] = {};
    const std::wstring folder = toWide(engines_.dataDir());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = texts.filter;
    dialog.lpstrFile = file;
    dialog.nMaxFile = static_cast<DWORD>(std::size(file));
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = texts.title;
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) {
        return;
    }
    const std::string path = fromWide(file);
    if (const Status chosen = engines_.chooseDatabase(kind, path, GeoAccess::PositionedReads);
        !chosen) {
        showFailure("Не удалось открыть " + std::string(texts.object) + " " + path + "\r\n" +
                    russianReason(chosen.reason()));
        return;
    }
    texts.store(file);
}

void Form1::mnuHelpAbout_Click() {
    // The first three lines are the program's own; then its version and each database that
    // answers, its build date (or its file's, said as such) and what its licence asks to be
    // said of it.
    const std::vector<DatabaseDescription> databases = engines_.databases();
    const std::string text =
        "Программа для определения типа трафика\r\n"
        "\"\"\r\n"
        "В программе использована база данных GeoIP http://www.maxmind.com\r\n"
        "Версия " NETSORTER_VERSION "\r\n" +
        aboutLine("База стран", databases[static_cast<std::size_t>(DatabaseKind::Country)]) +
        "\r\n" +
        newerDownloadLine(databases[static_cast<std::size_t>(DatabaseKind::Country)],
                          settings::countryDatabase()) +
        aboutLine("База владельцев сетей",
                  databases[static_cast<std::size_t>(DatabaseKind::Owner)]) +
        "\r\n" +
        newerDownloadLine(databases[static_cast<std::size_t>(DatabaseKind::Owner)],
                          settings::ownerDatabase());
    messageBox(text, L"О программе", MB_OK | MB_ICONINFORMATION);
}

}  // namespace netsorter
