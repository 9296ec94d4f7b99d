#pragma once

#include "iprotocol.h"
#include "module.h"

#include <atomic>
#include <string>

namespace zorva::plugin::module {

// The root object of a protocol module: the module's type names the protocol,
// and the first interrupt, from whatever thread, sets the stop flag that ends
// the serving. How the protocol waits, and how it is woken, is its own.
//
// No Q_OBJECT here: each concrete module declares its own meta-object.
class ProtocolModule : public Module, public IProtocol {
public:
    IProtocol* protocol() override;
    // The module's type; empty while the module is unbound.
    std::string name() override;
    // Only the first call logs and wakes.
    void interrupt() override;

    // Also answers a cast by the interface's plain name, as the meta-object
    // of a module that lists IProtocol among its own bases does.
    void* qt_metacast(const char* className) override;

protected:
    // Set by the first interrupt and never cleared.
    const std::atomic<bool>& stopped() const { return stopped_; }
    // Ends what run blocks on; called once, on the interrupting thread.
    virtual void wake() = 0;
    // What receive and send do on a thread that holds no channel of the
    // protocol: they only warn, with the reason.
    format::MessagePtr refuseReceive(const std::string& reason);
    void refuseSend(const std::string& reason);

private:
    std::atomic<bool> stopped_{false};
};

}  // namespace zorva::plugin::module
