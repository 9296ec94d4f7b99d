#pragma once

#include "message.h"

#include <QtPlugin>

#include <string>

namespace zorva::plugin::module {

// A transport between the browser side and the host. receive and send act on
// the connection served by the calling thread, so one module may serve several
// connections on several threads at once.
class IProtocol {
public:
    virtual ~IProtocol() = default;

    // The module's type, for example "ws".
    virtual std::string name() = 0;
    // Serves until interrupted; blocks the calling thread.
    virtual void run() = 0;
    // Callable from any thread while run blocks; idempotent.
    virtual void interrupt() = 0;
    // The next request of this thread's connection; null when there is none.
    virtual format::MessagePtr receive() = 0;
    virtual void send(const format::MessagePtr& message) = 0;
};

}  // namespace zorva::plugin::module

Q_DECLARE_INTERFACE(zorva::plugin::module::IProtocol, "plugin.IProtocol")
