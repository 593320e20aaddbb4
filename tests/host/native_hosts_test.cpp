// The registration of netsorter-host.exe for Chrome, Edge and Firefox, in this test's own
// process: it writes exactly the three per-user keys and the two manifests, each key naming
// a manifest that names the host, and removal takes exactly those away again.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "common/files.h"
#include "common/wide.h"
#include "desktop/native_hosts.h"
#include "desktop/win.h"
#include "host/json.h"

namespace netsorter {
namespace {

const std::wstring kParents[] = {L"Software\\Google\\Chrome\\NativeMessagingHosts",
                                 L"Software\\Microsoft\\Edge\\NativeMessagingHosts",
                                 L"Software\\Mozilla\\NativeMessagingHosts"};

std::set<std::wstring> subkeys(const std::wstring& parent) {
    std::set<std::wstring> names;
    const win::UniqueKey key = win::openKey(HKEY_CURRENT_USER, parent);
    for (DWORD i = 0; key; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.insert(name);
    }
    return names;
}

std::optional<std::wstring> defaultValue(const std::wstring& key) {
    const win::UniqueKey k = win::openKey(HKEY_CURRENT_USER, key);
    return k ? win::readString(k.get(), L"") : std::nullopt;
}

std::set<std::wstring> filesIn(const std::wstring& dir) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.insert(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The string members of a manifest, read back as a browser would.
std::optional<std::vector<JsonMember>> readManifest(const std::wstring& path) {
    std::string bytes;
    std::string reason;
    if (!readWholeFile(fromWide(path), bytes, reason)) {
        return std::nullopt;
    }
    std::string error;
    return readJsonObject(bytes, error);
}

std::string member(const std::vector<JsonMember>& members, const std::string& name) {
    for (const JsonMember& m : members) {
        if (m.name == name) {
            return m.text.value_or("<not a string>");
        }
    }
    return "<missing>";
}

class ProgramFolder {
  public:
    explicit ProgramFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + name;
        CreateDirectoryW(path_.c_str(), nullptr);
        std::ofstream(std::filesystem::path(path_ + L"\\nets.txt"))
            << "# a file of the program's own\n";
    }
    ~ProgramFolder() {
        for (const std::wstring& file : filesIn(path_)) {
            DeleteFileW((path_ + L"\\" + file).c_str());
        }
        RemoveDirectoryW(path_.c_str());
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
};

TEST(NativeHosts, InstallWritesTheThreeKeysAndTwoManifestsAndUninstallRemovesThem) {
    // Another host of the browsers must survive both.
    for (const std::wstring& parent : kParents) {
        win::createKey(HKEY_CURRENT_USER, parent + L"\\com.example.other");
    }
    // Blanks, Cyrillic and characters JSON has to escape in no way change the paths.
    for (const std::wstring name : {L"Netsorter", L"Сетевой сортировщик 1.0", L"a'b;c,d&e"}) {
        const ProgramFolder folder(name);
        SCOPED_TRACE(fromWide(folder.path()));
        ASSERT_TRUE(native_hosts::installNativeHosts(folder.path()));

        EXPECT_EQ(filesIn(folder.path()),
                  (std::set<std::wstring>{L"nets.txt", L"netsorter-chrome.json",
                                          L"netsorter-firefox.json"}));
        const std::wstring chrome = folder.path() + L"\\netsorter-chrome.json";
        const std::wstring firefox = folder.path() + L"\\netsorter-firefox.json";
        const std::wstring expected[] = {chrome, chrome, firefox};
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(subkeys(kParents[i]),
                      (std::set<std::wstring>{L"com.example.other", L"netsorter"}));
            EXPECT_EQ(defaultValue(kParents[i] + L"\\netsorter"), expected[i]);
            const auto manifest = readManifest(expected[i]);
            ASSERT_TRUE(manifest);
            EXPECT_EQ(member(*manifest, "name"), "netsorter");
            EXPECT_EQ(member(*manifest, "type"), "stdio");
            EXPECT_EQ(member(*manifest, "path"), fromWide(folder.path() + L"\\netsorter-host.exe"));
        }

        // A second time changes nothing; removal takes away exactly what was written.
        ASSERT_TRUE(native_hosts::installNativeHosts(folder.path()));
        native_hosts::uninstallNativeHosts(folder.path());
        EXPECT_EQ(filesIn(folder.path()), std::set<std::wstring>{L"nets.txt"});
        for (const std::wstring& parent : kParents) {
            EXPECT_EQ(subkeys(parent), std::set<std::wstring>{L"com.example.other"});
        }
        // Removing what is not there is no failure.
        native_hosts::uninstallNativeHosts(folder.path());
    }
    for (const std::wstring& parent : kParents) {
        RegDeleteKeyW(HKEY_CURRENT_USER, (parent + L"\\com.example.other").c_str());
    }
}

TEST(NativeHosts, NoKeyIsWrittenWhenTheManifestsCannotBe) {
    EXPECT_FALSE(native_hosts::installNativeHosts(L"C:\\no such folder\\Netsorter"));
    for (const std::wstring& parent : kParents) {
        EXPECT_FALSE(defaultValue(parent + L"\\netsorter"));
    }
}

}  // namespace
}  // namespace netsorter
