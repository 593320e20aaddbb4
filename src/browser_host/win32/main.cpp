// netsorter-host.exe: what Chrome, Edge and Firefox start for the extension "Проверить IP".
// The address goes to the program, which shows the result in its tray balloon as it does for
// Internet Explorer; the browser hears only whether the program took it. The browser's own
// arguments (the caller's origin, its window) are not needed.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>

#include "browser_host/native_messaging.h"
#include "browser_host/win32/check_link.h"

int main() {
    // The length prefixes are binary; text mode would turn a byte 10 into 13 10.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    const netsorter::browser_host::ComApartment com;
    return netsorter::browser_host::serve(std::cin, std::cout, netsorter::browser_host::checkLink);
}
