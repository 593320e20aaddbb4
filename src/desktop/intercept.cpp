// Clipboard interception: Ctrl+C pressed twice within half a second checks the
// clipboard's text. The keyboard is polled, not hooked, so it works whichever program
// has the focus.
#include "app/form1.h"
#include "app/resource.h"
#include "common/wide.h"
#include "desktop/clipboard.h"

namespace netsorter {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";

// Another program may hold the clipboard for a moment (it is writing the copied text
// right now); a few short retries catch most of those.
std::wstring clipboardText(HWND owner) {
    std::wstring text;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (win::readClipboardText(owner, text)) {
            return text;
        }
        Sleep(20);
    }
    return {};
}

}  // namespace

void Form1::mnuSettingsIntercept_Click() {
    if (interceptOn_) {
        RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    } else if (const win::UniqueKey key = win::createKey(HKEY_CURRENT_USER, kSettingsKey)) {
        win::writeString(key.get(), L"intercept", L"1");
    }
    interceptOn_ = !interceptOn_;
    setMenuCheck(IDM_SETTINGS_INTERCEPT, interceptOn_);
    setTimerEnabled(Timer2, interceptOn_);
}

void Form1::Timer2_Timer() {
    // Both keys are asked on every tick, so each one's "pressed since" state is consumed.
    const bool ctrl = GetAsyncKeyState(VK_CONTROL) != 0;
    const bool c = GetAsyncKeyState('C') != 0;
    if (!(ctrl && c)) {
        return;
    }
    if (!timerEnabled(Timer3)) {
        setTimerEnabled(Timer3, true);
        return;
    }
    // Closed before the check lets events through, so a tick during the check can only
    // open a new window, never start a second check from the same press.
    setTimerEnabled(Timer3, false);
    const std::string text = fromWide(clipboardText(hwnd_));
    try {
        checkUrl(*this, text, true);
    } catch (...) {
        // A failed check from the clipboard ends quietly; the user did not ask the window.
    }
}

void Form1::Timer3_Timer() { setTimerEnabled(Timer3, false); }

}  // namespace netsorter
