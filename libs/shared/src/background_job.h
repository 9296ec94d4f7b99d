#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zorva::plugin {

// Runs one job at a time on a thread of its own, so that its owner goes on
// with the next piece of work meanwhile: hashing a chunk of an upload while
// the connection receives the next one. The thread starts with the first job
// and ends with the object. Jobs must not throw.
class BackgroundJob {
public:
    BackgroundJob() = default;
    // Waits for the job in hand.
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Waits for the job before, then hands over this one.
    void start(std::function<void()> job);
    // Returns once no job is in hand.
    void wait();

private:
    void serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace zorva::plugin
