#pragma once

#include "site_ledger.h"

#include <stdexcept>
#include <string>

namespace zorva::plugin::ui {

// A web origin's prompt that may not come up: its site is under an embargo,
// or the origin has a prompt queued or shown already. The caller answers the
// request at once with its own error.
class SitePromptRefused : public std::runtime_error {
public:
    enum class Reason { Embargo, Pending };

    SitePromptRefused(Reason reason, const std::string& text);
    Reason reason() const { return reason_; }

private:
    Reason reason_;
};

// One prompt of a web origin, from the asking request to the user's answer,
// kept in the ledger meanwhile. A program (an empty origin) is never held
// back: it is the user's own.
class SitePrompt {
public:
    // Raises SitePromptRefused when the prompt may not come up.
    SitePrompt(SiteLedger& ledger, std::string origin);
    ~SitePrompt();
    SitePrompt(const SitePrompt&) = delete;
    SitePrompt& operator=(const SitePrompt&) = delete;

    // Raises SitePromptRefused when the user dismissed one of the site's
    // prompts while this one waited for its turn.
    void checkEmbargo() const;
    // The user dismissed or cancelled the prompt.
    void dismissed();
    // The user answered the prompt.
    void answered();

private:
    SiteLedger& ledger_;
    const std::string origin_;
};

}  // namespace zorva::plugin::ui
