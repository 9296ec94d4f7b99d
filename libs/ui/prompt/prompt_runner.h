#pragma once

#include <chrono>
#include <functional>

class QDialog;

namespace zorva::plugin::ui {

class SitePrompt;

// How a prompt ended. Nobody answering (time-out, no display to show it on,
// the application gone) is told apart from a refusal.
enum class PromptResult { Accepted, Rejected, TimedOut };

// How long a prompt waits for the user once it is shown.
constexpr std::chrono::milliseconds defaultPromptLimit{std::chrono::seconds(120)};

// Builds the dialog; runs on the GUI thread. The runner owns the dialog.
using PromptFactory = std::function<QDialog*()>;
// Runs on the GUI thread once the dialog has closed and before it is deleted:
// the place to copy out what the user entered.
using PromptFinished = std::function<void(QDialog& dialog, PromptResult result)>;

// Shows one dialog and waits for its end. The user never sees two prompts at
// once: callers wait for their turn in the order they came, and each waits on
// its own thread, so a prompt holds only its caller. The dialog comes up on
// top with the branding's dialog look and closes itself after `limit`.
// Callable from any thread but the GUI thread; a failing factory's exception
// reaches the caller. One queue serves the whole process: the host and every
// module share this library. A dialog that checks its answer and may ask
// again in the same window goes through PromptSession instead. A web
// origin's prompt is checked again when its turn comes, as PromptSession
// checks it.
PromptResult runPrompt(const PromptFactory& factory, const PromptFinished& finished = {},
                       std::chrono::milliseconds limit = defaultPromptLimit,
                       const SitePrompt* site = nullptr);

}  // namespace zorva::plugin::ui
