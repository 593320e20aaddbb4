// A Ui for tests: counts the turns given to events, records every message box and answers
// the prompts from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/ui.h"
#include "common/yield.h"

namespace netsorter::testing {

struct ShownBox {
    std::string text;
    std::string title;
    MsgIcon icon;
    MsgButtons buttons;
};

class FakeUi : public Ui {
  public:
    int doEventsCalls = 0;
    std::vector<ShownBox> shown;
    std::deque<MsgAnswer> answers;     // answers for YesNo boxes, Yes when empty
    std::function<void()> onDoEvents;  // runs inside doEvents (a nested request)

    // doEvents as the core's yield.
    Yield yield() {
        return [this] { doEvents(); };
    }

    void doEvents() override {
        ++doEventsCalls;
        if (onDoEvents) {
            onDoEvents();
        }
    }

    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgIcon icon,
                     MsgButtons buttons) override {
        shown.push_back({text, title, icon, buttons});
        if (buttons == MsgButtons::Ok) {
            return MsgAnswer::Ok;
        }
        if (answers.empty()) {
            return MsgAnswer::Yes;
        }
        const MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace netsorter::testing
