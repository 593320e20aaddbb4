// The host-name conversions on any text: an ASCII form that is ASCII and the same for any
// letter case, a Unicode form that names the same host again, a display form that is one of
// the two, and Russian names that come back from their ASCII form.
#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"
#include "fuzz_support.h"
#include "resolve/idn.h"

namespace {

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string shown(const std::optional<std::string>& name) {
    return name ? "[" + *name + "]" : "nothing";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace netsorter;
    using namespace netsorter::fuzz;
    const std::string name(asText(data, size));
    const bool hasNul = name.find('\0') != std::string::npos;

    const std::optional<std::string> ascii = toAsciiHost(name);
    if (hasNul || !isValidUtf8(name)) {
        expect(!ascii, "an ASCII form for [" + name + "]");
    } else if (isAscii(name)) {
        expectEqual("an ASCII name", shown(ascii), shown(name));
    } else {
        expectEqual("the same name in other letter case", shown(toAsciiHost(foldCase(name))),
                    shown(ascii));
        expect(!ascii || (isAscii(*ascii) && !ascii->empty()), "the ASCII form " + shown(ascii));
    }

    for (const std::string& given : {name, ascii.value_or("")}) {
        const std::string unicode = toUnicodeHost(given);
        if (unicode != given) {
            expectEqual("the Unicode form names the same host", shown(toAsciiHost(unicode)),
                        shown(asciiLower(given)));
        }
        const std::string display = displayName(given);
        expect(display == given || display == unicode || std::optional(display) == ascii,
               "displayName [" + display + "] of [" + given + "]");
    }

    // The input's bytes as a Russian name: it comes back from its ASCII form, in lower case.
    std::string russian;
    for (const std::uint8_t b : asText(data, size)) {
        if (b % 8 == 0) {
            if (!russian.empty() && russian.back() != '.') {
                russian += '.';
            }
        } else {
            appendUtf8(russian, U'\u0410' + b % 64);
        }
    }
    if (const std::optional<std::string> encoded = toAsciiHost(russian); encoded) {
        expectEqual("a Russian name back from " + shown(encoded), displayName(*encoded),
                    foldCase(russian));
    }
    return 0;
}
