#include "desktop/clipboard.h"

namespace netsorter::win {

bool readClipboardText(HWND owner, std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return false;
    }
    text.clear();
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Whether or not the text is terminated, the block's size bounds it.
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
    return true;
}

}  // namespace netsorter::win
