#pragma once

#include "connection.h"

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace zorva::plugin::module {

// Serves every accepted connection at once, each on a thread of its own, so
// that no page waits for another to leave, and a handler call that waits for
// the user holds up its own connection only. The count is capped: each
// thread holds a stack, and any local program can open connections.
class ConnectionThreads {
public:
    explicit ConnectionThreads(std::size_t cap);
    // Closes and waits, as closeAllAndWait does.
    ~ConnectionThreads();
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;

    // Whether one more connection stays within the cap.
    bool hasRoom();
    // Serves the connection on a new thread; a failure to start one raises.
    void start(std::unique_ptr<Connection> connection);

    // Makes every connection's transfers fail, so that threads blocked on a
    // silent peer end now, and joins every thread. A handler call in
    // progress still runs to its end.
    void closeAllAndWait();

private:
    // A thread is joined by the next start or by closeAllAndWait, never left
    // detached: the module's code must not run after the module is unloaded.
    struct Served {
        std::unique_ptr<Connection> connection;  // none once it has ended
        std::thread thread;
    };

    void serve(Served& served);
    bool endServing(Served& served);
    void joinEnded();

    const std::size_t cap_;
    std::mutex mutex_;
    std::list<Served> served_;
};

}  // namespace zorva::plugin::module
