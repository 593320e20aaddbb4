// Netsorter.exe: the entry creates the main window and shows it, on every start, also
// when the automation service starts the program for the browser.
#include <windows.h>

#include <objbase.h>

#include <string>

#include "app/form1.h"
#include "desktop/automation.h"
#include "desktop/win.h"

namespace {

bool hasSwitch(const std::wstring& commandLine, const wchar_t* name) {
    return commandLine.find(name) != std::wstring::npos;
}

// The text that follows the executable's name on the command line.
std::wstring arguments() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        for (++p; *p != L'\0' && *p != L'"'; ++p) {
        }
        if (*p == L'"') {
            ++p;
        }
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t') {
            ++p;
        }
    }
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    return p;
}

int runWindow(HINSTANCE instance, const std::wstring& commandLine) {
    netsorter::Form1 form(instance, commandLine);
    if (!form.create()) {
        const std::wstring reason = form.startupError().empty()
                                        ? L"Не удалось создать главное окно программы."
                                        : form.startupError();
        MessageBoxW(nullptr, reason.c_str(), L"Netsorter", MB_OK | MB_ICONERROR);
        return 1;
    }
    form.show();
    const netsorter::automation::ClassObjectRegistration automation(form);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!form.preTranslateMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::wstring commandLine = arguments();
    if (hasSwitch(commandLine, L"/regserver")) {
        return netsorter::automation::registerServer(netsorter::win::exePath()) ? 0 : 1;
    }
    if (hasSwitch(commandLine, L"/unregserver")) {
        netsorter::automation::unregisterServer();
        return 0;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = runWindow(instance, commandLine);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return status;
}
