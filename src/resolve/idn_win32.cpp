#include <windows.h>

#include "common/wide.h"
#include "resolve/idn_library.h"

namespace netsorter::idn_library {
namespace {

// Flags 0: unassigned code points refused, no STD3 rules (an "_" stays allowed).
template <class Convert>
std::optional<std::string> convert(const std::string& name, Convert&& call) {
    const std::wstring in = toWide(name);
    const int size = static_cast<int>(in.size());
    const int n = call(in.data(), size, nullptr, 0);
    if (n <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (call(in.data(), size, out.data(), n) != n) {
        return std::nullopt;
    }
    return fromWide(out);
}

}  // namespace

std::optional<std::string> toAscii(const std::string& name) {
    return convert(name, [](const wchar_t* in, int n, wchar_t* out, int capacity) {
        return IdnToAscii(0, in, n, out, capacity);
    });
}

std::optional<std::string> toUnicode(const std::string& name) {
    return convert(name, [](const wchar_t* in, int n, wchar_t* out, int capacity) {
        return IdnToUnicode(0, in, n, out, capacity);
    });
}

}  // namespace netsorter::idn_library
