#pragma once

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "message.h"

namespace zorva::plugin {

class ChunkStore;

namespace module {
class HostServices;
class IProtocol;
}  // namespace module

// Turns one request into one reply: gathers chunked requests, decodes the
// content, dispatches to the module the request names and converts every
// failure into an error reply. Protocol modules carry their own copy and use
// serveOne for every message they receive.
class MessageHandler {
public:
    enum State {
        Ok = 0,
        Error = 1,
        Obsolete = 2,
        Next = 3,
        Terminate = 4,
        Corrupted = 5,
        Cancel = 6,
        None = 7
    };
    static std::string stateName(int state);

    explicit MessageHandler(const boost::shared_ptr<module::HostServices>& host);
    ~MessageHandler();

    // A request handed over by the program itself: no origin is checked.
    format::MessagePtr handle(const format::MessagePtr& request, int* state = nullptr);
    // Receives one request from the protocol and sends its reply. A request
    // reaches a module only when the session admits its origin; a request to
    // stop from a page, approved or not, ends only its own connection, by the
    // exception this raises.
    void serveOne(module::IProtocol* protocol);

    // Cuts a reply of a megabyte or more into numbered pieces.
    static std::vector<format::MessagePtr> splitReply(const format::MessagePtr& reply);

private:
    enum class Origin { Trusted, Checked };

    format::MessagePtr handle(const format::MessagePtr& request, int* state, Origin origin);
    format::MessagePtr answer(const format::MessagePtr& request, int* state, Origin origin);
    static void settle(const format::MessagePtr& reply, int* state);
    format::MessagePtr handleRequest(const format::MessagePtr& request,
                                     const format::MessagePtr& provisional, int* state,
                                     Origin origin);
    void stop(module::IProtocol* protocol);
    bool repeatsLastCompleted(const format::Message& request);
    format::MessagePtr handleComplete(const format::MessagePtr& complete, bool decoded);
    format::MessagePtr handleImpl(const format::MessagePtr& message, bool decoded);
    bool dispatch(const format::MessagePtr& message);

    boost::weak_ptr<module::HostServices> host_;
    std::unique_ptr<ChunkStore> chunkStore_;
    // Of this connection only: another page's ids are none of its business.
    std::string lastCompletedId_;
};

}  // namespace zorva::plugin
