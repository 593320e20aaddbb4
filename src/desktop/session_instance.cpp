#include "desktop/session_instance.h"

#include <string>

namespace netsorter::win {

SessionInstance::SessionInstance(const wchar_t* name)
    : mutex_(CreateMutexW(nullptr, FALSE, (std::wstring(L"Local\\") + name).c_str())) {
    // A name that cannot be taken at all (no rights) leaves this copy the first: better two
    // copies than none.
    first_ = !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

}  // namespace netsorter::win
