// The window speaks Russian: the reasons the core gives in English (the tool prints them as
// they are) are put into Russian here. A reason the table does not know, such as the
// system's own text of an error (already in the user's language), is shown as it is.
#pragma once

#include <string>

namespace netsorter {

std::string russianReason(const std::string& reason);

}  // namespace netsorter
