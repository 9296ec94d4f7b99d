#include "gui_consent.h"

#include "consent_dialog.h"
#include "exception.h"
#include "gui_registry.h"
#include "prompt_session.h"

#include <string>
#include <utility>

namespace zorva::plugin::ui {
namespace {

// Raises 20003 unless the user answered.
void requireAnswer(PromptResult result) {
    if (result == PromptResult::Accepted) return;
    const std::string reason =
        result == PromptResult::Rejected
            ? "consent: the user cancelled"
            : "consent: no answer from the user in time, or no display to ask on";
    PLUGIN_THROW(exception::ApplicationException(20003) << exception::Message_(reason), "ask");
}

}  // namespace

GuiConsent::GuiConsent(std::chrono::milliseconds limit) : limit_(limit) {}

void GuiConsent::ask(const crypto::ConsentRequest& request, const crypto::ConsentAttempt& attempt) {
    crypto::ConsentAnswer answer;
    PromptSession prompt(
        [&request] { return new ConsentDialog(request, GuiRegistry::instance().impl()); },
        [&answer](SubmittingDialog& dialog) {
            answer = static_cast<ConsentDialog&>(dialog).takeAnswer();
        },
        {}, limit_);
    for (;;) {
        requireAnswer(prompt.next());
        std::optional<crypto::ConsentFailure> failure = attempt(std::move(answer));
        // The user may have left while the attempt ran: then nothing is signed.
        if (!failure) return requireAnswer(prompt.accept());
        prompt.retry([failure = std::move(*failure)](SubmittingDialog& dialog) {
            static_cast<ConsentDialog&>(dialog).showFailedAttempt(failure);
        });
    }
}

}  // namespace zorva::plugin::ui
