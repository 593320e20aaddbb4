// The main window's side of the tray: going there, coming back, the icon's notifications,
// the balloon's timer and the close box.
#include "app/form1.h"
#include "app/resource.h"

namespace netsorter {

void Form1::mnuViewToTray_Click() {
    if (menuChecked(IDM_VIEW_ALWAYS_ON_TOP)) {
        mnuViewAllwaysOnTop_Click();
    }
    tray_.addTrayIcon(picNotifier_, smallIcon_ != nullptr ? smallIcon_ : icon_, L"Netsorter");
    ShowWindow(hwnd_, SW_HIDE);
}

void Form1::mnuTrayOpen_Click() {
    stayHidden_ = false;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    Form_Activate();
    tray_.removeTrayIcon();
}

void Form1::picNotifier_MouseMove(UINT mouseMessage) {
    switch (mouseMessage) {
        case WM_LBUTTONDOWN:
            // The shell is still tracking the click on its own icon: a window shown at
            // once may lose the foreground to the taskbar again.
            Sleep(200);
            mnuTrayOpen_Click();
            break;
        case WM_RBUTTONDOWN: {
            POINT at{};
            GetCursorPos(&at);
            // Without the foreground the popup would not close when the user clicks away.
            SetForegroundWindow(hwnd_);
            const UINT chosen = TrackPopupMenu(mnuTray_.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                               at.x, at.y, 0, hwnd_, nullptr);
            PostMessageW(hwnd_, WM_NULL, 0, 0);
            if (chosen != 0) {
                onCommand(chosen);
            }
            break;
        }
        default:
            break;
    }
}

void Form1::Timer1_Timer() {
    setTimerEnabled(Timer1, false);
    tray_.showTrayBalloon(L"", L"");
}

bool Form1::Form_QueryUnload(UnloadMode mode) {
    if (mode == ClosedByUser) {
        mnuViewToTray_Click();
        // The close box's own click is still being released: a pause keeps it from
        // reaching whatever window comes up under the mouse once this one is gone.
        Sleep(200);
        return true;
    }
    tray_.removeTrayIconAtExit();
    return false;
}

}  // namespace netsorter
