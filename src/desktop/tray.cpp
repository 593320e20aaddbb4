#include "desktop/tray.h"

#include <algorithm>
#include <future>
#include <thread>

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

mdlTray::mdlTray(NotifyIconFn notifyIcon) : notifyIcon_(notifyIcon) {
    // The form with balloon fields, as old and new shells both understand it.
    trayIconData_.cbSize = NOTIFYICONDATAW_V2_SIZE;
}

mdlTray::~mdlTray() {
    stopRetrying();
}

void mdlTray::addTrayIcon(HWND notifier, HICON icon, const std::wstring& tip) {
    wanted_ = true;
    if (shown_) {
        return;  // the shell would refuse a second add of the same icon
    }
    trayIconData_.hWnd = notifier;
    trayIconData_.uID = kTrayIconId;
    trayIconData_.uCallbackMessage = kTrayCallback;
    trayIconData_.hIcon = icon;
    copyLimited(trayIconData_.szTip, tip, kTipChars);
    retriesLeft_ = kAddRetries;
    tryAdd();
}

void mdlTray::tryAdd() {
    trayIconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    // A shell that timed out on an earlier add may have added the icon after all; then it
    // refuses the add but takes a change.
    shown_ = notifyIcon_(NIM_ADD, &trayIconData_) || notifyIcon_(NIM_MODIFY, &trayIconData_);
    if (shown_ || retriesLeft_ <= 0) {
        stopRetrying();
        return;
    }
    --retriesLeft_;
    SetTimer(trayIconData_.hWnd, kRetryTimer, kAddRetryInterval, nullptr);
}

void mdlTray::stopRetrying() {
    if (trayIconData_.hWnd != nullptr) {
        KillTimer(trayIconData_.hWnd, kRetryTimer);
    }
}

bool mdlTray::handleNotifierMessage(UINT msg, WPARAM wParam) {
    if (msg != WM_TIMER || wParam != kRetryTimer) {
        return false;
    }
    stopRetrying();
    if (wanted_ && !shown_) {
        tryAdd();
    }
    return true;
}

void mdlTray::showTrayBalloon(const std::wstring& text, const std::wstring& title) {
    trayIconData_.uFlags = NIF_INFO;
    trayIconData_.dwInfoFlags = NIIF_INFO;
    copyLimited(trayIconData_.szInfoTitle, title, kTitleChars);
    copyLimited(trayIconData_.szInfo, text, kInfoChars);
    notifyIcon_(NIM_MODIFY, &trayIconData_);
}

void mdlTray::removeTrayIcon() {
    wanted_ = false;
    stopRetrying();
    notifyIcon_(NIM_DELETE, &trayIconData_);
    shown_ = false;
}

void mdlTray::removeTrayIconAtExit() {
    if (!wanted_ && !shown_) {
        return;
    }
    wanted_ = false;
    stopRetrying();
    shown_ = false;
    // The shell answers only once it has redrawn its area (wine's own tray, without a window
    // manager, takes two seconds to hide itself). The request is on its way either way; the
    // thread ends with it, or with the process.
    std::packaged_task<void()> removal([notifyIcon = notifyIcon_, data = trayIconData_]() mutable {
        notifyIcon(NIM_DELETE, &data);
    });
    const std::future<void> removed = removal.get_future();
    std::thread(std::move(removal)).detach();
    removed.wait_for(kRemovalWaitAtExit);
}

void mdlTray::restoreAfterTaskbarRestart() {
    if (!wanted_) {
        return;
    }
    shown_ = false;
    retriesLeft_ = kAddRetries;
    tryAdd();
}

}  // namespace netsorter
