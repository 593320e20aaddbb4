#include "desktop/key_chord.h"

#include <windows.h>

namespace netsorter::win {
namespace {

constexpr SHORT kDownNow = static_cast<SHORT>(0x8000);
constexpr SHORT kPressedSince = 0x0001;

bool down(SHORT state) {
    return (state & kDownNow) != 0;
}
// Pressed after the previous query and already released again: a whole press fell
// between two polls.
bool tapped(SHORT state) {
    return (state & kPressedSince) != 0 && !down(state);
}

}  // namespace

bool KeyChord::poll() {
    const SHORT first = GetAsyncKeyState(first_);
    const SHORT second = GetAsyncKeyState(second_);
    const bool seen = first != 0 && second != 0;
    const bool press = seen && (!heldAtLastPoll_ || tapped(first) || tapped(second));
    heldAtLastPoll_ = down(first) && down(second);
    return press;
}

}  // namespace netsorter::win
