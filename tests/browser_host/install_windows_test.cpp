// The registration of netsorter-host.exe for Chrome, Edge, Brave and Firefox, in this test's
// own process: exactly the four per-user keys and the two manifests, each key naming a
// manifest that names the host, and removal takes exactly those away again.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "browser_host/win32/install_windows.h"
#include "common/files.h"
#include "common/json.h"
#include "common/wide.h"
#include "desktop/win.h"

namespace netsorter {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::wstring>;

const std::wstring kParents[] = {L"Software\\Google\\Chrome\\NativeMessagingHosts",
                                 L"Software\\Microsoft\\Edge\\NativeMessagingHosts",
                                 L"Software\\BraveSoftware\\Brave-Browser\\NativeMessagingHosts",
                                 L"Software\\Mozilla\\NativeMessagingHosts"};

Names subkeys(const std::wstring& parent) {
    Names names;
    const win::UniqueKey key = win::openKey(HKEY_CURRENT_USER, parent);
    wchar_t name[256];
    for (DWORD i = 0, length = 256;
         key && RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
         ++i, length = 256) {
        names.insert(name);
    }
    return names;
}

std::optional<std::wstring> defaultValue(const std::wstring& key) {
    const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key);
    return k ? win::readString(k.get(), L"") : std::nullopt;
}

Names filesIn(const fs::path& dir) {
    Names names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().wstring());
    }
    return names;
}

// A string member of a manifest, read back as a browser would.
std::string manifestMember(const std::wstring& path, const std::string& name) {
    const Result<std::string> bytes = readWholeFile(fromWide(path));
    if (!bytes) {
        return "<no file>";
    }
    const auto members = readJsonObject(*bytes);
    for (const JsonMember& member : members ? *members : std::vector<JsonMember>{}) {
        if (member.name == name) {
            return member.text.value_or("<not a string>");
        }
    }
    return "<missing>";
}

TEST(NativeHosts, InstallWritesTheFourKeysAndTwoManifestsAndUninstallRemovesThem) {
    // Another host of the browsers, and the program's own files, must survive both.
    for (const std::wstring& parent : kParents) {
        win::createKey(HKEY_CURRENT_USER, parent + L"\\com.example.other");
    }
    // Blanks, Cyrillic and characters JSON has to escape in no way change the paths.
    for (const std::wstring name : {L"Netsorter", L"Сетевой сортировщик 1.0", L"a'b;c,d&e"}) {
        const fs::path dir = fs::temp_directory_path() / name;
        fs::create_directories(dir);
        std::ofstream(dir / "nets.txt") << "# 10.0.0.0/8\n";
        const std::wstring folder = dir.wstring();
        SCOPED_TRACE(fromWide(folder));

        ASSERT_TRUE(browser_host::installNativeHosts(folder));
        EXPECT_EQ(filesIn(dir),
                  (Names{L"nets.txt", L"netsorter-chrome.json", L"netsorter-firefox.json"}));
        const std::wstring chrome = folder + L"\\netsorter-chrome.json";
        const std::wstring firefox = folder + L"\\netsorter-firefox.json";
        const std::wstring manifests[] = {chrome, chrome, chrome, firefox};
        for (size_t i = 0; i < std::size(kParents); ++i) {
            EXPECT_EQ(subkeys(kParents[i]), (Names{L"com.example.other", L"netsorter"}));
            EXPECT_EQ(defaultValue(kParents[i] + L"\\netsorter"), manifests[i]);
            EXPECT_EQ(manifestMember(manifests[i], "name"), "netsorter");
            EXPECT_EQ(manifestMember(manifests[i], "path"),
                      fromWide(folder + L"\\netsorter-host.exe"));
        }

        // Installing again changes nothing; removing twice is no failure.
        ASSERT_TRUE(browser_host::installNativeHosts(folder));
        browser_host::uninstallNativeHosts(folder);
        browser_host::uninstallNativeHosts(folder);
        EXPECT_EQ(filesIn(dir), Names{L"nets.txt"});
        for (const std::wstring& parent : kParents) {
            EXPECT_EQ(subkeys(parent), Names{L"com.example.other"});
        }
        fs::remove_all(dir);
    }
    for (const std::wstring& parent : kParents) {
        RegDeleteKeyW(HKEY_CURRENT_USER, (parent + L"\\com.example.other").c_str());
    }
}

TEST(NativeHosts, NoKeyIsWrittenWhenTheManifestsCannotBe) {
    EXPECT_FALSE(browser_host::installNativeHosts(L"C:\\no such folder\\Netsorter"));
    for (const std::wstring& parent : kParents) {
        EXPECT_FALSE(defaultValue(parent + L"\\netsorter"));
    }
}

}  // namespace
}  // namespace netsorter
