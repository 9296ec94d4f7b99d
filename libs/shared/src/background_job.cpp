#include "background_job.h"

#include "platform_crash.h"

#include <system_error>
#include <utility>

namespace zorva::plugin {

BackgroundJob::~BackgroundJob() {
    if (!thread_.joinable()) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundJob::start(std::function<void()> job) {
    wait();
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread(&BackgroundJob::serve, this);
        } catch (const std::system_error&) {
            // Without a thread to spare the job runs here: later, never slower.
            job();
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = std::move(job);
    }
    changed_.notify_all();
}

void BackgroundJob::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
}

void BackgroundJob::serve() {
    platform::crash::prepareThread();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return job_ || ending_; });
        if (!job_) return;
        lock.unlock();
        job_();
        lock.lock();
        job_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace zorva::plugin
