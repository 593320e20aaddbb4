#include "desktop/tray.h"

#include <algorithm>

namespace netsorter {
namespace {

// 0x0200: the icon's notifications arrive as this message, the mouse event in lParam.
constexpr UINT kTrayCallback = WM_MOUSEMOVE;
constexpr UINT kTrayIconId = 1;

}  // namespace

void copyLimited(wchar_t* field, const std::wstring& text, size_t limit) {
    size_t n = std::min(text.size(), limit);
    if (n > 0 && n < text.size() && IS_HIGH_SURROGATE(text[n - 1])) {
        --n;
    }
    std::copy_n(text.data(), n, field);
    field[n] = L'\0';
}

mdlTray::mdlTray() {
    // The form with balloon fields, as old and new shells both understand it.
    trayIconData_.cbSize = NOTIFYICONDATAW_V2_SIZE;
}

void mdlTray::addTrayIcon(HWND notifier, HICON icon, const std::wstring& tip) {
    trayIconData_.hWnd = notifier;
    trayIconData_.uID = kTrayIconId;
    trayIconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconData_.uCallbackMessage = kTrayCallback;
    trayIconData_.hIcon = icon;
    copyLimited(trayIconData_.szTip, tip, kTipChars);
    if (Shell_NotifyIconW(NIM_ADD, &trayIconData_)) {
        shown_ = true;
    }
}

void mdlTray::showTrayBalloon(const std::wstring& text, const std::wstring& title) {
    trayIconData_.uFlags = NIF_INFO;
    trayIconData_.dwInfoFlags = NIIF_INFO;
    copyLimited(trayIconData_.szInfoTitle, title, kTitleChars);
    copyLimited(trayIconData_.szInfo, text, kInfoChars);
    Shell_NotifyIconW(NIM_MODIFY, &trayIconData_);
}

void mdlTray::removeTrayIcon() {
    Shell_NotifyIconW(NIM_DELETE, &trayIconData_);
    shown_ = false;
}

void mdlTray::restoreAfterTaskbarRestart() {
    if (!shown_) {
        return;
    }
    trayIconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    Shell_NotifyIconW(NIM_ADD, &trayIconData_);
}

}  // namespace netsorter
