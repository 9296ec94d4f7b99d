#pragma once

#include "consent.h"
#include "prompt_runner.h"

#include <chrono>

namespace zorva::plugin::ui {

// Asks the person at the keyboard in the consent dialog, through the
// process's prompt queue: one prompt on screen at a time, the site approval's
// included. Each answer is tried on the asking request's thread while the
// dialog waits, and a wrong PIN is shown in the same window; the queue is
// held until the dialog closes. The user has `limit` to answer, counted anew
// after each failed attempt and not while one is checked. A cancel, a closed
// dialog, the time-out or a host without a display is ApplicationException
// 20003.
class GuiConsent : public crypto::IConsent {
public:
    explicit GuiConsent(std::chrono::milliseconds limit = defaultPromptLimit);

    void ask(const crypto::ConsentRequest& request, const crypto::ConsentAttempt& attempt) override;

private:
    const std::chrono::milliseconds limit_;
};

}  // namespace zorva::plugin::ui
