#include "desktop/clipboard.h"

namespace netsorter::win {
namespace {

// The clipboard is one per session: whoever opens it must close it on every path, or
// every other program is locked out of it.
class OpenClipboardGuard {
  public:
    explicit OpenClipboardGuard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~OpenClipboardGuard() {
        if (open_) {
            CloseClipboard();
        }
    }
    OpenClipboardGuard(const OpenClipboardGuard&) = delete;
    OpenClipboardGuard& operator=(const OpenClipboardGuard&) = delete;
    explicit operator bool() const { return open_; }

  private:
    bool open_;
};

template <class T>
class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL memory)
        : memory_(memory), data_(static_cast<const T*>(GlobalLock(memory))) {}
    ~GlobalLockGuard() {
        if (data_ != nullptr) {
            GlobalUnlock(memory_);
        }
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    const T* data() const { return data_; }

  private:
    HGLOBAL memory_;
    const T* data_;
};

}  // namespace

bool readClipboardText(HWND owner, std::wstring& text) {
    const OpenClipboardGuard clipboard(owner);
    if (!clipboard) {
        return false;
    }
    text.clear();
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        const GlobalLockGuard<wchar_t> locked(data);
        if (const wchar_t* chars = locked.data()) {
            // Whether or not the text is terminated, the block's size bounds it.
            const size_t capacity = GlobalSize(data) / sizeof(wchar_t);
            size_t n = 0;
            while (n < capacity && chars[n] != L'\0') {
                ++n;
            }
            text.assign(chars, n);
        }
    }
    return true;
}

}  // namespace netsorter::win
