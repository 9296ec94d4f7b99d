#include "gui_consent.h"

#include "consent_dialog.h"
#include "exception.h"
#include "gui_registry.h"

#include <string>

namespace zorva::plugin::ui {
namespace {

std::string reasonOf(PromptResult result) {
    return result == PromptResult::Rejected
               ? "consent: the user cancelled"
               : "consent: no answer from the user in time, or no display to ask on";
}

}  // namespace

GuiConsent::GuiConsent(std::chrono::milliseconds limit) : limit_(limit) {}

crypto::ConsentAnswer GuiConsent::ask(const crypto::ConsentRequest& request) {
    crypto::ConsentAnswer answer;
    const PromptResult result =
        runPrompt([&request] { return new ConsentDialog(request, GuiRegistry::instance().impl()); },
                  [&answer](QDialog& dialog, PromptResult result) {
                      if (result == PromptResult::Accepted)
                          answer = static_cast<ConsentDialog&>(dialog).takeAnswer();
                  },
                  limit_);
    if (result != PromptResult::Accepted)
        PLUGIN_THROW(
            exception::ApplicationException(20003) << exception::Message_(reasonOf(result)), "ask");
    return answer;
}

}  // namespace zorva::plugin::ui
