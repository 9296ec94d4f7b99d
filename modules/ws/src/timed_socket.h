#pragma once

#include "platform.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>

#include <chrono>
#include <cstddef>

namespace zorva::plugin::module {

// A connected TCP socket whose reads and writes wait for the peer only so
// long. The WebSocket stream runs over it synchronously, where the stream's
// own timeouts have no effect: without these limits a page that connects and
// falls silent would hold a serving thread for good.
//
// The handshake, and the close, must end within one time limit in total.
// While serving, each wait for the peer may last the idle limit: a page that
// keeps sending or reading stays connected. A wait that runs out fails with
// the library's timeout error.
class TimedSocket {
public:
    using Socket = boost::asio::ip::tcp::socket;
    using executor_type = Socket::executor_type;
    using Clock = std::chrono::steady_clock;

    struct Limits {
        Clock::duration handshake;
        Clock::duration idle;
    };

    // Starts with the handshake's time running.
    TimedSocket(Socket socket, Limits limits);

    executor_type get_executor() noexcept { return socket_.get_executor(); }
    Socket& next_layer() noexcept { return socket_; }
    const Socket& next_layer() const noexcept { return socket_; }

    // The handshake is done: from now on each wait has the idle limit.
    void startServing();
    // Closing has begun and must be done within the handshake's limit.
    void startClosing();

    template <class MutableBuffers>
    std::size_t read_some(const MutableBuffers& buffers, boost::system::error_code& error) {
        return transfer(platform::SocketWait::readable, error,
                        [&] { return socket_.read_some(buffers, error); });
    }

    template <class MutableBuffers>
    std::size_t read_some(const MutableBuffers& buffers) {
        return throwingErrors([&](auto& error) { return read_some(buffers, error); });
    }

    template <class ConstBuffers>
    std::size_t write_some(const ConstBuffers& buffers, boost::system::error_code& error) {
        return transfer(platform::SocketWait::writable, error,
                        [&] { return socket_.write_some(buffers, error); });
    }

    template <class ConstBuffers>
    std::size_t write_some(const ConstBuffers& buffers) {
        return throwingErrors([&](auto& error) { return write_some(buffers, error); });
    }

private:
    // The socket does not block; each time it would, wait for the peer
    // within the limit in force and try again.
    template <class Operation>
    std::size_t transfer(platform::SocketWait wait, boost::system::error_code& error,
                         Operation operation) {
        for (;;) {
            const std::size_t done = operation();
            if (error != boost::asio::error::would_block) return done;
            if (!platform::waitForSocket(socket_.native_handle(), wait, waitLimit())) {
                error = boost::beast::error::timeout;
                return 0;
            }
        }
    }

    template <class Operation>
    static std::size_t throwingErrors(Operation operation) {
        boost::system::error_code error;
        const std::size_t done = operation(error);
        if (error) boost::throw_exception(boost::system::system_error(error));
        return done;
    }

    std::chrono::milliseconds waitLimit() const;

    Socket socket_;
    Limits limits_;
    // Set while a total limit runs (handshake, close); unset while serving.
    bool deadlineSet_ = true;
    Clock::time_point deadline_;
};

// How the WebSocket stream closes its transport: the server's end is shut
// for sending, what the peer still sends is read until it closes its end,
// and the socket is closed; all within the close's limit.
void teardown(boost::beast::role_type role, TimedSocket& socket,
              boost::system::error_code& error);

}  // namespace zorva::plugin::module
