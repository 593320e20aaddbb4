// The menu "Настройки" (browser menu item, autostart) and the About box of the menu "?".
#include "app/form1.h"
#include "app/resource.h"
#include "common/text.h"
#include "common/wide.h"

namespace netsorter {
namespace {

constexpr wchar_t kBrowserMenuKey[] =
    L"Software\\Microsoft\\Internet Explorer\\MenuExt\\Проверить IP";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD kImageAndLinkContexts = 0x22;

std::wstring shortPath(const std::wstring& path) {
    std::wstring buffer(1024, L'\0');
    const DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), 1024);
    buffer.resize(n < buffer.size() ? n : 0);
    return buffer;
}

}  // namespace

void Form1::mnuSettingsAdd_Click() {
    const std::wstring exe = win::exePath();
    if (win::exeName() != L"Netsorter") {
        MessageBoxW(hwnd_,
                    L"Исполняемый файл должен называться Netsorter.exe, иначе совместиомсть с IE "
                    L"не гарантирована!",
                    L"Предупреждение", MB_OK | MB_ICONINFORMATION);
    }
    win::runSelfHidden(exe, L"/regserver");
    const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kBrowserMenuKey);
    if (!key) {
        return;
    }
    const std::string script = collapsePairs("res://" + fromWide(shortPath(exe)) + "/101", '\\');
    win::writeString(key.get(), L"", toWide(script));
    win::writeDword(key.get(), L"contexts", kImageAndLinkContexts);
}

void Form1::mnuSettingsDel_Click() {
    RegDeleteKeyW(HKEY_CURRENT_USER, kBrowserMenuKey);
    win::runSelfHidden(win::exePath(), L"/unregserver");
}

void Form1::mnuSettingsAutostart_Click() {
    if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kRunKey)) {
        if (autostartOn_) {
            RegDeleteValueW(key.get(), L"Netsorter");
        } else {
            win::writeString(key.get(), L"Netsorter", L"\"" + win::exePath() + L"\" /hide");
        }
    }
    autostartOn_ = !autostartOn_;
    setMenuCheck(IDM_SETTINGS_AUTOSTART, autostartOn_);
}

void Form1::mnuHelpAbout_Click() {
    MessageBoxW(hwnd_,
                L"Программа для определения типа трафика\r\n"
                L"\"\"\r\n"
                L"В программе использована база данных GeoIP http://www.maxmind.com\r\n",
                L"О программе", MB_OK | MB_ICONINFORMATION);
}

}  // namespace netsorter
