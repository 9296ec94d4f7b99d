#include "prompt_queue.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zorva::plugin::ui {
namespace {

// Tickets in arrival order; the holder of the ticket being served shows its
// dialog, the others wait.
class PromptQueue {
public:
    void waitForTurn() {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::uint64_t ticket = next_++;
        turn_.wait(lock, [&] { return serving_ == ticket; });
    }

    void done() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0;
    std::uint64_t serving_ = 0;
};

PromptQueue& queue() {
    static PromptQueue instance;
    return instance;
}

}  // namespace

PromptTurn::PromptTurn() { queue().waitForTurn(); }

PromptTurn::~PromptTurn() { queue().done(); }

}  // namespace zorva::plugin::ui
