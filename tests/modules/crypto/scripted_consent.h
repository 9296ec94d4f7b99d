#pragma once

// The consent of the crypto tests: answers from a script, tried one after the
// other as a user types them into the dialog that stays open, and a record of
// every question asked and every failure shown. An exhausted script cancels,
// as a user who closes the dialog.

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

    void ask(const zorva::plugin::crypto::ConsentRequest& request,
             const zorva::plugin::crypto::ConsentAttempt& attempt) override {
        asked.push_back(request);
        for (;;) {
            if (answers_.empty())
                PLUGIN_THROW(zorva::plugin::exception::ApplicationException(20003), "ask");
            const Answer next = answers_.front();
            answers_.pop_front();
            auto failure = attempt({next.certificateId, zorva::plugin::cryptoki::Secret(
                                                            next.pin.data(), next.pin.size())});
            if (!failure) return;
            shown.push_back(*failure);
        }
    }

    std::vector<zorva::plugin::crypto::ConsentRequest> asked;
    std::vector<zorva::plugin::crypto::ConsentFailure> shown;

private:
    std::deque<Answer> answers_;
};
