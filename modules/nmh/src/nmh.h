#pragma once

#include "iprotocol.h"
#include "module.h"

#include <QObject>
#include <QtPlugin>

#include <atomic>
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
class Nmh : public Module, public IProtocol {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "nmh.json")
    Q_INTERFACES(zorva::plugin::module::IProtocol)

public:
    Nmh();
    ~Nmh() override;

    IProtocol* protocol() override;

    std::string name() override;
    void run() override;
    void interrupt() override;
    format::MessagePtr receive() override;
    void send(const format::MessagePtr& message) override;

private:
    void serve();

    std::atomic<bool> stopped_{false};
    // interrupt may come from another thread while run takes the streams.
    std::mutex streamsMutex_;
    std::unique_ptr<platform::StandardStreams> streams_;
};

}  // namespace zorva::plugin::module
