#pragma once

#include "protocol_module.h"

#include <QObject>
#include <QtPlugin>

#include <memory>
#include <mutex>
#include <string>

namespace zorva::plugin::platform {
class StandardStreams;
}

namespace zorva::plugin::module {

// The native-messaging protocol module: the browser that started the host
// sends requests as frames on standard input and reads the replies as frames
// on standard output. One browser port, one connection, served on the thread
// that runs the protocol until the browser goes away.
class Nmh : public ProtocolModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "nmh.json")
    Q_INTERFACES(zorva::plugin::module::IProtocol)

public:
    Nmh();
    ~Nmh() override;

    void run() override;
    format::MessagePtr receive() override;
    void send(const format::MessagePtr& message) override;

private:
    void wake() override;

    // interrupt may come from another thread while run takes the streams.
    std::mutex streamsMutex_;
    std::unique_ptr<platform::StandardStreams> streams_;
};

}  // namespace zorva::plugin::module
