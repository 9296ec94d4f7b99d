#pragma once

namespace zorva::plugin::ui {

// The caller's place in the process's one prompt queue: constructing it waits
// until every caller that came earlier is done, destroying it lets the next
// one go. Callers are served in the order they came.
class PromptTurn {
public:
    PromptTurn();
    ~PromptTurn();
    PromptTurn(const PromptTurn&) = delete;
    PromptTurn& operator=(const PromptTurn&) = delete;
};

}  // namespace zorva::plugin::ui
