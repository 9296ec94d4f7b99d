#include "connection.h"

#include "exception.h"
#include "host_check.h"
#include "host_services.h"
#include "http_refusal.h"
#include "logging.h"
#include "message_handler.h"
#include "platform_socket.h"
#include "request_origin.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/make_shared.hpp>

#include <stdexcept>
#include <string_view>
#include <thread>

namespace zorva::plugin::module {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
namespace http = boost::beast::http;

namespace {

constexpr std::size_t keptTextCapacity = 2 * 1024 * 1024;
// How long a program of another user may take to send the request it is
// refused on: it must not hold a connection's thread for long.
constexpr std::chrono::seconds foreignPeerLimit{1};

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

std::string userText(const platform::SocketPeer& peer) {
    return peer.userId ? std::to_string(*peer.userId) : std::string("unknown");
}

}  // namespace

Connection::Connection(IProtocol& server, const std::atomic<bool>& stopped,
                       const ConnectionSettings& settings, net::ip::tcp::socket socket)
    : server_(server),
      stopped_(stopped),
      settings_(settings),
      stream_(std::move(socket), settings.limits) {}

TimedSocket::Limits Connection::defaultLimits() {
    const auto timeout = serverTimeout();
    return {timeout.handshake_timeout, timeout.idle_timeout};
}

std::string Connection::name() { return server_.name(); }

void Connection::interrupt() { server_.interrupt(); }

void Connection::run() {
    PLUGIN_LOG(info) << "ws: start, thread: " << std::this_thread::get_id();
    try {
        handshake();
        serve();
    } catch (const std::exception& error) {
        PLUGIN_LOG(info) << "ws: connection lost, what: " << error.what();
    }
}

void Connection::shutdown() {
    boost::system::error_code ignored;
    stream_.next_layer().next_layer().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
}

// Any page can reach the loopback port, and so can every other user of the
// machine: only the user's own programs and pages are served. A page on a
// name of its own that resolves here names that host and is refused; a
// browser always names the page's origin, so with an allowlist a page not on
// it is refused before the upgrade. A request without an Origin header comes
// from a program, not a page.
void Connection::handshake() {
    // Looked up while the peer surely holds its end; once more after the
    // request when the lookup failed, as it does while the process has no
    // descriptor to spare.
    const int handle = stream_.next_layer().next_layer().native_handle();
    platform::SocketPeer peer = platform::socketPeer(handle);
    if (peer.userId && !peer.isThisUser) stream_.next_layer().shortenHandshake(foreignPeerLimit);
    beast::flat_buffer buffer;
    Request request;
    http::read(stream_.next_layer(), buffer, request);
    if (!peer.userId) peer = platform::socketPeer(handle);
    if (!peer.isThisUser)
        refuse(request, http::status::forbidden, "peer refused: \"uid " + userText(peer) + '"');
    const auto host = request[http::field::host];
    if (!isLoopbackHost(host, settings_.port))
        refuse(request, http::status::forbidden, "host refused: \"" + std::string(host) + '"');
    const auto origin = request.find(http::field::origin);
    if (origin != request.end()) origin_ = std::string(origin->value());
    approved_ = origin_.empty();
    // The message handler stamps it on each request this thread receives.
    format::setConnectionOrigin(origin_);
    if (settings_.origins && origin != request.end() && !settings_.origins->allows(origin_))
        refuse(request, http::status::forbidden, "origin refused: \"" + origin_ + '"');
    if (!approved_) takeSlot(request);
    stream_.accept(request);
}

void Connection::takeSlot(const Request& request) {
    if (!settings_.originSlots) return;
    slot_ = settings_.originSlots->take(origin_);
    if (!slot_)
        refuse(request, http::status::service_unavailable,
               "connection refused, " + std::to_string(settings_.originSlots->perOrigin()) +
                   " connections of origin \"" + origin_ + "\" are served");
}

void Connection::refuse(const Request& request, http::status status, const std::string& reason) {
    PLUGIN_LOG(warning) << "ws: " << reason;
    refuseUpgrade(stream_.next_layer(), status, request.version());
    PLUGIN_THROW(std::runtime_error(reason), "handshake");
}

void Connection::serve() {
    stream_.next_layer().startServing();
    stream_.set_option(serverTimeout());
    stream_.text(true);
    // One frame per message, handed to the socket in one write: fragments
    // written one by one meet the peer's delayed acknowledgements.
    stream_.auto_fragment(false);
    MessageHandler handler(settings_.session.lock());
    while (!stopped_) handler.serveOne(this);
}

format::MessagePtr Connection::receive() {
    readMessage();
    // "{}" and shorter texts are how a page asks the host to stop.
    if (text_.size() <= 2) return {};

    // Kept for the next message, the room is made once, not for each chunk.
    if (!json_dto::has_scan_room(text_)) text_.reserve(text_.size() + json_dto::scan_room);
    auto message = boost::make_shared<format::Message>();
    json_dto::from_json(text_, *message);
    format::keepRawText(*message, text_);
    if (message->mode == "debug") PLUGIN_LOG(info) << "ws: receive: " << text_;
    // Pages send pieces of about a megabyte; a rare larger message is not kept.
    if (text_.capacity() > keptTextCapacity) std::string().swap(text_);
    return message;
}

// A page without approval has a short while for each request; once its
// origin is approved, the usual idle limit holds.
void Connection::limitWait() {
    if (approved_) return;
    const auto session = settings_.session.lock();
    approved_ = session && session->isApproved(origin_);
    stream_.next_layer().setIdleLimit(approved_ ? settings_.limits.idle : settings_.unapprovedIdle);
}

void Connection::readMessage() {
    limitWait();
    text_.clear();
    auto buffer = net::dynamic_buffer(text_);
    try {
        stream_.read(buffer);
    } catch (const boost::system::system_error& error) {
        if (error.code() == beast::error::timeout) closeIdle();
        throw;
    }
}

// The stream has failed with the timeout and can no longer close itself, so
// the close frame is written here: final, unmasked as a server's, status 1001
// ("going away") and the reason "idle". The peer's answer is awaited as in
// any close, so pages see a clean close.
void Connection::closeIdle() {
    static const unsigned char frame[] = {0x88, 0x06, 0x03, 0xE9, 'i', 'd', 'l', 'e'};
    auto& socket = stream_.next_layer();
    socket.startClosing();
    // A failure here ends the connection all the same.
    boost::system::error_code error;
    net::write(socket, net::buffer(frame), error);
    if (!error) teardown(beast::role_type::server, socket, error);
}

void Connection::send(const format::MessagePtr& message) {
    message->meta.protocol = settings_.protocolFormat;
    json_dto::to_json(*message, replyText_);
    const std::string_view text(replyText_.GetString(), replyText_.GetSize());
    stream_.write(net::buffer(text.data(), text.size()));
    if (message->mode == "debug") PLUGIN_LOG(info) << "ws: send: " << text;
    if (text.size() > keptTextCapacity) replyText_ = rapidjson::StringBuffer();
}

}  // namespace zorva::plugin::module
