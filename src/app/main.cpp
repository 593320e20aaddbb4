// Netsorter.exe: the entry creates the main window and shows it, also when the automation
// service starts the program for the browser. A copy started while another runs hands over
// to it: two copies would show two tray icons and check every double Ctrl+C twice.
#include <windows.h>

#include <objbase.h>

#include <string>

#include "app/cleanup.h"
#include "app/form1.h"
#include "app/resource.h"
#include "desktop/automation.h"
#include "desktop/session_instance.h"
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

// The user started the program again: the running copy comes out of the tray, as from its
// tray menu, unless this start asked to stay in the tray (autostart's "/hide").
void handOver(const std::wstring& commandLine) {
    const HWND running = FindWindowW(NETSORTER_FORM_CLASS, nullptr);
    if (running == nullptr || hasSwitch(commandLine, L"/hide")) {
        return;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(running, &pid);
    AllowSetForegroundWindow(pid);
    PostMessageW(running, WM_COMMAND, MAKEWPARAM(IDM_TRAY_OPEN, 0), 0);
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
    // The installer's own steps: before an upgrade, and on a real uninstall.
    if (hasSwitch(commandLine, L"/upgrade")) {
        return netsorter::forgetUnchangedData();
    }
    if (hasSwitch(commandLine, L"/cleanup")) {
        return netsorter::cleanUp(commandLine);
    }
    const netsorter::win::SessionInstance instanceInSession(L"Netsorter.Form1");
    // The automation service starts a server only when none offers the class: one that is
    // still loading its files. That start must serve the call.
    if (!instanceInSession.first() && !hasSwitch(commandLine, L"Embedding")) {
        handOver(commandLine);
        return 0;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = runWindow(instance, commandLine);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return status;
}
