#include <gtest/gtest.h>

#include "config.h"
#include "iprotocol.h"
#include "iws.h"
#include "log_capture.h"
#include "module.h"

#include <QJsonDocument>
#include <QPluginLoader>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/make_shared.hpp>

#include <chrono>
#include <future>
#include <thread>
#include <optional>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;
using zorva::plugin::format::Config;
using zorva::plugin::module::IProtocol;
using zorva::plugin::module::Module;
using Severity = LogCapture::Severity;
using namespace std::chrono_literals;

unsigned short freePort() {
    net::io_context context;
    tcp::acceptor probe(context, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    return probe.local_endpoint().port();
}

std::string localAddress(unsigned short port) { return "ws://localhost:" + std::to_string(port); }

// A WebSocket peer of the module, connected once the module listens; a page's
// peer names its origin.
class Client {
public:
    explicit Client(unsigned short port, const std::string& origin = {}) : stream_(context_) {
        const tcp::endpoint endpoint(net::ip::make_address("127.0.0.1"), port);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        boost::system::error_code error;
        do {
            stream_.next_layer().close();
            stream_.next_layer().connect(endpoint, error);
        } while (error && std::chrono::steady_clock::now() < deadline);
        if (error) throw std::runtime_error("ws module never listened: " + error.message());
        if (!origin.empty())
            stream_.set_option(
                websocket::stream_base::decorator([origin](websocket::request_type& request) {
                    request.set(http::field::origin, origin);
                }));
        stream_.handshake(response_, "127.0.0.1", "/", error);
    }

    // The HTTP status that answered the handshake: 101 when upgraded.
    unsigned status() const { return response_.result_int(); }

    void write(const std::string& text) { stream_.write(net::buffer(text)); }

    // The error the next read ends with; none when a message arrived.
    boost::system::error_code readError() {
        boost::beast::flat_buffer buffer;
        boost::system::error_code error;
        stream_.read(buffer, error);
        return error;
    }

private:
    net::io_context context_;
    websocket::stream<tcp::socket> stream_;
    websocket::response_type response_;
};

// While it lives, this process can open no new descriptor: every number below
// the lowered limit is in use.
class DescriptorsExhausted {
public:
    DescriptorsExhausted() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::open("/dev/null", O_RDONLY);
        ::close(lowestFree);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorsExhausted() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    DescriptorsExhausted(const DescriptorsExhausted&) = delete;
    DescriptorsExhausted& operator=(const DescriptorsExhausted&) = delete;

private:
    rlimit saved_{};
};

// The real plug-in, loaded by path and bound without a session, so that a
// stop request stops the server instead of ending the test process.
class WsModule : public testing::Test {
protected:
    void SetUp() override {
        loader_.setFileName(WS_MODULE_FILE);
        ASSERT_TRUE(loader_.load()) << loader_.errorString().toStdString();
        module_ = dynamic_cast<Module*>(loader_.instance());
        ASSERT_NE(module_, nullptr);
        protocol_ = module_->protocol();
        ASSERT_NE(protocol_, nullptr);
    }

    // A fresh root object per test: the stop flag is never reset.
    void TearDown() override { delete loader_.instance(); }

    void bind(const std::string& address, const std::optional<std::string>& origins = {}) {
        auto config = boost::make_shared<Config>();
        config->format.type = "ws";
        if (!address.empty()) config->meta.insert(metaEntry("protocol", address));
        if (origins) config->meta.insert(metaEntry("protocol.origins", *origins));
        module_->init({}, config);
    }

    static Config::Meta metaEntry(const std::string& category, const std::string& data) {
        Config::Meta meta;
        meta.format.type = "ws";
        meta.format.category = category;
        meta.data = data;
        return meta;
    }

    void runInBackground() {
        run_ = std::async(std::launch::async, [this] { protocol_->run(); });
    }

    // Binds to a free port and serves it in the background.
    unsigned short serve(const std::optional<std::string>& origins = {}) {
        const unsigned short port = freePort();
        bind(localAddress(port), origins);
        runInBackground();
        return port;
    }

    // Ends the server through a peer that names no origin.
    void stopThroughAPeer(unsigned short port) {
        Client(port).write("{}");
        expectRunReturns();
    }

    // The text of the system error that run raises.
    std::string systemErrorOfRun() {
        try {
            protocol_->run();
        } catch (const boost::system::system_error& error) {
            return error.what();
        }
        ADD_FAILURE() << "run raised no system error";
        return {};
    }

    void expectRunReturns() {
        ASSERT_EQ(run_.wait_for(10s), std::future_status::ready) << "run did not return";
        run_.get();
    }

    LogCapture log_;
    net::io_context context_;
    std::future<void> run_;
    QPluginLoader loader_;
    Module* module_ = nullptr;
    IProtocol* protocol_ = nullptr;
};

TEST(WsPlugin, MetadataDeclaresTheWsModuleWithoutMeta) {
    QPluginLoader loader(WS_MODULE_FILE);
    const QJsonObject metaData = loader.metaData();

    EXPECT_EQ(metaData.value("IID").toString(), "plugin");
    EXPECT_EQ(metaData.value("className").toString(), "Ws");
    const QJsonObject own = metaData.value("MetaData").toObject();
    EXPECT_FALSE(own.contains("meta"));
    const auto config = json_dto::from_json<Config>(
        QJsonDocument(own).toJson(QJsonDocument::Compact).toStdString());
    EXPECT_EQ(config.format.type, "ws");
    EXPECT_EQ(config.format.version, "1.3.19.0");
    EXPECT_EQ(config.format.category, "plugin");
    EXPECT_EQ(config.format.description,
              "provides communication plugin-plugin.extension via websockets");
    EXPECT_TRUE(config.dependencies.empty());
    EXPECT_TRUE(config.methods.empty());
}

TEST_F(WsModule, CastsByNameGiveTheInterfacesTheAccessorsGive) {
    QObject* root = loader_.instance();
    void* ws = module_->ws();
    ASSERT_NE(ws, nullptr);

    EXPECT_EQ(root->qt_metacast("zorva::plugin::module::Ws"), root);
    EXPECT_EQ(root->qt_metacast("IProtocol"), protocol_);
    EXPECT_EQ(root->qt_metacast("plugin.IProtocol"), protocol_);
    EXPECT_EQ(root->qt_metacast("IWs"), ws);
    EXPECT_EQ(root->qt_metacast("plugin.IWs"), ws);
    EXPECT_EQ(module_->handler(), nullptr);
}

TEST_F(WsModule, AddressesWithoutAnEndpointRaiseLogicError) {
    for (const std::string address :
         {"", "ws://localhost:9000/path", "ws://localhost:0", "ws://localhost:65536"}) {
        bind(address);
        try {
            protocol_->run();
            ADD_FAILURE() << "no failure for " << address;
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), "no ws endpoint meta found") << address;
        }
    }
}

TEST_F(WsModule, HostThatIsNoAddressRaisesMakeAddressError) {
    bind("ws://example.org:9000");
    EXPECT_EQ(systemErrorOfRun().rfind("make_address: ", 0), 0u);
}

TEST_F(WsModule, BusyPortRaisesBindError) {
    net::io_context context;
    tcp::acceptor busy(context, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
    bind(localAddress(busy.local_endpoint().port()));
    EXPECT_EQ(systemErrorOfRun().rfind("bind: ", 0), 0u);
}

TEST_F(WsModule, InterruptWakesTheAcceptLoopAndASecondInterruptDoesNothing) {
    const unsigned short port = serve();
    { Client probe(port); }  // proves the server listens

    protocol_->interrupt();
    protocol_->interrupt();

    expectRunReturns();  // no further peer comes: only the interrupt can end the accept
    EXPECT_EQ(log_.texts("ws: interrupt").size(), 1u);
    // The loop may see the stop flag before it is back in accept after the
    // probe; then no accept fails.
    EXPECT_LE(log_.texts("ws: exception, what: accept: ").size(), 1u);
    EXPECT_TRUE(
        log_.contains(Severity::info, "ws: address: 127.0.0.1, port: " + std::to_string(port)));
}

TEST_F(WsModule, FailingAcceptsAreRetriedCalmlyAndTheWaitingPeerIsServedAfterwards) {
    const unsigned short port = serve();
    { Client probe(port); }  // proves the server listens
    // The probe's server end must be closed, or its descriptor would be free
    // again for the accept below.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (log_.texts("ws: connection lost").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);

    tcp::socket waiting(context_);
    waiting.open(tcp::v4());
    std::size_t failures = 0;
    {
        DescriptorsExhausted exhausted;
        waiting.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        std::this_thread::sleep_for(1s);
        failures = log_.texts("ws: exception, what: accept: Too many open files").size();
    }
    EXPECT_GE(failures, 1u);
    EXPECT_LE(failures, 30u) << "the accept loop spins";

    websocket::stream<tcp::socket&> stream(waiting);
    stream.handshake("127.0.0.1", "/");
    stream.write(net::buffer(std::string("{}")));
    expectRunReturns();
}

TEST_F(WsModule, RunAfterInterruptAcceptsNothingAndReturns) {
    bind(localAddress(freePort()));
    protocol_->interrupt();
    runInBackground();
    expectRunReturns();
}

TEST_F(WsModule, TwoByteMessageStopsTheServer) {
    Client client(serve());

    client.write("{}");

    expectRunReturns();
    EXPECT_EQ(log_.texts("ws: start, thread: ").size(), 1u);
    EXPECT_EQ(log_.texts("ws: interrupt").size(), 1u);
}

TEST_F(WsModule, StopEndsConnectionsThatStayIdleAndRunReturns) {
    const unsigned short port = serve();
    Client idle(port);
    ASSERT_EQ(idle.status(), 101u);

    Client(port).write("{}");

    expectRunReturns();  // without waiting for the idle peer's time limit
    EXPECT_TRUE(idle.readError());
}

TEST_F(WsModule, TextThatIsNoMessageEndsOnlyItsConnection) {
    const unsigned short port = serve();
    Client bystander(port);
    Client sender(port);

    sender.write("not json");

    EXPECT_TRUE(sender.readError());
    EXPECT_EQ(log_.texts("ws: connection lost, what: JSON parse error").size(), 1u);
    bystander.write("{}");  // still served: it stops the server
    expectRunReturns();
}

TEST_F(WsModule, OriginsOnTheAllowlistAreServedOthersRefusedWith403AndLogged) {
    const unsigned short port = serve("https://sign.example.org http://localhost:*");

    EXPECT_EQ(Client(port, "https://sign.example.org").status(), 101u);
    EXPECT_EQ(Client(port, "http://localhost:8080").status(), 101u);
    EXPECT_EQ(Client(port, "https://evil.test").status(), 403u);
    EXPECT_EQ(Client(port, "http://localhost.evil.test").status(), 403u);

    EXPECT_TRUE(log_.contains(Severity::warning, "ws: origin refused: \"https://evil.test\""));
    EXPECT_EQ(log_.texts("ws: origin refused: ").size(), 2u);
    EXPECT_TRUE(log_.contains(Severity::info,
                              "ws: allowed origins: https://sign.example.org http://localhost:*"));
    stopThroughAPeer(port);
}

TEST_F(WsModule, RequestWithoutOriginIsServedDespiteTheAllowlist) {
    const unsigned short port = serve("https://sign.example.org");

    Client program(port);

    EXPECT_EQ(program.status(), 101u);
    program.write("{}");  // served: it stops the server
    expectRunReturns();
}

TEST_F(WsModule, WithoutAllowlistAnyOriginIsServedAndTheStartSaysSo) {
    const unsigned short port = serve();

    EXPECT_EQ(Client(port, "https://evil.test").status(), 101u);

    EXPECT_EQ(log_.texts("ws: no origin allowlist, any page may connect").size(), 1u);
    EXPECT_TRUE(log_.texts("ws: origin refused: ").empty());
    stopThroughAPeer(port);
}

TEST_F(WsModule, AllowlistEntryIsNeverTakenForTheAddress) {
    bind("", "ws://localhost:9000");
    EXPECT_THROW(protocol_->run(), std::logic_error);
}

// The same configuration file with the allowlist entry before or after the
// address entry.
class WsModuleConfigFile : public WsModule, public testing::WithParamInterface<bool> {};

TEST_P(WsModuleConfigFile, AddressComesFromTheProtocolEntry) {
    const unsigned short port = freePort();
    const std::string address =
        R"({"format":{"type":"ws","category":"protocol"},"data":")" + localAddress(port) + R"("})";
    const std::string origins =
        R"({"format":{"type":"ws","category":"protocol.origins"},"data":"https://a.test"})";
    const std::string meta = GetParam() ? origins + "," + address : address + "," + origins;
    auto config = boost::make_shared<Config>(
        json_dto::from_json<Config>(R"({"format":{"type":"ws"},"meta":[)" + meta + "]}"));
    module_->init({}, config);
    runInBackground();

    EXPECT_EQ(Client(port, "https://a.test").status(), 101u);
    EXPECT_EQ(Client(port, "https://b.test").status(), 403u);
    EXPECT_TRUE(
        log_.contains(Severity::info, "ws: address: 127.0.0.1, port: " + std::to_string(port)));
    stopThroughAPeer(port);
}

INSTANTIATE_TEST_SUITE_P(AllowlistFirstOrLast, WsModuleConfigFile, testing::Bool());

TEST_F(WsModule, ReceiveAndSendOnAThreadWithoutConnectionAreRejected) {
    bind(localAddress(freePort()));
    const auto before = log_.records().size();

    EXPECT_FALSE(protocol_->receive());
    protocol_->send(boost::make_shared<zorva::plugin::format::Message>());

    const auto records = log_.records();
    EXPECT_EQ(std::vector<LogCapture::Record>(records.begin() + before, records.end()),
              (std::vector<LogCapture::Record>{
                  {Severity::warning, "ws: stream is not initialized, in rejected"},
                  {Severity::warning, "ws: stream is not initialized, out rejected"},
              }));
}

}  // namespace
