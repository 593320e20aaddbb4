// Commands of nsdriver for the desktop integration tests (driver_desktop.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One line of output, UTF-8.
void print(const std::string& text);
// A JSON string of the text.
std::string json(const std::wstring& text);

// A window's text, read without hanging on a window that does not answer.
std::wstring textOf(HWND hwnd);

// Runs the command named by args[0] when it is one of these; -1 when it is not.
int desktopCommand(const std::vector<std::wstring>& args);
