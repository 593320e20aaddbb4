// What the core asks of a front end, for tests: turns for events (counted, and a hook to
// run a nested request inside one), the questions a load asks (answered from a script) and
// the problems a user must hear of, each recorded as the box a window would show.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/problem.h"
#include "common/yield.h"
#include "geo/country_names.h"

namespace netsorter::testing {

struct ShownBox {
    std::string text;
    std::string title;
};

class FakeUi {
  public:
    int doEventsCalls = 0;
    std::vector<ShownBox> shown;
    std::deque<bool> answers;          // to the questions, in order; going on when empty
    std::function<void()> onDoEvents;  // runs inside doEvents (a nested request)

    void doEvents() {
        ++doEventsCalls;
        if (onDoEvents) {
            onDoEvents();
        }
    }

    Yield yield() {
        return [this] { doEvents(); };
    }

    AskToGoOn ask() {
        return [this](const DuplicateLine& line) {
            shown.push_back({line.question().joined("\r\n"), "Ошибка"});
            if (answers.empty()) {
                return true;
            }
            const bool goOn = answers.front();
            answers.pop_front();
            return goOn;
        };
    }

    // As the window shows it.
    void report(const Problem& problem) {
        shown.push_back({problem.joined("\r\n"),
                         problem.kind == Problem::Kind::Warning ? "Внимание" : "Netsorter"});
    }
    std::function<void(const Problem&)> reporter() {
        return [this](const Problem& problem) { report(problem); };
    }
};

}  // namespace netsorter::testing
