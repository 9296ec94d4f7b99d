#include "gui_consent.h"

#include "consent_dialog.h"
#include "exception.h"
#include "gui_registry.h"
#include "prompt_session.h"
#include "site_prompt.h"

#include <string>
#include <utility>

namespace zorva::plugin::ui {
namespace {

using exception::ApplicationCode;

// Raises Cancelled unless the user answered.
void requireAnswer(PromptResult result) {
    if (result == PromptResult::Accepted) return;
    const std::string reason =
        result == PromptResult::Rejected
            ? "consent: the user cancelled"
            : "consent: no answer from the user in time, or no display to ask on";
    PLUGIN_THROW(exception::ApplicationException(ApplicationCode::Cancelled)
                     << exception::Message_(reason),
                 "ask");
}

// A cancel also holds the site's windows back for a while.
void requireAnswer(PromptResult result, SitePrompt& site) {
    if (result == PromptResult::Rejected) site.dismissed();
    requireAnswer(result);
}

}  // namespace

GuiConsent::GuiConsent(std::chrono::milliseconds limit) : limit_(limit) {}

// A site held back, or one whose window is up already, is answered at once.
void GuiConsent::ask(const crypto::ConsentRequest& request, const crypto::ConsentAttempt& attempt) {
    try {
        SitePrompt site(sites_, request.origin);
        askInTurn(request, attempt, site);
    } catch (const SitePromptRefused& refused) {
        // No code of the table says "pending": the general error carries the
        // reason, "an action is already pending", in its message.
        const bool pending = refused.reason() == SitePromptRefused::Reason::Pending;
        PLUGIN_THROW(exception::ApplicationException(pending ? ApplicationCode::General
                                                             : ApplicationCode::Cancelled)
                         << exception::Message_(std::string("consent: ") + refused.what()),
                     "ask");
    }
}

void GuiConsent::askInTurn(const crypto::ConsentRequest& request,
                           const crypto::ConsentAttempt& attempt, SitePrompt& site) {
    crypto::ConsentAnswer answer;
    PromptSession prompt(
        [&request] { return new ConsentDialog(request, GuiRegistry::instance().impl()); },
        [&answer](SubmittingDialog& dialog) {
            answer = static_cast<ConsentDialog&>(dialog).takeAnswer();
        },
        {}, limit_, &site);
    for (;;) {
        requireAnswer(prompt.next(), site);
        std::optional<crypto::ConsentFailure> failure = attempt(std::move(answer));
        // The user may have left while the attempt ran: then nothing is signed.
        if (!failure) {
            requireAnswer(prompt.accept(), site);
            return site.answered();
        }
        prompt.retry([failure = std::move(*failure)](SubmittingDialog& dialog) {
            static_cast<ConsentDialog&>(dialog).showFailedAttempt(failure);
        });
    }
}

}  // namespace zorva::plugin::ui
