// The tray icon: one notification record for the life of the window, so that a balloon
// and the removal always address the icon that was last added.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>

namespace netsorter {

// The shell's notification-area call; tests hand in a shell of their own.
using NotifyIconFn = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);

class mdlTray {
  public:
    // Text limits of the balloon-capable record, in characters, terminator excluded.
    static constexpr size_t kTipChars = 127;
    static constexpr size_t kInfoChars = 255;
    static constexpr size_t kTitleChars = 63;

    // A refused add is tried again this often, this many times: at logon the program may
    // start before the notification area is ready (a restarted shell announces itself).
    static constexpr UINT kAddRetryInterval = 1000;
    static constexpr int kAddRetries = 30;
    // How long the program's end waits for the shell to take the icon away.
    static constexpr std::chrono::milliseconds kRemovalWaitAtExit{300};

    explicit mdlTray(NotifyIconFn notifyIcon = Shell_NotifyIconW);
    ~mdlTray();
    mdlTray(const mdlTray&) = delete;
    mdlTray& operator=(const mdlTray&) = delete;

    // From here on the icon should be shown, until removeTrayIcon.
    void addTrayIcon(HWND notifier, HICON icon, const std::wstring& tip);
    // With both texts empty the balloon that is showing is taken down.
    void showTrayBalloon(const std::wstring& text, const std::wstring& title);
    void removeTrayIcon();
    // The same at the window's end, where a slow or hung shell must not hold the exit:
    // the removal is asked for, and waited for only a moment. Nothing to do when no icon
    // is shown or wanted.
    void removeTrayIconAtExit();

    // Explorer forgets every icon when it restarts; this puts ours back if it should be
    // shown, whether or not an earlier add succeeded.
    void restoreAfterTaskbarRestart();
    // The notifier window's messages that belong to the tray (the retry timer); true when
    // the message was the tray's.
    bool handleNotifierMessage(UINT msg, WPARAM wParam);

  private:
    static constexpr UINT_PTR kRetryTimer = 1;

    NotifyIconFn notifyIcon_;
    NOTIFYICONDATAW trayIconData_{};
    bool wanted_ = false;
    bool shown_ = false;
    int retriesLeft_ = 0;

    void tryAdd();
    void stopRetrying();
};

// Copies text into a fixed field, cut to limit characters (never inside a surrogate pair).
void copyLimited(wchar_t* field, const std::wstring& text, size_t limit);

}  // namespace netsorter
