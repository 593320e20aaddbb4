#include "app/cleanup.h"

#include <windows.h>

#include <msi.h>

#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/resource.h"
#include "browser_host/win32/install_windows.h"
#include "common/files.h"
#include "common/sha256.h"
#include "common/wide.h"
#include "desktop/automation.h"
#include "desktop/settings.h"
#include "desktop/win.h"

namespace netsorter {
namespace {

constexpr std::wstring_view kSwitch = L"/cleanup";
constexpr const char* kDataFiles[] = {"nets.txt", "countries.txt"};
// A window that is busy may take a while to handle "Выход"; the installer waits meanwhile.
constexpr DWORD kExitWaitMs = 10000;
constexpr DWORD kTerminateWaitMs = 5000;
constexpr int kQuietUiLevel = 2;

std::vector<std::wstring> words(const std::wstring& text) {
    std::wistringstream in(text);
    std::vector<std::wstring> result;
    for (std::wstring word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

// Another product of ours still installed: the one that replaces this one. The installer's
// condition says "not an upgrade" already, but wine's installer removes the older product
// without UPGRADINGPRODUCTCODE; the newer one is registered by then (RemoveExistingProducts
// runs after InstallExecute).
bool anotherProductInstalled(const std::wstring& upgradeCode, const std::wstring& productCode) {
    wchar_t product[39] = {};
    for (DWORD i = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, product) == ERROR_SUCCESS;
         ++i) {
        if (lstrcmpiW(product, productCode.c_str()) != 0) {
            return true;
        }
    }
    return false;
}

// Asks the running copy to quit as "Выход" does; one that will not is ended. False when it
// still runs.
bool stopRunningCopy() {
    const HWND window = FindWindowW(NETSORTER_FORM_CLASS, nullptr);
    if (window == nullptr) {
        return true;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const win::UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process) {
        return false;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_FILE_EXIT, 0), 0);
    if (WaitForSingleObject(process.get(), kExitWaitMs) == WAIT_OBJECT_0) {
        return true;
    }
    TerminateProcess(process.get(), 1);
    return WaitForSingleObject(process.get(), kTerminateWaitMs) == WAIT_OBJECT_0;
}

void removeUnchangedDataFiles() {
    const std::string dir = programDir();
    for (const char* name : kDataFiles) {
        const std::string shipped = settings::shippedDigest(name);
        const std::string path = fullName(dir, name, '\\');
        const Result<std::string> digest = sha256OfFile(path);
        if (!shipped.empty() && digest && *digest == shipped) {
            removeFile(path);
        }
    }
}

}  // namespace

int cleanUp(const std::wstring& arguments) {
    const std::size_t at = arguments.find(kSwitch);
    const std::vector<std::wstring> given =
        words(at == std::wstring::npos ? L"" : arguments.substr(at + kSwitch.size()));
    const int uiLevel = given.empty() ? kQuietUiLevel : _wtoi(given[0].c_str());
    if (given.size() >= 3 && anotherProductInstalled(given[1], given[2])) {
        return 0;
    }
    if (!stopRunningCopy()) {
        if (uiLevel > kQuietUiLevel) {
            MessageBoxW(nullptr,
                        L"Netsorter не удаётся закрыть. Завершите его («Файл» → «Выход») и "
                        L"повторите удаление.",
                        L"Netsorter", MB_OK | MB_ICONERROR);
        }
        return 1;
    }
    // The recorded digests go with the settings below.
    removeUnchangedDataFiles();
    settings::removeAll();
    automation::unregisterServer();
    browser_host::uninstallNativeHosts(toWide(programDir()));
    const std::string userDir = userDataDir();
    if (!userDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(toWide(userDir)), ignored);
    }
    return 0;
}

int forgetUnchangedData() {
    removeUnchangedDataFiles();
    return 0;
}

}  // namespace netsorter
