#pragma once

#include "consent.h"
#include "prompt_runner.h"
#include "site_ledger.h"

#include <chrono>

namespace zorva::plugin::ui {

class SitePrompt;

// Asks the person at the keyboard in the consent dialog, through the
// process's prompt queue: one prompt on screen at a time, the site approval's
// included. Each answer is tried on the asking request's thread while the
// dialog waits, and a wrong PIN is shown in the same window; the queue is
// held until the dialog closes. The user has `limit` to answer, counted anew
// after each failed attempt and not while one is checked. A cancel, a closed
// dialog, the time-out or a host without a display is ApplicationException
// Cancelled. After a cancel the site's requests get Cancelled at once for a while,
// without a window; a request of an origin whose window is queued or shown
// already gets General, "an action is already pending", at once.
class GuiConsent : public crypto::IConsent {
public:
    explicit GuiConsent(std::chrono::milliseconds limit = defaultPromptLimit);

    void ask(const crypto::ConsentRequest& request, const crypto::ConsentAttempt& attempt) override;

private:
    void askInTurn(const crypto::ConsentRequest& request, const crypto::ConsentAttempt& attempt,
                   SitePrompt& site);

    const std::chrono::milliseconds limit_;
    SiteLedger sites_;
};

}  // namespace zorva::plugin::ui
