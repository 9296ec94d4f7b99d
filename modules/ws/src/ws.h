#pragma once

#include "connection.h"
#include "iws.h"
#include "protocol_module.h"

#include <QObject>
#include <QtPlugin>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <memory>
#include <mutex>
#include <string>

namespace zorva::plugin::module {

class ConnectionThreads;

// The WebSocket protocol module: listens on the address of its configuration
// and serves each connection on a thread of its own. Each connection is the
// protocol its message handler receives from and sends to; the module itself
// serves no connection.
class Ws : public ProtocolModule, public IWs {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "ws.json")
    Q_INTERFACES(zorva::plugin::module::IWs zorva::plugin::module::IProtocol)

public:
    // Connections served at once; beyond them the handshake is refused.
    static constexpr std::size_t maxConnections = 256;
    // Connections of one page's origin served at once; beyond them its
    // handshake is refused too, so that one page cannot take them all.
    static constexpr std::size_t maxConnectionsPerOrigin = 16;

    Ws();
    ~Ws() override;

    IWs* ws() override;

    void run() override;
    // The module has no connection of its own: both only warn.
    format::MessagePtr receive() override;
    void send(const format::MessagePtr& message) override;

private:
    void wake() override;
    std::string address() const;
    void readSettings(std::uint16_t port);
    void listen(boost::asio::io_context& context, const boost::asio::ip::tcp::endpoint& endpoint);
    void acceptLoop(boost::asio::io_context& context, ConnectionThreads& connections);
    void acceptOne(boost::asio::io_context& context, ConnectionThreads& connections);
    void refuseBusy(boost::asio::ip::tcp::socket socket);
    void closeAcceptor();

    // Written by run before the first connection; only read by connections.
    ConnectionSettings settings_;
    // interrupt closes the acceptor from another thread while run may replace it.
    std::mutex acceptorMutex_;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> acceptor_;
};

}  // namespace zorva::plugin::module
