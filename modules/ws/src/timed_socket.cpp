#include "timed_socket.h"

#include <boost/asio/buffer.hpp>

#include <algorithm>
#include <array>

namespace zorva::plugin::module {

TimedSocket::TimedSocket(Socket socket, Limits limits)
    : socket_(std::move(socket)), limits_(limits), deadline_(Clock::now() + limits.handshake) {
    socket_.non_blocking(true);
}

void TimedSocket::startServing() { deadlineSet_ = false; }

void TimedSocket::startClosing() {
    deadlineSet_ = true;
    deadline_ = Clock::now() + limits_.handshake;
}

std::chrono::milliseconds TimedSocket::waitLimit() const {
    const auto limit = deadlineSet_ ? std::max(deadline_ - Clock::now(), Clock::duration::zero())
                                    : limits_.idle;
    return std::chrono::ceil<std::chrono::milliseconds>(limit);
}

void teardown(boost::beast::role_type role, TimedSocket& socket,
              boost::system::error_code& error) {
    socket.startClosing();
    auto& tcp = socket.next_layer();
    if (role == boost::beast::role_type::server)
        tcp.shutdown(TimedSocket::Socket::shutdown_send, error);
    std::array<char, 2048> discarded;
    while (!error) socket.read_some(boost::asio::buffer(discarded), error);
    if (error == boost::asio::error::eof) error = {};
    boost::system::error_code closing;
    tcp.close(closing);
    if (!error) error = closing;
}

}  // namespace zorva::plugin::module
