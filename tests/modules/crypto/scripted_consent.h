#pragma once

// The consent of the crypto tests: answers from a script, one per question,
// and a record of every question asked. An exhausted script cancels, as a
// user who closes the dialog.

#include "consent.h"
#include "exception.h"

#include <deque>
#include <string>
#include <vector>

class ScriptedConsent : public zorva::plugin::crypto::IConsent {
public:
    struct Answer {
        std::string certificateId;
        std::string pin;
    };

    explicit ScriptedConsent(std::deque<Answer> answers = {}) : answers_(std::move(answers)) {}

    zorva::plugin::crypto::ConsentAnswer ask(
        const zorva::plugin::crypto::ConsentRequest& request) override {
        asked.push_back(request);
        if (answers_.empty())
            PLUGIN_THROW(zorva::plugin::exception::ApplicationException(20003), "ask");
        const Answer next = answers_.front();
        answers_.pop_front();
        return {next.certificateId,
                zorva::plugin::crypto::Secret(next.pin.data(), next.pin.size())};
    }

    std::vector<zorva::plugin::crypto::ConsentRequest> asked;

private:
    std::deque<Answer> answers_;
};
