#pragma once

#include <chrono>
#include <functional>
#include <thread>

// The section of the platform layer that lets a signal handler have work
// done that it may not do itself.
namespace zorva::plugin::platform {

// A task run on a thread of its own whenever a signal handler asks for it.
// Work that takes locks (writing out queued log records) must not run on a
// thread that may hold them, and a task that hangs must not keep the handler
// from its own work: the handler waits a bounded time.
class SignalSafeTask {
public:
    explicit SignalSafeTask(std::function<void()> task);
    // Ends and joins the thread; a task in progress finishes first.
    ~SignalSafeTask();
    SignalSafeTask(const SignalSafeTask&) = delete;
    SignalSafeTask& operator=(const SignalSafeTask&) = delete;

    // Async-signal-safe: has the task run once and waits for its end at most
    // the limit. False when it did not end in time.
    bool runAndWait(std::chrono::milliseconds limit) const noexcept;

private:
    void serve();

    std::function<void()> task_;
    int request_[2] = {-1, -1};
    int done_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace zorva::plugin::platform
