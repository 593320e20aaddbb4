// nsdriver: drives a running Netsorter.exe the way a person would, through its window's
// controls, menus, tray notifications and message boxes, and prints what it sees (UTF-8).
//   nsdriver wait-window [ms]        wait until the main window exists; prints its handle
//   nsdriver boxes                   JSON of the address box and the five result boxes
//   nsdriver set-address TEXT        type TEXT into the address box
//   nsdriver clear-results           empty the five result boxes (so that a check's
//                                    results can be told from the last one's)
//   nsdriver check                   press "Проверить"
//   nsdriver menu "Вид/Всегда впереди"   choose a menu command
//   nsdriver state                   JSON: visible, topmost, tray icon present, pid
//   nsdriver tray left|right         a press of that button on the tray icon
//   nsdriver msgbox [ms]             wait for a message box of Netsorter; JSON title, text
//   nsdriver msgbox-press OK|Yes|No  press a button of that message box
//   nsdriver open-file PATH [ms]     wait for the program's file dialog, choose PATH in it
//   nsdriver close                   the window's close box
//   nsdriver wait-gone [ms]          wait until the main window no longer exists
//   nsdriver wait-balloon [ms [FILE]] wait for a balloon (the shell's tooltip window) to show;
//                                    JSON text (the balloon's lines) and rect; with FILE
//                                    the screen is captured at once (a balloon is brief)
//   nsdriver shot FILE [l t r b]     capture the screen (or that rectangle) as a 24-bit BMP
//   nsdriver wait-no-balloon [ms]    wait until no balloon shows
//   nsdriver windows                 JSON list of the visible top-level windows of every
//                                    process: class, text, pid, rect (balloons, menus)
//   (registry, clipboard and check-watching commands: driver_desktop.cpp)
// With NSDRIVER_DESKTOP=NAME in the environment the driver works in that desktop (a wine
// virtual desktop started with "explorer /desktop=NAME,WxH ...") instead of the default one.
// Exit status 0 on success, 1 when the awaited thing did not come, 2 on bad usage.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/menu.h"
#include "app/resource.h"
#include "common/wide.h"
#include "driver_desktop.h"

using netsorter::fromWide;
using netsorter::toWide;

namespace {

HWND mainWindow() {
    return FindWindowW(NETSORTER_FORM_CLASS, nullptr);
}

template <class Probe>
bool waitFor(DWORD ms, Probe&& probe) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (probe()) {
            return true;
        }
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(50);
    }
}

DWORD timeoutArg(const std::vector<std::wstring>& args, size_t at, DWORD fallback) {
    return args.size() > at ? static_cast<DWORD>(std::wcstoul(args[at].c_str(), nullptr, 10))
                            : fallback;
}

bool findMenuItem(const std::wstring& path, UINT& id) {
    // Menus cannot be read from another process under wine: the program's own table says
    // which command a caption stands for.
    for (const netsorter::MenuCommand& item : netsorter::menuCommands()) {
        if (path == item.path && !item.separator()) {
            id = item.id;
            return true;
        }
    }
    return false;
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

// A message box of the program: a dialog window (#32770) of the program's process.
HWND findMessageBox(DWORD pid) {
    BoxSearch search{pid, nullptr};
    // A plain function, not a lambda: the callback must be stdcall on 32-bit Windows.
    struct Visit {
        static BOOL CALLBACK window(HWND hwnd, LPARAM param) {
            auto* s = reinterpret_cast<BoxSearch*>(param);
            wchar_t cls[64] = {};
            GetClassNameW(hwnd, cls, 64);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd) &&
                (s->pid == 0 || owner == s->pid)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    EnumWindows(Visit::window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DWORD netsorterPid() {
    DWORD pid = 0;
    if (const HWND form = mainWindow()) {
        GetWindowThreadProcessId(form, &pid);
    }
    return pid;
}

bool trayIconPresent(HWND form) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = GetDlgItem(form, IDC_PICNOTIFIER);
    data.uID = 1;
    // Modifying nothing succeeds exactly when the icon exists.
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

std::string rectJson(const RECT& r) {
    return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
           std::to_string(r.right) + ", " + std::to_string(r.bottom) + "]";
}

// Every visible top-level window: the shell's balloons and tray, popup menus, message boxes.
std::string visibleWindowsJson() {
    std::string out;
    struct Visit {
        static BOOL CALLBACK window(HWND hwnd, LPARAM param) {
            if (!IsWindowVisible(hwnd)) {
                return TRUE;
            }
            auto& list = *reinterpret_cast<std::string*>(param);
            wchar_t cls[256] = {};
            GetClassNameW(hwnd, cls, 256);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            RECT r{};
            GetWindowRect(hwnd, &r);
            list += std::string(list.empty() ? "" : ", ") + "{\"class\": " + json(cls) +
                    ", \"text\": " + json(textOf(hwnd)) + ", \"pid\": " + std::to_string(pid) +
                    ", \"rect\": " + rectJson(r) + "}";
            return TRUE;
        }
    };
    EnumWindows(Visit::window, reinterpret_cast<LPARAM>(&out));
    return "[" + out + "]";
}

// The shell draws a balloon as a visible tooltip window whose text is the balloon's text
// (the title is drawn apart and cannot be read).
HWND findBalloon() {
    HWND found = nullptr;
    struct Visit {
        static BOOL CALLBACK window(HWND hwnd, LPARAM param) {
            wchar_t cls[64] = {};
            GetClassNameW(hwnd, cls, 64);
            // Asked by message: the tooltip answers with its text, the window has no caption.
            if (std::wstring(cls) == TOOLTIPS_CLASSW && IsWindowVisible(hwnd) &&
                !textOf(hwnd).empty()) {
                *reinterpret_cast<HWND*>(param) = hwnd;
                return FALSE;
            }
            return TRUE;
        }
    };
    EnumWindows(Visit::window, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The screen as the desktop shows it, saved as a bottom-up 24-bit BMP.
bool saveScreen(const std::wstring& file, RECT r) {
    if (r.right <= r.left || r.bottom <= r.top) {
        r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + imageSize;
        if (FILE* out = _wfopen(file.c_str(), L"wb")) {
            ok = ok && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                 std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                 std::fwrite(bits, 1, imageSize, out) == imageSize;
            ok = std::fclose(out) == 0 && ok;
        } else {
            ok = false;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

RECT rectArgs(const std::vector<std::wstring>& args, size_t at) {
    RECT r{};
    if (args.size() >= at + 4) {
        r = {std::stoi(args[at]), std::stoi(args[at + 1]), std::stoi(args[at + 2]),
             std::stoi(args[at + 3])};
    }
    return r;
}

int run(const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return 2;
    }
    if (const int status = desktopCommand(args); status >= 0) {
        return status;
    }
    const std::wstring& command = args[0];
    if (command == L"wait-window") {
        HWND form = nullptr;
        if (!waitFor(timeoutArg(args, 1, 30000),
                     [&] { return (form = mainWindow()) != nullptr; })) {
            return 1;
        }
        print(std::to_string(reinterpret_cast<uintptr_t>(form)));
        return 0;
    }
    if (command == L"wait-gone") {
        return waitFor(timeoutArg(args, 1, 30000), [] { return mainWindow() == nullptr; }) ? 0 : 1;
    }
    if (command == L"msgbox") {
        HWND box = nullptr;
        const DWORD pid = netsorterPid();
        if (!waitFor(timeoutArg(args, 1, 30000),
                     [&] { return (box = findMessageBox(pid)) != nullptr; })) {
            return 1;
        }
        std::wstring text;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[64] = {};
            GetClassNameW(child, cls, 64);
            if (std::wstring(cls) == L"Static" && GetDlgCtrlID(child) == 0xFFFF) {
                text = textOf(child);
            }
        }
        std::string buttons;
        for (const auto& [id, name] :
             {std::pair{IDOK, "OK"}, {IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}}) {
            if (HWND b = GetDlgItem(box, id); b && IsWindowVisible(b)) {
                buttons += std::string(buttons.empty() ? "" : ",") + "\"" + name + "\"";
            }
        }
        print("{\"title\": " + json(textOf(box)) + ", \"text\": " + json(text) +
              ", \"buttons\": [" + buttons + "]}");
        return 0;
    }
    if (command == L"msgbox-press" && args.size() == 2) {
        const HWND box = findMessageBox(netsorterPid());
        const int id = args[1] == L"Yes" ? IDYES : args[1] == L"No" ? IDNO : IDOK;
        if (box == nullptr) {
            return 1;
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        return 0;
    }
    if (command == L"open-file" && (args.size() == 2 || args.size() == 3)) {
        // A file dialog is a dialog with a box for the file's name: the combo box of the
        // Explorer-style dialog (cmb13) or, in older ones, an edit box (edt1).
        HWND dialog = nullptr;
        HWND name = nullptr;
        const DWORD pid = netsorterPid();
        if (!waitFor(timeoutArg(args, 2, 30000), [&] {
                dialog = findMessageBox(pid);
                name = dialog ? GetDlgItem(dialog, 0x47C) : nullptr;
                name = name ? name : dialog ? GetDlgItem(dialog, 0x480) : nullptr;
                return name != nullptr;
            })) {
            return 1;
        }
        SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[1].c_str()),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return 0;
    }
    if (command == L"wait-balloon") {
        HWND balloon = nullptr;
        if (!waitFor(timeoutArg(args, 1, 30000),
                     [&] { return (balloon = findBalloon()) != nullptr; })) {
            return 1;
        }
        if (args.size() > 2 && !saveScreen(args[2], RECT{})) {
            return 1;
        }
        RECT r{};
        GetWindowRect(balloon, &r);
        print("{\"text\": " + json(textOf(balloon)) + ", \"rect\": " + rectJson(r) + "}");
        return 0;
    }
    if (command == L"wait-no-balloon") {
        return waitFor(timeoutArg(args, 1, 30000), [] { return findBalloon() == nullptr; }) ? 0 : 1;
    }
    if (command == L"shot" && args.size() >= 2) {
        return saveScreen(args[1], rectArgs(args, 2)) ? 0 : 1;
    }
    if (command == L"windows") {
        print(visibleWindowsJson());
        return 0;
    }
    const HWND form = mainWindow();
    if (form == nullptr) {
        std::fputs("nsdriver: no Netsorter window\n", stderr);
        return 1;
    }
    if (command == L"boxes") {
        print("{\"address\": " + json(textOf(GetDlgItem(form, IDC_TXTADDRES))) +
              ", \"domain\": " + json(textOf(GetDlgItem(form, IDC_TXTDOMAIN))) +
              ", \"ip\": " + json(textOf(GetDlgItem(form, IDC_TXTIP))) +
              ", \"traffic\": " + json(textOf(GetDlgItem(form, IDC_TXTTRAFFIC))) +
              ", \"country\": " + json(textOf(GetDlgItem(form, IDC_TXTCOUNTRY))) +
              ", \"owner\": " + json(textOf(GetDlgItem(form, IDC_TXTOWNER))) + "}");
        return 0;
    }
    if (command == L"set-address" && args.size() == 2) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(GetDlgItem(form, IDC_TXTADDRES), WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(args[1].c_str()), SMTO_ABORTIFHUNG, 5000,
                            &ignored);
        return 0;
    }
    if (command == L"clear-results") {
        for (const int id :
             {IDC_TXTDOMAIN, IDC_TXTIP, IDC_TXTTRAFFIC, IDC_TXTCOUNTRY, IDC_TXTOWNER}) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(GetDlgItem(form, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                                SMTO_ABORTIFHUNG, 5000, &ignored);
        }
        return 0;
    }
    if (command == L"check") {
        // Posted, as a click is: the check may open a message box and wait for the user.
        PostMessageW(form, WM_COMMAND, MAKEWPARAM(IDC_CMDCHECK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(form, IDC_CMDCHECK)));
        return 0;
    }
    if (command == L"menu" && args.size() == 2) {
        UINT id = 0;
        if (!findMenuItem(args[1], id)) {
            std::fputs("nsdriver: no such menu item\n", stderr);
            return 1;
        }
        PostMessageW(form, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        return 0;
    }
    if (command == L"state") {
        DWORD pid = 0;
        GetWindowThreadProcessId(form, &pid);
        const bool topmost = (GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        RECT r{};
        GetWindowRect(form, &r);
        print(std::string("{\"visible\": ") + (IsWindowVisible(form) ? "true" : "false") +
              ", \"topmost\": " + (topmost ? "true" : "false") +
              ", \"tray\": " + (trayIconPresent(form) ? "true" : "false") +
              ", \"caption\": " + json(textOf(form)) + ", \"pid\": " + std::to_string(pid) +
              ", \"rect\": [" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
              std::to_string(r.right) + ", " + std::to_string(r.bottom) + "]}");
        return 0;
    }
    if (command == L"tray" && args.size() == 2) {
        const UINT button = args[1] == L"right" ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
        PostMessageW(GetDlgItem(form, IDC_PICNOTIFIER), WM_MOUSEMOVE, 1, button);
        return 0;
    }
    if (command == L"close") {
        // What the close box sends (so do the system menu and Alt+F4).
        PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    return 2;
}

}  // namespace

int main() {
    // Windows are found only in the thread's own desktop; the driver owns no window yet,
    // so it may still move to another one.
    if (const wchar_t* name = _wgetenv(L"NSDRIVER_DESKTOP"); name != nullptr && *name != L'\0') {
        const HDESK desktop = OpenDesktopW(name, 0, FALSE, GENERIC_ALL);
        if (desktop == nullptr || !SetThreadDesktop(desktop)) {
            std::fputs("nsdriver: no such desktop\n", stderr);
            return 1;
        }
    }
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    const int status = run(args);
    if (status == 2) {
        std::fputs("nsdriver: bad usage\n", stderr);
    }
    return status;
}
