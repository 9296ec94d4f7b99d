#include <gtest/gtest.h>

#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>

#include <chrono>
#include <future>
#include <string>

#include "log_queue.h"

namespace {

using namespace std::chrono_literals;

// The queue as the sink's frontend uses it.
class Queue : public zorva::plugin::log::LingeringQueue<8, 1024> {
public:
    using LingeringQueue::enqueue;
    using LingeringQueue::interrupt_dequeue;
};

// A record of the logging core, which makes records only while a sink may
// take them.
boost::log::record_view someRecord() {
    struct Discard
        : boost::log::sinks::basic_sink_backend<boost::log::sinks::synchronized_feeding> {
        void consume(const boost::log::record_view&) {}
    };
    const auto core = boost::log::core::get();
    const auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<Discard>>();
    core->add_sink(sink);
    auto record = core->open_record(boost::log::attribute_set());
    core->remove_sink(sink);
    return record.lock();
}

// The sink's flush leaves the work to a writer that is busy with a batch. A
// writer that finished the batch without seeing the request must take it up
// rather than sleep until the next record, which at exit never comes.
TEST(LingeringQueueTest, FlushRequestEndsTheWritersWait) {
    for (const bool recordQueued : {false, true}) {
        Queue queue;
        if (recordQueued) queue.enqueue(someRecord());
        auto wait = std::async(std::launch::async, [&] { return queue.waitForBatch(1h); });
        queue.interrupt_dequeue();
        const bool ended = wait.wait_for(10s) == std::future_status::ready;
        if (!ended) queue.stopWaiting();
        ASSERT_TRUE(ended) << "record queued: " << recordQueued;
        EXPECT_TRUE(wait.get());

        // Taken up once: the next wait is for records again.
        wait = std::async(std::launch::async, [&] { return queue.waitForBatch(1h); });
        EXPECT_EQ(wait.wait_for(50ms), std::future_status::timeout);
        queue.stopWaiting();
        EXPECT_FALSE(wait.get());
    }
}

}  // namespace
