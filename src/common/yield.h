// A turn for pending user-interface events, given by the window to the long operations of
// the core (loading a file line by line, resolving, a country lookup). Anything may run
// inside it, a whole check included. Headless callers pass none.
#pragma once

#include <functional>

namespace netsorter {

using Yield = std::function<void()>;

inline void yieldOnce(const Yield& yield) {
    if (yield) {
        yield();
    }
}

}  // namespace netsorter
