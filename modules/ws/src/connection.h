#pragma once

#include "iprotocol.h"
#include "module.h"
#include "origin_allowlist.h"
#include "origin_slots.h"
#include "timed_socket.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <rapidjson/stringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zorva::plugin::module {

// What every connection of one server shares; written before the first
// connection starts and only read afterwards.
struct ConnectionSettings {
    TimedSocket::Limits limits;
    // How long a page whose origin has no approval may stay silent: a page
    // that the user never allowed must not hold connections for long.
    TimedSocket::Clock::duration unapprovedIdle = std::chrono::seconds(10);
    // Shared by every connection; none: origins are not counted.
    std::shared_ptr<OriginSlots> originSlots;
    // The port the server listens on, which a page's Host header may name.
    std::uint16_t port = 0;
    // None: any page may connect.
    std::optional<OriginAllowlist> origins;
    // Every reply's "meta"."protocol".
    format::Format protocolFormat;
    Module::SessionRef session;
};

// One page's connection, served on a thread of its own: the handshake, then
// the message handler pulls each request through receive and pushes its reply
// pieces through send. Being a protocol of its own, it needs no lookup of the
// connection that the calling thread serves.
class Connection : public IProtocol {
public:
    using Stream = boost::beast::websocket::stream<TimedSocket>;

    // The server gives its name, is interrupted through this connection and
    // sets the stop flag that ends the connection between requests.
    Connection(IProtocol& server, const std::atomic<bool>& stopped,
               const ConnectionSettings& settings, boost::asio::ip::tcp::socket socket);

    // The library's suggested server timeouts less a second.
    static TimedSocket::Limits defaultLimits();

    // The server's type.
    std::string name() override;
    // Serves this connection until it ends or the server stops.
    void run() override;
    // Stops the server.
    void interrupt() override;
    format::MessagePtr receive() override;
    void send(const format::MessagePtr& message) override;

    // Makes every transfer, the current one included, fail at once. Callable
    // from any thread while run serves; the socket stays open until the
    // connection is destroyed, so its number is never another's.
    void shutdown();

    // The page's origin from the handshake; empty for a program.
    const std::string& origin() const { return origin_; }

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    void handshake();
    void takeSlot(const Request& request);
    void refuse(const Request& request, boost::beast::http::status status,
                const std::string& reason);
    void serve();
    void limitWait();
    void readMessage();
    void closeIdle();

    IProtocol& server_;
    const std::atomic<bool>& stopped_;
    const ConnectionSettings& settings_;
    Stream stream_;
    std::string origin_;
    std::optional<OriginSlots::Slot> slot_;
    // Whether the origin was approved when last looked at; a program's
    // connection counts as approved.
    bool approved_ = false;
    // Requests are read into one text the connection keeps: on this platform
    // fresh pages for every megabyte-sized chunk cost more than the chunk's copies.
    std::string text_;
    // Replies are written into one buffer too, for the same reason and
    // because a short reply then takes nothing from the heap.
    rapidjson::StringBuffer replyText_;
};

}  // namespace zorva::plugin::module
