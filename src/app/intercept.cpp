// Clipboard interception: Ctrl+C pressed twice within half a second checks the
// clipboard's text. The keyboard is polled, not hooked, so it works whichever program
// has the focus.
#include "app/form1.h"
#include "app/resource.h"
#include "common/wide.h"
#include "desktop/clipboard.h"
#include "desktop/settings.h"

namespace netsorter {
namespace {

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
    settings::storeIntercept(!interceptOn_);
    interceptOn_ = !interceptOn_;
    setMenuCheck(IDM_SETTINGS_INTERCEPT, interceptOn_);
    setTimerEnabled(Timer2, interceptOn_);
}

void Form1::Timer2_Timer() {
    // A press counts once, however long the keys stay down: one ordinary Ctrl+C held over
    // two polls must not pass for the second.
    if (!ctrlC_.poll()) {
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
        checkUrl(text, true);
    } catch (...) {
        // A failed check from the clipboard ends quietly; the user did not ask the window.
    }
}

void Form1::Timer3_Timer() {
    setTimerEnabled(Timer3, false);
}

}  // namespace netsorter
