#pragma once

#include "platform_socket.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>

#include <array>
#include <chrono>
#include <cstddef>

namespace zorva::plugin::module {

// A connected TCP socket whose blocking reads and writes wait for the peer
// only so long, bounded by the kernel: no poll per read. The WebSocket stream
// runs over it synchronously, where the stream's own timeouts have no effect;
// without these limits a page that connects and falls silent would hold its
// thread for good.
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
    // Each later wait while serving has this limit.
    void setIdleLimit(Clock::duration idle);
    // The handshake must be done within `limit` from now, if that is sooner.
    void shortenHandshake(Clock::duration limit);
    // Closing has begun and must be done within the handshake's limit.
    void startClosing();

    // A read that asks for little is served from one larger read ahead: a
    // client that cuts a message into frames of a few kilobytes would cost the
    // stream two system calls a frame (its header, then its payload).
    template <class MutableBuffers>
    std::size_t read_some(const MutableBuffers& buffers, boost::system::error_code& error) {
        error = {};
        const std::size_t wanted = boost::asio::buffer_size(buffers);
        if (ahead_.size() == 0 && wanted != 0 && wanted < readAheadSize) {
            ahead_.commit(receive(ahead_.prepare(readAheadSize), error));
            if (error) return 0;
        }
        if (ahead_.size() == 0) return receive(buffers, error);
        const std::size_t copied = boost::asio::buffer_copy(buffers, ahead_.data());
        ahead_.consume(copied);
        return copied;
    }

    template <class MutableBuffers>
    std::size_t read_some(const MutableBuffers& buffers) {
        return throwingErrors([&](auto& error) { return read_some(buffers, error); });
    }

    template <class ConstBuffers>
    std::size_t write_some(const ConstBuffers& buffers, boost::system::error_code& error) {
        const auto spans = Spans<platform::ConstSocketBuffer>(buffers);
        return transfer(spans, error, [&] {
            return platform::sendSome(handle(), spans.items.data(), spans.count, error);
        });
    }

    template <class ConstBuffers>
    std::size_t write_some(const ConstBuffers& buffers) {
        return throwingErrors([&](auto& error) { return write_some(buffers, error); });
    }

private:
    static constexpr std::size_t readAheadSize = 64 * 1024;

    template <class MutableBuffers>
    std::size_t receive(const MutableBuffers& buffers, boost::system::error_code& error) {
        const auto spans = Spans<platform::SocketBuffer>(buffers);
        const std::size_t done = transfer(spans, error, [&] {
            return platform::receiveSome(handle(), spans.items.data(), spans.count, error);
        });
        if (!error && done == 0 && spans.count != 0) error = boost::asio::error::eof;
        return done;
    }

    // The first non-empty buffers of a sequence, for one system call; the
    // stream asks again for the rest.
    template <class Span>
    struct Spans {
        template <class Buffers>
        explicit Spans(const Buffers& buffers) {
            for (auto it = boost::asio::buffer_sequence_begin(buffers);
                 it != boost::asio::buffer_sequence_end(buffers) && count < items.size(); ++it) {
                const auto buffer = *it;
                if (buffer.size() != 0) items[count++] = Span{buffer.data(), buffer.size()};
            }
        }
        std::array<Span, 16> items;
        std::size_t count = 0;
    };

    // Nothing to transfer is done at once; a wait that ran out is the
    // library's timeout.
    template <class Span, class Operation>
    std::size_t transfer(const Spans<Span>& spans, boost::system::error_code& error,
                         Operation operation) {
        error = {};
        if (spans.count == 0) return 0;
        if (!startWait()) {
            error = timeoutError();
            return 0;
        }
        const std::size_t done = operation();
        if (error == boost::asio::error::would_block) error = timeoutError();
        return done;
    }

    template <class Operation>
    static std::size_t throwingErrors(Operation operation) {
        boost::system::error_code error;
        const std::size_t done = operation(error);
        if (error) boost::throw_exception(boost::system::system_error(error));
        return done;
    }

    int handle() { return socket_.native_handle(); }
    // Sets the time left of a total limit; false when none is left.
    bool startWait();
    static boost::system::error_code timeoutError();

    Socket socket_;
    Limits limits_;
    // Set while a total limit runs (handshake, close); unset while serving.
    bool deadlineSet_ = true;
    Clock::time_point deadline_;
    // Received, not yet read.
    boost::beast::flat_buffer ahead_{readAheadSize};
};

// How the WebSocket stream closes its transport: the server's end is shut
// for sending and what the peer still sends is read until it closes its end,
// within the close's limit. The socket itself closes with its owner, so that
// its number stays this connection's while others may still shut it down.
void teardown(boost::beast::role_type role, TimedSocket& socket, boost::system::error_code& error);

}  // namespace zorva::plugin::module
