// The tray icon: one notification record for the life of the window, so that a balloon
// and the removal always address the icon that was last added.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace netsorter {

class mdlTray {
public:
    // Text limits of the balloon-capable record, in characters, terminator excluded.
    static constexpr size_t kTipChars = 127;
    static constexpr size_t kInfoChars = 255;
    static constexpr size_t kTitleChars = 63;

    mdlTray();

    void addTrayIcon(HWND notifier, HICON icon, const std::wstring& tip);
    // With both texts empty the balloon that is showing is taken down.
    void showTrayBalloon(const std::wstring& text, const std::wstring& title);
    void removeTrayIcon();

    // Explorer forgets every icon when it restarts; this puts ours back if it should exist.
    void restoreAfterTaskbarRestart();

    bool iconShown() const { return shown_; }

private:
    NOTIFYICONDATAW trayIconData_{};
    bool shown_ = false;
};

// Copies text into a fixed field, cut to limit characters (never inside a surrogate pair).
void copyLimited(wchar_t* field, const std::wstring& text, size_t limit);

}  // namespace netsorter
