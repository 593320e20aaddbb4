// One running copy of a program per user session: the first start takes a name that every
// later start then finds taken.
#pragma once

#include "desktop/win.h"

namespace netsorter::win {

class SessionInstance {
  public:
    // name: the program's own, the same for every copy of it.
    explicit SessionInstance(const wchar_t* name);
    // False when another copy of the program runs in this session.
    bool first() const { return first_; }

  private:
    UniqueHandle mutex_;
    bool first_ = true;
};

}  // namespace netsorter::win
