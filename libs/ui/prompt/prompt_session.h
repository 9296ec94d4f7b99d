#pragma once

#include "prompt_queue.h"
#include "prompt_runner.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace zorva::plugin::ui {

class SitePrompt;
class SubmittingDialog;

// Runs on the GUI thread on the prompt's dialog while it shows.
using PromptUpdate = std::function<void(SubmittingDialog& dialog)>;

// One prompt that stays on screen while its asking thread checks what the
// user submitted, for as many tries as it takes (a PIN typed wrong, then
// right): the user sees one window throughout, and the caller keeps its turn
// in the prompt queue until the prompt ends, so no other prompt comes up
// between two tries. The dialog is shown as runPrompt shows its dialogs.
// The time limit counts the user's time to answer: it runs from the show,
// stops while a submission is checked, and starts anew with each retry.
// Lives on the asking thread; the GUI thread only shows the dialog.
class PromptSession {
public:
    // Waits for the turn and shows the dialog. `submitted` runs on the GUI
    // thread at each submission of a SubmittingDialog: the place to copy out
    // what the user entered. `finished` runs there once the dialog closed.
    // A web origin's prompt is looked at again when its turn comes: the user
    // may have dismissed one of its site's prompts meanwhile, and then it
    // raises SitePromptRefused instead of coming up.
    PromptSession(const PromptFactory& factory, const PromptUpdate& submitted,
                  const PromptFinished& finished = {},
                  std::chrono::milliseconds limit = defaultPromptLimit,
                  const SitePrompt* site = nullptr);
    // Closes the dialog if it still shows, waits until it is gone and gives
    // the turn to the next caller.
    ~PromptSession();
    PromptSession(const PromptSession&) = delete;
    PromptSession& operator=(const PromptSession&) = delete;

    // Waits for the user: Accepted once they submitted (the dialog then waits
    // for retry or accept) or accepted a plain dialog; otherwise how the
    // dialog ended. A failing factory's exception arrives here.
    PromptResult next();
    // Shows what became of the last submission and lets the user try again.
    void retry(PromptUpdate update);
    // Closes the dialog as accepted. Returns how it ended: the user may have
    // closed it while the submission was checked.
    PromptResult accept();

private:
    class Mailbox;
    class Shown;

    void post(std::function<void(Shown&)> action);

    std::optional<PromptTurn> turn_;
    std::shared_ptr<Mailbox> mailbox_;
    std::weak_ptr<Shown> shown_;
};

}  // namespace zorva::plugin::ui
