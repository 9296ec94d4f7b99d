#pragma once

#include "consent.h"

namespace zorva::plugin::crypto {

// Asks in a dialog on the GUI thread: the request is posted to the main
// thread and this thread waits for the answer at most 120 seconds. A cancel,
// a closed dialog, the time-out or a host without a graphical session is
// ApplicationException 20003. Only the waiting request's connection waits.
class GuiConsent : public IConsent {
public:
    ConsentAnswer ask(const ConsentRequest& request) override;
};

}  // namespace zorva::plugin::crypto
