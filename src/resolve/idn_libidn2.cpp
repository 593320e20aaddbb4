#include <idn2.h>

#include <memory>

#include "resolve/idn_library.h"

namespace netsorter::idn_library {
namespace {

template <class Convert>
std::optional<std::string> convert(const std::string& name, Convert&& call) {
    char* out = nullptr;
    const int rc = call(name.c_str(), &out);
    const std::unique_ptr<char, decltype(&idn2_free)> owned(out, &idn2_free);
    if (rc != IDN2_OK || out == nullptr) {
        return std::nullopt;
    }
    return std::string(out);
}

}  // namespace

std::optional<std::string> toAscii(const std::string& name) {
    // What browsers do: input brought to NFC, UTS #46 mapping (lower case, width), and "ß" or
    // "ς" kept as the letters they are.
    return convert(name, [](const char* in, char** out) {
        return idn2_to_ascii_8z(in, out, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    });
}

std::optional<std::string> toUnicode(const std::string& name) {
    return convert(name,
                   [](const char* in, char** out) { return idn2_to_unicode_8z8z(in, out, 0); });
}

}  // namespace netsorter::idn_library
