#include "ws.h"

#include "endpoint.h"
#include "exception.h"
#include "logging.h"
#include "message_handler.h"
#include "platform.h"
#include "request_origin.h"
#include "thread_count_hint.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace zorva::plugin::module {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {
constexpr std::size_t keptTextCapacity = 2 * 1024 * 1024;
// How long the accept loop rests after a failed accept, so that a lasting
// failure (no descriptors left) neither spins nor floods the log.
constexpr std::chrono::milliseconds acceptRetryPause{100};

// The library's suggested server timeouts less a second, without keep-alive
// pings. The stream applies them only to asynchronous operations; for our
// synchronous ones its socket enforces them.
websocket::stream_base::timeout serverTimeout() {
    auto timeout = websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeout.handshake_timeout -= std::chrono::seconds(1);
    timeout.idle_timeout -= std::chrono::seconds(1);
    timeout.keep_alive_pings = false;
    return timeout;
}
}  // namespace

Ws::Ws() = default;

// Members go in reverse order: the slot first, then the acceptor, and only
// then does Module write its finish record.
Ws::~Ws() = default;

IWs* Ws::ws() { return this; }

IProtocol* Ws::protocol() { return this; }

std::string Ws::name() { return config() ? config()->format.type : std::string(); }

std::string Ws::address() const {
    // The host puts the "meta" of its own "ws" entry here at binding time.
    // The origin allowlist lives there too and must never be taken for the address.
    const auto& meta = config()->meta;
    const auto entry = std::find_if(meta.begin(), meta.end(), [](const format::Config::Meta& m) {
        return !OriginAllowlist::isEntry(m);
    });
    return entry == meta.end() ? std::string() : entry->data;
}

void Ws::readOrigins() {
    origins_ = OriginAllowlist::fromMeta(config()->meta);
    if (origins_)
        PLUGIN_LOG(info) << "ws: allowed origins: " << origins_->text();
    else
        PLUGIN_LOG(warning) << "ws: no origin allowlist, any page may connect";
}

void Ws::run() {
    const Endpoint endpoint = Endpoint::parse(address());
    if (endpoint.host.empty() || endpoint.port == 0)
        PLUGIN_THROW(std::logic_error("no ws endpoint meta found"), "run");
    PLUGIN_LOG(info) << "ws: address: " << endpoint.host << ", port: " << endpoint.port;
    readOrigins();

    boost::system::error_code error;
    const auto host = net::ip::make_address(endpoint.host, error);
    // Asio's throwing overload names no operation.
    if (error) PLUGIN_THROW(boost::system::system_error(error, "make_address"), "run");

    net::io_context context;
    listen(context, tcp::endpoint(host, endpoint.port));
    net::thread_pool pool(threadCountHint());
    acceptLoop(context, pool);
    closeAcceptor();

    context.run();
    // Connections still waiting in the queue are dropped with their sockets;
    // join waits for the ones being served.
    pool.stop();
    pool.join();
}

// Closes the port; the acceptor belongs to this run's I/O context and must not
// outlive it.
void Ws::closeAcceptor() {
    std::lock_guard<std::mutex> lock(acceptorMutex_);
    acceptor_.reset();
}

void Ws::listen(net::io_context& context, const tcp::endpoint& endpoint) {
    auto acceptor = std::make_unique<tcp::acceptor>(context);
    acceptor->open(endpoint.protocol());
    acceptor->set_option(tcp::acceptor::reuse_address(true));
    acceptor->bind(endpoint);
    acceptor->listen(net::socket_base::max_listen_connections);
    std::lock_guard<std::mutex> lock(acceptorMutex_);
    acceptor_ = std::move(acceptor);
}

void Ws::acceptLoop(net::io_context& context, net::thread_pool& pool) {
    while (!stopped_) {
        try {
            tcp::socket socket(context);
            acceptor_->accept(socket);
            net::post(pool,
                      [this, socket = std::move(socket)]() mutable { serve(std::move(socket)); });
        } catch (const std::exception& error) {
            // interrupt closes the acceptor, which lands here too.
            PLUGIN_LOG(info) << "ws: exception, what: " << error.what();
            if (!stopped_) std::this_thread::sleep_for(acceptRetryPause);
        }
    }
}

void Ws::interrupt() {
    if (stopped_.exchange(true)) return;
    PLUGIN_LOG(warning) << "ws: interrupt";
    {
        // Only wakes the accept: the acceptor is no thread-safe object, so the
        // accept loop's own thread closes it once the loop has ended.
        std::lock_guard<std::mutex> lock(acceptorMutex_);
        if (acceptor_) platform::stopListening(acceptor_->native_handle());
    }
    // While the host lives, a terminate request ends the host with its whole
    // process tree at once: the other connections' threads stay blocked in
    // their reads and would otherwise keep it alive.
    if (session().lock()) platform::killProcessTreeAndExit();
}

void Ws::serve(tcp::socket socket) {
    PLUGIN_LOG(info) << "ws: start, thread: " << std::this_thread::get_id();
    try {
        openStream(std::move(socket));
        MessageHandler handler(session().lock());
        while (!stopped_) handler.serveOne(this);
    } catch (const std::exception& error) {
        PLUGIN_LOG(info) << "ws: connection lost, what: " << error.what();
    }
    // Closes the socket now: a peer whose request ended the connection would
    // otherwise wait until this thread takes its next connection.
    stream_.reset();
}

void Ws::openStream(tcp::socket socket) {
    const auto timeout = serverTimeout();
    const auto stream = boost::make_shared<Stream>(
        std::move(socket), TimedSocket::Limits{timeout.handshake_timeout, timeout.idle_timeout});
    // Replacing the holder destroys this thread's previous stream, if any.
    stream_.reset(new StreamPtr(stream));
    handshake(*stream);
    stream->next_layer().startServing();
    stream->set_option(timeout);
    stream->text(true);
}

// Any page can reach the loopback port; a browser always names the page's
// origin, so with an allowlist a page not on it is refused before the upgrade.
// A request without an Origin header comes from a program, not a page.
void Ws::handshake(Stream& stream) {
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::read(stream.next_layer(), buffer, request);
    const auto origin = request.find(http::field::origin);
    format::setConnectionOrigin(origin == request.end() ? std::string()
                                                        : std::string(origin->value()));
    if (origins_ && origin != request.end() && !origins_->allows(std::string(origin->value()))) {
        PLUGIN_LOG(warning) << "ws: origin refused: \"" << origin->value() << '"';
        http::response<http::string_body> refusal(http::status::forbidden, request.version());
        refusal.set(http::field::connection, "close");
        refusal.prepare_payload();
        http::write(stream.next_layer(), refusal);
        PLUGIN_THROW(std::runtime_error("origin refused"), "handshake");
    }
    stream.accept(request);
}

format::MessagePtr Ws::receive() {
    StreamPtr* stream = stream_.get();
    if (!stream) {
        PLUGIN_LOG(warning) << "ws: stream is not initialized, in rejected";
        return {};
    }
    // Each serving thread reads into one text it keeps: on this platform fresh
    // pages for every megabyte-sized chunk cost more than the chunk's copies.
    thread_local std::string text;
    text.clear();
    auto buffer = net::dynamic_buffer(text);
    (*stream)->read(buffer);
    // "{}" and shorter texts are how a page asks the host to stop.
    if (text.size() <= 2) return {};

    auto message = boost::make_shared<format::Message>();
    json_dto::from_json(text, *message);
    format::keepRawText(*message, text);
    if (message->mode == "debug") PLUGIN_LOG(info) << "ws: receive: " << text;
    // Pages send pieces of about a megabyte; a rare larger message is not kept.
    if (text.capacity() > keptTextCapacity) std::string().swap(text);
    return message;
}

void Ws::send(const format::MessagePtr& message) {
    StreamPtr* stream = stream_.get();
    if (!stream) {
        PLUGIN_LOG(warning) << "ws: stream is not initialized, out rejected";
        return;
    }
    message->meta.protocol = config()->format;
    const std::string text = json_dto::to_json(*message);
    (*stream)->write(net::buffer(text));
    if (message->mode == "debug") PLUGIN_LOG(info) << "ws: send: " << text;
}

}  // namespace zorva::plugin::module
