#pragma once

#include "consent.h"
#include "prompt_runner.h"

#include <chrono>

namespace zorva::plugin::ui {

// Asks the person at the keyboard in the consent dialog, through the
// process's prompt queue: one prompt on screen at a time, the site approval's
// included, each for at most `limit`. Only the asking request's thread waits.
// A cancel, a closed dialog, the time-out or a host without a display is
// ApplicationException 20003.
class GuiConsent : public crypto::IConsent {
public:
    explicit GuiConsent(std::chrono::milliseconds limit = defaultPromptLimit);

    crypto::ConsentAnswer ask(const crypto::ConsentRequest& request) override;

private:
    const std::chrono::milliseconds limit_;
};

}  // namespace zorva::plugin::ui
