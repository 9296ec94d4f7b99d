#pragma once

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core/record_view.hpp>
#include <boost/log/detail/default_attribute_names.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace zorva::plugin::log {

// The queue of an asynchronous sink whose records are written in batches by
// a thread the logging set-up owns (see waitForBatch), not by the sink's own
// thread. A serving thread that queues a record wakes the writer only when
// it sleeps with nothing queued; the writer then lingers a moment so that the
// records of many requests go out in one write. A full queue, by count or by
// the size of the texts (a record may carry a whole request), makes writers
// wait rather than lose records, until the writer has emptied half of it.
//
// Implements the queueing strategy interface of boost::log::sinks::
// asynchronous_sink; the sink's own feeding loop (run) is never started.
//
// Kept over Boost.Log's bounded_fifo_queue<4096, block_on_overflow> fed by
// the sink's own thread, because it is faster where the host logs: from many
// serving threads at once. bench/log_queue_bench 200000 7 (RelWithDebInfo,
// AMD EPYC, 2 CPUs shared with other builds, load average 8 to 11), records
// per second into one file, best of 7 runs, and a serving thread's processor
// time per record (median), both queues feeding the host's line writer:
//   threads   this queue                 Boost.Log FIFO
//      1      1004000/s   800 ns         1024000/s   790 ns
//      4       614000/s   920 ns          181000/s  3300 ns
//     16       336000/s  1100 ns           84000/s  6800 ns
// Two earlier runs gave the same order at 4 and 16 threads (2.0 to 6.5 times
// the records per second); with one thread the order changes from run to run.
template <std::size_t MaxRecords, std::size_t MaxTextBytes>
class LingeringQueue {
public:
    // Waits until a record is queued, then for up to `linger` more while the
    // queue is less than half full. A flush that waits for the writer ends
    // the wait at once: the sink's flush leaves the work to a writer busy with
    // a batch, and that writer may have finished it without seeing the
    // request. False once stopWaiting was called.
    bool waitForBatch(std::chrono::milliseconds linger) {
        std::unique_lock<std::mutex> lock(mutex_);
        writerIdle_ = true;
        queued_.wait(lock, [&] { return stopped_ || interrupted_ || !records_.empty(); });
        writerIdle_ = false;
        writerLingers_ = true;
        queued_.wait_for(lock, linger, [&] { return stopped_ || interrupted_ || fillsHalf(); });
        writerLingers_ = false;
        interrupted_ = false;
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
        if (full()) {
            ++waitingWriters_;
            space_.wait(lock, [&] { return !full(); });
            --waitingWriters_;
        }
        push(record);
    }

    bool try_enqueue(const boost::log::record_view& record) {
        std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock() || full()) return false;
        push(record);
        return true;
    }

    bool try_dequeue_ready(boost::log::record_view& record) { return try_dequeue(record); }

    bool try_dequeue(boost::log::record_view& record) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return pop(record);
    }

    // The sink's own feeding loop, kept for the interface: it waits here.
    bool dequeue_ready(boost::log::record_view& record) {
        std::unique_lock<std::mutex> lock(mutex_);
        queued_.wait(lock, [&] { return interrupted_ || !records_.empty(); });
        if (records_.empty()) {
            interrupted_ = false;
            return false;
        }
        return pop(record);
    }

    // Called by the sink's flush while a writer feeds records: wakes the
    // writer in waitForBatch (or the sink's own loop in dequeue_ready).
    void interrupt_dequeue() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            interrupted_ = true;
        }
        queued_.notify_all();
    }

private:
    struct Queued {
        boost::log::record_view record;
        std::size_t textBytes;
    };

    static std::size_t textBytesOf(const boost::log::record_view& record) {
        const auto text = boost::log::extract<std::string>(
            boost::log::aux::default_attribute_names::message(), record);
        return text ? text->size() : 0;
    }

    bool full() const { return records_.size() >= MaxRecords || textBytes_ >= MaxTextBytes; }
    bool fillsHalf() const {
        return records_.size() >= MaxRecords / 2 || textBytes_ >= MaxTextBytes / 2;
    }

    void push(const boost::log::record_view& record) {
        const std::size_t bytes = textBytesOf(record);
        records_.push_back({record, bytes});
        textBytes_ += bytes;
        const bool wake = (writerIdle_ && records_.size() == 1) || (writerLingers_ && fillsHalf());
        if (wake) queued_.notify_one();
    }

    bool pop(boost::log::record_view& record) {
        if (records_.empty()) return false;
        record.swap(records_.front().record);
        textBytes_ -= records_.front().textBytes;
        records_.pop_front();
        // Waiting writers go on together once half is free, not one per record.
        if (waitingWriters_ != 0 && !fillsHalf()) space_.notify_all();
        return true;
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable space_;
    std::deque<Queued> records_;
    std::size_t textBytes_ = 0;
    std::size_t waitingWriters_ = 0;
    bool writerIdle_ = false;
    bool writerLingers_ = false;
    bool interrupted_ = false;
    bool stopped_ = false;
};

}  // namespace zorva::plugin::log
