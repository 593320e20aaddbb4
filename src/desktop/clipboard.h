// The clipboard's plain text.
#pragma once

#include <windows.h>

#include <string>

namespace netsorter::win {

// Reads the clipboard's text, never past its memory block. False when the clipboard cannot
// be opened now (another program holds it); text is empty when it holds no text.
bool readClipboardText(HWND owner, std::wstring& text);

}  // namespace netsorter::win
