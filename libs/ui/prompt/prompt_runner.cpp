#include "prompt_runner.h"

#include "prompt_session.h"

namespace zorva::plugin::ui {

PromptResult runPrompt(const PromptFactory& factory, const PromptFinished& finished,
                       std::chrono::milliseconds limit, const SitePrompt* site) {
    PromptSession prompt(factory, {}, finished, limit, site);
    return prompt.next();
}

}  // namespace zorva::plugin::ui
