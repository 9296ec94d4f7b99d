#pragma once

#include "iprotocol.h"
#include "iws.h"
#include "module.h"
#include "origin_allowlist.h"
#include "timed_socket.h"

#include <QObject>
#include <QtPlugin>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/websocket/stream.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/tss.hpp>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zorva::plugin::module {

// The WebSocket protocol module: listens on the address of its configuration
// and serves each connection on one thread of its own pool of four. A
// connection's stream lives in the serving thread's slot, so receive and send
// reach the right peer without locks.
class Ws : public Module, public IProtocol, public IWs {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "plugin" FILE "ws.json")
    Q_INTERFACES(zorva::plugin::module::IWs zorva::plugin::module::IProtocol)

public:
    using Stream = boost::beast::websocket::stream<TimedSocket>;
    using StreamPtr = boost::shared_ptr<Stream>;

    Ws();
    ~Ws() override;

    IWs* ws() override;
    IProtocol* protocol() override;

    std::string name() override;
    void run() override;
    void interrupt() override;
    format::MessagePtr receive() override;
    void send(const format::MessagePtr& message) override;

private:
    std::string address() const;
    void readOrigins();
    void listen(boost::asio::io_context& context, const boost::asio::ip::tcp::endpoint& endpoint);
    void acceptLoop(boost::asio::io_context& context, boost::asio::thread_pool& pool);
    void closeAcceptor();
    void serve(boost::asio::ip::tcp::socket socket);
    void openStream(boost::asio::ip::tcp::socket socket);
    void handshake(Stream& stream);

    std::atomic<bool> stopped_{false};
    // Written by run before the pool starts; only read by connections.
    std::optional<OriginAllowlist> origins_;
    // interrupt closes the acceptor from another thread while run may replace it.
    std::mutex acceptorMutex_;
    std::unique_ptr<boost::asio::ip::tcp::acceptor> acceptor_;
    boost::thread_specific_ptr<StreamPtr> stream_;
};

}  // namespace zorva::plugin::module
