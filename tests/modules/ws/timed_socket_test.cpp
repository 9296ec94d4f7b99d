#include <gtest/gtest.h>

#include "timed_socket.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;
using zorva::plugin::module::TimedSocket;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto limit = 400ms;
// Generous: the machine may be busy, but a wait that never ends is the fault.
constexpr auto slack = 5s;

// A server socket and its connected peer over loopback.
class TimedSocketTest : public ::testing::Test {
protected:
    TimedSocketTest() : acceptor_(context_, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0)) {
        peer_.connect(acceptor_.local_endpoint());
    }

    TimedSocket accepted() {
        return TimedSocket(acceptor_.accept(), TimedSocket::Limits{limit, limit});
    }

    // The peer sends one byte each interval, count times, from another thread.
    std::future<void> trickle(int count, std::chrono::milliseconds interval) {
        return std::async(std::launch::async, [this, count, interval] {
            for (int i = 0; i < count; ++i) {
                net::write(peer_, net::buffer("x", 1));
                std::this_thread::sleep_for(interval);
            }
        });
    }

    net::io_context context_;
    tcp::acceptor acceptor_;
    tcp::socket peer_{context_};
};

TEST_F(TimedSocketTest, HandshakeLimitBoundsTheWholeHandshakeNotEachWait) {
    const auto start = Clock::now();  // the handshake's time runs from the socket's start
    TimedSocket socket = accepted();
    const auto sending = trickle(20, 100ms);  // 2 s in all, a byte each 100 ms
    char byte;
    boost::system::error_code error;
    int received = 0;
    while (!error) received += socket.read_some(net::buffer(&byte, 1), error);

    EXPECT_EQ(error, beast::error::timeout);
    EXPECT_GE(Clock::now() - start, limit);
    EXPECT_LT(Clock::now() - start, limit + slack);
    EXPECT_GE(received, 1);
    EXPECT_LT(received, 20);
}

TEST_F(TimedSocketTest, WhileServingAPeerThatKeepsSendingStaysAndASilentOneTimesOut) {
    TimedSocket socket = accepted();
    socket.startServing();
    const auto sending = trickle(8, 150ms);  // 1.2 s in all, three idle limits
    char byte;
    for (int i = 0; i < 8; ++i) ASSERT_EQ(socket.read_some(net::buffer(&byte, 1)), 1u);

    const auto silence = Clock::now();
    boost::system::error_code error;
    socket.read_some(net::buffer(&byte, 1), error);
    EXPECT_EQ(error, beast::error::timeout);
    EXPECT_GE(Clock::now() - silence, limit);
    EXPECT_LT(Clock::now() - silence, limit + slack);
    EXPECT_THROW(socket.read_some(net::buffer(&byte, 1)), boost::system::system_error);
}

TEST_F(TimedSocketTest, WriteToAPeerThatNeverReadsTimesOutAfterWhatFits) {
    TimedSocket socket = accepted();
    socket.startServing();
    const std::vector<char> text(64 * 1024 * 1024, 'x');
    boost::system::error_code error;
    const auto start = Clock::now();
    const std::size_t written = net::write(socket, net::buffer(text), error);

    EXPECT_EQ(error, beast::error::timeout);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, text.size());
    EXPECT_LT(Clock::now() - start, limit + slack);
}

TEST_F(TimedSocketTest, ReadsSmallAndLargeGetTheBytesInOrderAndThenTheEnd) {
    TimedSocket socket = accepted();
    socket.startServing();
    std::string sent(300000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 + i / 251);
    const auto sending = std::async(std::launch::async, [&] {
        net::write(peer_, net::buffer(sent));
        peer_.shutdown(tcp::socket::shutdown_send);
    });
    // Reads below the read-ahead's size, above it, and of what is left ahead.
    const std::size_t sizes[] = {1, 4096, 100000, 3, 65536};
    std::vector<char> buffer(100000);
    std::string received;
    boost::system::error_code error;

    for (std::size_t i = 0; !error && received.size() <= sent.size(); ++i)
        received.append(buffer.data(),
                        socket.read_some(net::buffer(buffer.data(), sizes[i % 5]), error));

    EXPECT_EQ(error, net::error::eof);
    EXPECT_TRUE(received == sent) << received.size() << " bytes received";
}

// The WebSocket stream as the module runs it: synchronously, over the socket.
class TimedWebSocketTest : public TimedSocketTest {
protected:
    using Server = websocket::stream<TimedSocket>;

    // Accepts the peer's handshake and echoes one message; then reads again
    // and gives the error that read ended with.
    std::future<boost::system::error_code> serveOneEcho() {
        return std::async(std::launch::async, [this] {
            Server server(acceptor_.accept(), TimedSocket::Limits{limit, limit});
            boost::system::error_code error;
            server.accept(error);
            if (error) return error;
            server.next_layer().startServing();
            beast::flat_buffer buffer;
            server.read(buffer, error);
            if (!error) server.write(buffer.data(), error);
            if (!error) server.read(buffer, error);
            return error;
        });
    }

    // The peer's side: opens the connection and has one message echoed.
    void handshakeAndEcho() {
        client_.handshake("127.0.0.1", "/");
        client_.write(net::buffer(std::string("hello")));
        beast::flat_buffer echo;
        client_.read(echo);
        EXPECT_EQ(beast::buffers_to_string(echo.data()), "hello");
    }

    websocket::stream<tcp::socket&> client_{peer_};
};

TEST_F(TimedWebSocketTest, SilentPeerFailsTheHandshakeWithTimeout) {
    auto served = serveOneEcho();
    ASSERT_EQ(served.wait_for(limit + slack), std::future_status::ready);
    EXPECT_EQ(served.get(), beast::error::timeout);
}

TEST_F(TimedWebSocketTest, MessagesFlowAndAPeerSilentAfterwardsTimesOut) {
    auto served = serveOneEcho();
    handshakeAndEcho();

    ASSERT_EQ(served.wait_for(limit + slack), std::future_status::ready);
    EXPECT_EQ(served.get(), beast::error::timeout);
}

TEST_F(TimedWebSocketTest, PeerClosingIsAnsweredAndTheConnectionEnds) {
    auto served = serveOneEcho();
    handshakeAndEcho();

    // The close completes only once the server has answered and closed its end.
    boost::system::error_code error;
    client_.close(websocket::close_code::normal, error);
    EXPECT_FALSE(error) << error.message();
    EXPECT_EQ(served.get(), websocket::error::closed);
}

}  // namespace
