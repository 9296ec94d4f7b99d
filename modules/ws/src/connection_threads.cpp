#include "connection_threads.h"

#include "platform.h"
#include "platform_crash.h"

#include <algorithm>
#include <iterator>

namespace zorva::plugin::module {

ConnectionThreads::ConnectionThreads(std::size_t cap) : cap_(cap) {}

ConnectionThreads::~ConnectionThreads() { closeAllAndWait(); }

bool ConnectionThreads::hasRoom() {
    joinEnded();
    std::lock_guard<std::mutex> lock(mutex_);
    return served_.size() < cap_;
}

void ConnectionThreads::start(std::unique_ptr<Connection> connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    Served& served = served_.emplace_back();
    served.connection = std::move(connection);
    try {
        served.thread = std::thread([this, &served] {
            platform::crash::prepareThread();
            serve(served);
        });
    } catch (...) {
        served_.pop_back();
        throw;
    }
}

void ConnectionThreads::serve(Served& served) {
    served.connection->run();
    if (endServing(served)) platform::releaseFreeMemory();
}

// Closed under the lock: a shutdown from closeAllAndWait must never reach a
// socket number that the system has given anew. True when it was the last
// connection: the buffers and heaps of all of them are free.
bool ConnectionThreads::endServing(Served& served) {
    std::lock_guard<std::mutex> lock(mutex_);
    served.connection.reset();
    return std::none_of(served_.begin(), served_.end(),
                        [](const Served& each) { return each.connection != nullptr; });
}

void ConnectionThreads::joinEnded() {
    std::list<Served> ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = served_.begin(); it != served_.end();) {
            const auto next = std::next(it);
            if (!it->connection) ended.splice(ended.end(), served_, it);
            it = next;
        }
    }
    for (Served& each : ended) each.thread.join();
}

void ConnectionThreads::closeAllAndWait() {
    std::list<Served> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Served& each : served_)
            if (each.connection) each.connection->shutdown();
        all.splice(all.end(), served_);
    }
    for (Served& each : all) each.thread.join();
}

}  // namespace zorva::plugin::module
