// Small Win32 helpers for any window of the program: handles owned by RAII types, the
// registry, the executable's path, and running the program again with a switch.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace netsorter::win {

struct KeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
// A kernel handle that is never INVALID_HANDLE_VALUE (processes, threads, events).
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct GdiDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;

struct MenuDestroyer {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

// A window its owner may have destroyed already, as owned windows go with their owner.
struct WindowDestroyer {
    void operator()(HWND window) const noexcept {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
    }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// Opens (KEY_READ) or creates (full access) a key; empty when that fails.
UniqueKey openKey(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);
UniqueKey createKey(HKEY root, const std::wstring& path, REGSAM access = KEY_ALL_ACCESS);

// A string value's text, or nothing when the value is absent or not readable.
std::optional<std::wstring> readString(HKEY key, const std::wstring& name);
bool writeString(HKEY key, const std::wstring& name, const std::wstring& text);
bool writeDword(HKEY key, const std::wstring& name, DWORD value);

// Deletes the key with everything in it, then each parent that is left empty, up to (not
// including) the first level below root ("Software").
void deleteKeyAndEmptyParents(HKEY root, const std::wstring& path);

// The running executable: its file name without extension, and its full path built as
// the program's directory, one backslash, that name and ".exe".
std::wstring exeName();
std::wstring exePath();

// Starts the executable with one switch in a hidden window and does not wait. The path
// is quoted, so a directory with blanks cannot start another program.
bool runSelfHidden(const std::wstring& exe, const std::wstring& switchText);

}  // namespace netsorter::win
