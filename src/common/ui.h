// The only way the core reaches the user: a turn for pending events and a message box.
// The window, the command-line tool and the tests each provide their own.
#pragma once

#include <string>

namespace netsorter {

enum class MsgIcon { None, Critical, Information };
enum class MsgButtons { Ok, YesNo };  // YesNo has Yes as its default
enum class MsgAnswer { Ok, Yes, No };

class Ui {
  public:
    virtual ~Ui() = default;

    // Lets pending user-interface events run once. Anything, a whole check included,
    // may run inside this call.
    virtual void doEvents() = 0;

    // Shows a modal message box; texts are UTF-8.
    virtual MsgAnswer msgBox(const std::string& text, const std::string& title, MsgIcon icon,
                             MsgButtons buttons) = 0;
};

}  // namespace netsorter
