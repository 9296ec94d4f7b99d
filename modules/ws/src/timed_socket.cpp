#include "timed_socket.h"

#include <boost/beast/core/error.hpp>

#include <algorithm>
#include <array>

namespace zorva::plugin::module {

TimedSocket::TimedSocket(Socket socket, Limits limits)
    : socket_(std::move(socket)), limits_(limits), deadline_(Clock::now() + limits.handshake) {
    // A reply must not wait for the peer to acknowledge the one before it.
    socket_.set_option(Socket::protocol_type::no_delay(true));
}

void TimedSocket::startServing() {
    deadlineSet_ = false;
    platform::setSocketWaitLimit(handle(),
                                 std::chrono::ceil<std::chrono::milliseconds>(limits_.idle));
}

void TimedSocket::setIdleLimit(Clock::duration idle) {
    if (idle == limits_.idle) return;
    limits_.idle = idle;
    if (!deadlineSet_) startServing();
}

void TimedSocket::shortenHandshake(Clock::duration limit) {
    if (deadlineSet_) deadline_ = std::min(deadline_, Clock::now() + limit);
}

void TimedSocket::startClosing() {
    deadlineSet_ = true;
    deadline_ = Clock::now() + limits_.handshake;
}

bool TimedSocket::startWait() {
    if (!deadlineSet_) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
    if (left.count() <= 0) return false;
    platform::setSocketWaitLimit(handle(), left);
    return true;
}

boost::system::error_code TimedSocket::timeoutError() { return boost::beast::error::timeout; }

void teardown(boost::beast::role_type role, TimedSocket& socket, boost::system::error_code& error) {
    socket.startClosing();
    auto& tcp = socket.next_layer();
    if (role == boost::beast::role_type::server)
        tcp.shutdown(TimedSocket::Socket::shutdown_send, error);
    std::array<char, 2048> discarded;
    while (!error) socket.read_some(boost::asio::buffer(discarded), error);
    if (error == boost::asio::error::eof) error = {};
}

}  // namespace zorva::plugin::module
