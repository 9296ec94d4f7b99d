#include <gtest/gtest.h>

#include "connection.h"
#include "log_capture.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;
using zorva::plugin::format::MessagePtr;
using zorva::plugin::module::Connection;
using zorva::plugin::module::ConnectionSettings;
using zorva::plugin::module::IProtocol;
using namespace std::chrono_literals;

constexpr auto idleLimit = 300ms;
// Generous: the machine may be busy, but a wait that never ends is the fault.
constexpr auto slack = 10s;

// The server a connection belongs to: gives the name, and its stop flag.
class Server : public IProtocol {
public:
    std::string name() override { return "ws"; }
    void run() override {}
    void interrupt() override { stopped = true; }
    MessagePtr receive() override { return {}; }
    void send(const MessagePtr&) override {}

    std::atomic<bool> stopped{false};
};

// One connection served on a real loopback socket with a short idle limit,
// and a real WebSocket client as its peer.
class ConnectionTest : public testing::Test {
protected:
    ConnectionTest() {
        settings_.limits = {slack, idleLimit};
        settings_.port = acceptor_.local_endpoint().port();
        served_ = std::async(std::launch::async, [this] {
            Connection(server_, server_.stopped, settings_, acceptor_.accept()).run();
        });
        client_.next_layer().connect(acceptor_.local_endpoint());
    }

    void expectConnectionEnds() {
        ASSERT_EQ(served_.wait_for(slack), std::future_status::ready);
        served_.get();
    }

    LogCapture log_;
    Server server_;
    ConnectionSettings settings_;
    net::io_context context_;
    tcp::acceptor acceptor_{context_, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0)};
    std::future<void> served_;
    websocket::stream<tcp::socket> client_{context_};
};

TEST_F(ConnectionTest, IdleLimitEndsAnOpenConnectionWithCloseFrame1001Idle) {
    client_.handshake("127.0.0.1", "/");

    boost::beast::flat_buffer buffer;
    boost::system::error_code error;
    client_.read(buffer, error);

    EXPECT_EQ(error, websocket::error::closed) << error.message();
    EXPECT_EQ(client_.reason().code, websocket::close_code::going_away);
    EXPECT_EQ(std::string(client_.reason().reason.c_str()), "idle");
    expectConnectionEnds();
    EXPECT_EQ(
        log_.texts("ws: connection lost, what: The socket was closed due to a timeout").size(), 1u);
}

TEST_F(ConnectionTest, HostThatIsNoLoopbackNameIsRefusedWith403AndLogged) {
    websocket::response_type response;
    boost::system::error_code error;
    client_.handshake(response, "attacker.example", "/", error);

    EXPECT_EQ(response.result_int(), 403u);
    expectConnectionEnds();
    EXPECT_TRUE(
        log_.contains(LogCapture::Severity::warning, "ws: host refused: \"attacker.example\""));
}

}  // namespace
