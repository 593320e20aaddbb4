// Two keys pressed together, watched through the global key state rather than a hook, so
// that the chord counts whichever program has the focus.
#pragma once

namespace netsorter::win {

class KeyChord {
  public:
    KeyChord(int first, int second) : first_(first), second_(second) {}

    // Asks both keys' state (both, every time, so each one's "pressed since the last call"
    // bit is consumed) and answers whether a new press of the chord began since the last
    // poll. A chord held down over any number of polls is one press; a key auto-repeating
    // while held is not a new one.
    bool poll();

  private:
    int first_;
    int second_;
    bool heldAtLastPoll_ = false;
};

}  // namespace netsorter::win
