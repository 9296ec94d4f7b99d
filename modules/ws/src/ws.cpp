#include "ws.h"

#include "connection_threads.h"
#include "endpoint.h"
#include "exception.h"
#include "http_refusal.h"
#include "logging.h"
#include "platform.h"
#include "protocol_unavailable.h"

#include <boost/asio/ip/address.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace zorva::plugin::module {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {
// How long the accept loop rests after a failed accept, so that a lasting
// failure (no descriptors left) neither spins nor floods the log.
constexpr std::chrono::milliseconds acceptRetryPause{100};
// How long a peer refused for want of room may take to send its request: the
// accept loop waits for it meanwhile.
constexpr std::chrono::seconds busyRefusalLimit{1};
}  // namespace

Ws::Ws() = default;

// The acceptor goes first, then Module writes its finish record.
Ws::~Ws() = default;

IWs* Ws::ws() { return this; }

std::string Ws::address() const {
    // The host puts the "meta" of its own "ws" entry here at binding time.
    // The origin allowlist lives there too and must never be taken for the address.
    const auto& meta = config()->meta;
    const auto entry = std::find_if(meta.begin(), meta.end(), [](const format::Config::Meta& m) {
        return !OriginAllowlist::isEntry(m);
    });
    return entry == meta.end() ? std::string() : entry->data;
}

void Ws::readSettings(std::uint16_t port) {
    settings_.limits = Connection::defaultLimits();
    settings_.port = port;
    settings_.protocolFormat = config()->format;
    settings_.session = session();
    settings_.originSlots = std::make_shared<OriginSlots>(maxConnectionsPerOrigin);
    settings_.origins = OriginAllowlist::fromMeta(config()->meta);
    if (settings_.origins)
        PLUGIN_LOG(info) << "ws: allowed origins: " << settings_.origins->text();
    else
        PLUGIN_LOG(warning) << "ws: no origin allowlist, any page may connect";
}

void Ws::run() {
    const Endpoint endpoint = Endpoint::parse(address());
    if (endpoint.host.empty() || endpoint.port == 0)
        PLUGIN_THROW(std::logic_error("no ws endpoint meta found"), "run");
    PLUGIN_LOG(info) << "ws: address: " << endpoint.host << ", port: " << endpoint.port;
    readSettings(endpoint.port);

    boost::system::error_code error;
    const auto host = net::ip::make_address(endpoint.host, error);
    // Asio's throwing overload names no operation.
    if (error) PLUGIN_THROW(boost::system::system_error(error, "make_address"), "run");

    net::io_context context;
    listen(context, tcp::endpoint(host, endpoint.port));
    ConnectionThreads connections(maxConnections);
    acceptLoop(context, connections);
    closeAcceptor();
    // Connections still open are closed: their peers may stay silent for long.
    connections.closeAllAndWait();
}

// Closes the port; the acceptor belongs to this run's I/O context and must not
// outlive it.
void Ws::closeAcceptor() {
    std::lock_guard<std::mutex> lock(acceptorMutex_);
    acceptor_.reset();
}

// A port that another program (or another user) holds must end the host as a
// failure: pages would otherwise talk to whoever holds it.
void Ws::listen(net::io_context& context, const tcp::endpoint& endpoint) {
    auto acceptor = std::make_unique<tcp::acceptor>(context);
    try {
        acceptor->open(endpoint.protocol());
        acceptor->set_option(tcp::acceptor::reuse_address(true));
        acceptor->bind(endpoint);
        acceptor->listen(net::socket_base::max_listen_connections);
    } catch (const boost::system::system_error& failure) {
        PLUGIN_LOG(error) << "ws: cannot listen on " << endpoint << ", what: " << failure.what();
        throw ProtocolUnavailable(failure);
    }
    std::lock_guard<std::mutex> lock(acceptorMutex_);
    acceptor_ = std::move(acceptor);
}

void Ws::acceptLoop(net::io_context& context, ConnectionThreads& connections) {
    while (!stopped()) {
        try {
            acceptOne(context, connections);
        } catch (const std::exception& error) {
            // interrupt closes the acceptor, which lands here too.
            PLUGIN_LOG(info) << "ws: exception, what: " << error.what();
            if (!stopped()) std::this_thread::sleep_for(acceptRetryPause);
        }
    }
}

void Ws::acceptOne(net::io_context& context, ConnectionThreads& connections) {
    tcp::socket socket(context);
    acceptor_->accept(socket);
    if (!connections.hasRoom()) return refuseBusy(std::move(socket));
    connections.start(std::make_unique<Connection>(*this, stopped(), settings_, std::move(socket)));
}

// The peer learns that the host is there but busy, instead of waiting.
void Ws::refuseBusy(tcp::socket socket) {
    PLUGIN_LOG(warning) << "ws: connection refused, " << maxConnections
                        << " connections are served";
    try {
        TimedSocket timed(std::move(socket), {busyRefusalLimit, busyRefusalLimit});
        beast::flat_buffer buffer;
        http::request<http::string_body> request;
        http::read(timed, buffer, request);
        refuseUpgrade(timed, http::status::service_unavailable, request.version());
    } catch (const std::exception& error) {
        PLUGIN_LOG(info) << "ws: connection lost, what: " << error.what();
    }
}

void Ws::wake() {
    {
        // Only wakes the accept: the acceptor is no thread-safe object, so the
        // accept loop's own thread closes it once the loop has ended.
        std::lock_guard<std::mutex> lock(acceptorMutex_);
        if (acceptor_) platform::stopListening(acceptor_->native_handle());
    }
    // While the host lives, a terminate request ends the host with its whole
    // process tree at once: the other connections' threads may be blocked in
    // a handler call and would otherwise keep it alive.
    if (!session().lock()) return;
    log::flush();
    platform::killProcessTreeAndExit();
}

format::MessagePtr Ws::receive() { return refuseReceive("stream is not initialized"); }

void Ws::send(const format::MessagePtr&) { refuseSend("stream is not initialized"); }

}  // namespace zorva::plugin::module
