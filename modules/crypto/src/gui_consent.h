#pragma once

#include "consent.h"

#include <chrono>

namespace zorva::plugin::crypto {

// Asks in a dialog on the GUI thread: the request is posted to the main
// thread and this thread waits for the answer, by default at most 120
// seconds. A cancel,
// a closed dialog, the time-out or a host without a graphical session is
// ApplicationException 20003. Only the waiting request's connection waits.
class GuiConsent : public IConsent {
public:
    explicit GuiConsent(std::chrono::seconds answerLimit = std::chrono::seconds(120))
        : answerLimit_(answerLimit) {}

    ConsentAnswer ask(const ConsentRequest& request) override;

private:
    std::chrono::seconds answerLimit_;
};

}  // namespace zorva::plugin::crypto
