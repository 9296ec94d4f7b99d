#pragma once

#include <boost/log/core/record_view.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace zorva::plugin::log {

// The queue of an asynchronous sink whose records are written in batches by
// a thread the logging set-up owns (see waitForBatch), not by the sink's own
// thread. A serving thread that queues a record wakes the writer only when
// it sleeps with nothing queued; the writer then lingers a moment so that the
// records of many requests go out in one write. A full queue makes writers
// wait rather than lose records.
//
// Implements the queueing strategy interface of boost::log::sinks::
// asynchronous_sink; the sink's own feeding loop (run) is never started.
template <std::size_t MaxRecords>
class LingeringQueue {
public:
    // Waits until a record is queued, then for up to `linger` more while the
    // queue is less than half full. False once stopWaiting was called.
    bool waitForBatch(std::chrono::milliseconds linger) {
        std::unique_lock<std::mutex> lock(mutex_);
        writerIdle_ = true;
        queued_.wait(lock, [&] { return stopped_ || !records_.empty(); });
        writerIdle_ = false;
        writerLingers_ = true;
        queued_.wait_for(lock, linger, [&] { return stopped_ || halfFull(); });
        writerLingers_ = false;
        return !stopped_;
    }

    // Ends the current and every later waitForBatch.
    void stopWaiting() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        queued_.notify_all();
    }

protected:
    LingeringQueue() = default;
    template <class Arguments>
    explicit LingeringQueue(const Arguments&) {}

    void enqueue(const boost::log::record_view& record) {
        std::unique_lock<std::mutex> lock(mutex_);
        space_.wait(lock, [&] { return records_.size() < MaxRecords || interrupted_; });
        push(record);
    }

    bool try_enqueue(const boost::log::record_view& record) {
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock() || records_.size() >= MaxRecords) return false;
        push(record);
        return true;
    }

    bool try_dequeue_ready(boost::log::record_view& record) { return try_dequeue(record); }

    bool try_dequeue(boost::log::record_view& record) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (records_.empty()) return false;
            record.swap(records_.front());
            records_.pop_front();
        }
        space_.notify_one();
        return true;
    }

    // The sink's own feeding loop, kept for the interface: it waits here.
    bool dequeue_ready(boost::log::record_view& record) {
        std::unique_lock<std::mutex> lock(mutex_);
        queued_.wait(lock, [&] { return interrupted_ || !records_.empty(); });
        if (records_.empty()) {
            interrupted_ = false;
            return false;
        }
        record.swap(records_.front());
        records_.pop_front();
        space_.notify_one();
        return true;
    }

    void interrupt_dequeue() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            interrupted_ = true;
        }
        queued_.notify_all();
        space_.notify_all();
    }

private:
    bool halfFull() const { return records_.size() >= MaxRecords / 2; }

    void push(const boost::log::record_view& record) {
        records_.push_back(record);
        const bool wake = (writerIdle_ && records_.size() == 1) || (writerLingers_ && halfFull());
        if (wake) queued_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable space_;
    std::deque<boost::log::record_view> records_;
    bool writerIdle_ = false;
    bool writerLingers_ = false;
    bool interrupted_ = false;
    bool stopped_ = false;
};

}  // namespace zorva::plugin::log
