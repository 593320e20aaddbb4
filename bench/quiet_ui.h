// A Ui that lets nothing run and answers every prompt Yes, so only the core is measured.
#pragma once

#include "common/ui.h"

class QuietUi : public netsorter::Ui {
  public:
    void doEvents() override {}
    netsorter::MsgAnswer msgBox(const std::string&, const std::string&, netsorter::MsgIcon,
                                netsorter::MsgButtons) override {
        return netsorter::MsgAnswer::Yes;
    }
};
