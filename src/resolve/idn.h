// International host names: the ASCII form a resolver is asked with, and the form shown.
// One header, two conversions: libidn2 (IDNA 2008 with UTS #46 mapping, non-transitional)
// and Windows' IdnToAscii and IdnToUnicode, which keep the older transitional mapping ("ß"
// becomes "ss") and accept some symbols IDNA 2008 refuses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace netsorter {

// The ASCII form of a host name given in UTF-8: an ASCII name as it is (letter case
// included), any other through the conversion ("ПРИМЕР.РФ" is "xn--e1afmkfd.xn--p1ai").
// Nothing for a name that cannot be converted, is no UTF-8 or holds a NUL.
std::optional<std::string> toAsciiHost(std::string_view name);

// The UTF-8 form of a name whose "xn--" labels are valid: one that converts back to the same
// ASCII name, letter case aside. Any other name comes back as it is.
std::string toUnicodeHost(std::string_view name);

// How a name from a reverse lookup is shown: in its UTF-8 form, unless a label of that form
// mixes Latin, Greek and Cyrillic letters (the look-alike trick of "pаypal" with a Cyrillic
// "а"); such a name is shown in its "xn--" form.
std::string displayName(std::string_view name);

}  // namespace netsorter
