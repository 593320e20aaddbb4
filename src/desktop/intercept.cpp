// Clipboard interception: Ctrl+C pressed twice within half a second checks the
// clipboard's text. The keyboard is polled, not hooked, so it works whichever program
// has the focus.
#include "app/form1.h"
#include "app/resource.h"
#include "common/wide.h"

namespace netsorter {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Netsorter";

// Another program may hold the clipboard for a moment (it is writing the copied text
// right now); a few short retries catch most of those.
bool openClipboardPatiently(HWND owner) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (OpenClipboard(owner)) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

std::wstring clipboardText(HWND owner) {
    if (!openClipboardPatiently(owner)) {
        return {};
    }
    std::wstring text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Never read past the memory block, whether or not the text is terminated.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            size_t n = 0;
            while (n < capacity && chars[n] != L'\0') {
                ++n;
            }
            text.assign(chars, n);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
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
