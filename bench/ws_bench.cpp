// Load client of the WebSocket endpoint: round trips of "system"/"echo" over
// several connections, and a chunked upload of one embedded file followed by
// "digest". Talks only to 127.0.0.1; every loop is bounded in count.
//
//   ws_bench rtt <port> <connections> <requests per connection> <request bytes>
//   ws_bench upload <port> <MiB>
//   ws_bench stop <port>
//
// The same client measures the reference echo server, which sends each
// request back re-serialised: what it is sent is all that matters to it.
#include <QCryptographicHash>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

class Connection {
public:
    explicit Connection(unsigned short port) : stream_(context_) {
        stream_.next_layer().connect({net::ip::make_address("127.0.0.1"), port});
        // As browsers do: a request must not wait for the acknowledgement of the one before.
        stream_.next_layer().set_option(tcp::no_delay(true));
        stream_.handshake("127.0.0.1", "/");
        stream_.text(true);
    }

    void send(const std::string& text) { stream_.write(net::buffer(text)); }

    std::string receive() {
        boost::beast::flat_buffer buffer;
        stream_.read(buffer);
        return boost::beast::buffers_to_string(buffer.data());
    }

private:
    net::io_context context_;
    websocket::stream<tcp::socket> stream_;
};

std::string request(const std::string& id, const std::string& method, const std::string& data,
                    const std::string& meta = "") {
    return R"({"id":")" + id + R"(","module":{"type":"system","version":""},"method":{"type":")" +
           method + R"(","data":")" + data + R"("},"meta":{"format":{"type":"bench"})" + meta +
           "}}";
}

double percentile(std::vector<double>& sorted, double share) {
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(share * sorted.size()))];
}

// A request of about the given length: its echo data fills what the fields leave.
std::string echoRequest(int connection, std::size_t bytes) {
    const std::string bare = request("rtt" + std::to_string(connection), "echo", "");
    return request("rtt" + std::to_string(connection), "echo",
                   std::string(bytes > bare.size() ? bytes - bare.size() : 0, 'p'));
}

struct ConnectionFigures {
    std::vector<double> latencies;  // milliseconds
    Clock::time_point firstReply;
    Clock::time_point lastReply;
};

// The connections whose first reply came before any connection had finished:
// those the server served at once rather than one after another.
std::size_t servedAtOnce(const std::vector<ConnectionFigures>& figures) {
    Clock::time_point firstFinished = Clock::time_point::max();
    for (const auto& each : figures) firstFinished = std::min(firstFinished, each.lastReply);
    return std::count_if(figures.begin(), figures.end(), [&](const ConnectionFigures& each) {
        return each.firstReply < firstFinished;
    });
}

// Lets the connections start their round trips together once all are open,
// or once a server that keeps some waiting in their handshake has had time.
class StartGate {
public:
    explicit StartGate(int expected) : expected_(expected) {}

    void arrive() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (++arrived_ == expected_) opened_.notify_all();
        opened_.wait_for(lock, std::chrono::seconds(2), [this] { return arrived_ >= expected_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    int arrived_ = 0;
    const int expected_;
};

int roundTrips(unsigned short port, int connections, int requests, std::size_t bytes) {
    std::vector<ConnectionFigures> figures(connections);
    std::vector<std::thread> threads;
    StartGate gate(connections);
    const auto start = Clock::now();
    for (int c = 0; c < connections; ++c)
        threads.emplace_back([&, c] {
            // Each connects on its own: a server that serves a few at a time
            // keeps the others waiting in their handshake.
            Connection connection(port);
            gate.arrive();
            const std::string text = echoRequest(c, bytes);
            auto& mine = figures[c];
            for (int i = 0; i < requests; ++i) {
                const auto sent = Clock::now();
                connection.send(text);
                connection.receive();
                const auto received = Clock::now();
                if (i == 0) mine.firstReply = received;
                mine.latencies.push_back(
                    std::chrono::duration<double, std::milli>(received - sent).count());
            }
            mine.lastReply = Clock::now();
        });
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double> all;
    for (const auto& each : figures)
        all.insert(all.end(), each.latencies.begin(), each.latencies.end());
    std::sort(all.begin(), all.end());
    std::printf(
        "echo, %d connection(s), %zu B requests, %zu round trips: %.0f round trips/s, "
        "p50 %.3f ms, p99 %.3f ms, served at once %zu of %d\n",
        connections, echoRequest(0, bytes).size(), all.size(), all.size() / seconds,
        percentile(all, 0.50), percentile(all, 0.99), servedAtOnce(figures), connections);
    return 0;
}

std::string chunkMeta(const std::string& fileId, int chunk, int chunks) {
    return R"(,"id":")" + fileId + R"(","chunk":")" + std::to_string(chunk) + R"(","chunks":")" +
           std::to_string(chunks) + R"(")";
}

// The file is one random block repeated: 768 KiB of bytes, whose base64 text
// is exactly one 1 MiB chunk; a shorter tail piece ends it.
int upload(unsigned short port, int mebibytes) {
    std::mt19937 random(42);
    QByteArray block(768 * 1024, '\0');
    for (auto& byte : block) byte = static_cast<char>(random());
    const std::int64_t size = std::int64_t(mebibytes) * 1024 * 1024;
    const std::string full = block.toBase64().toStdString();
    const QByteArray tailBytes = block.left(int(size % block.size()));
    const std::string tail = tailBytes.toBase64().toStdString();
    std::vector<const std::string*> pieces(size / block.size(), &full);
    if (!tail.empty()) pieces.push_back(&tail);
    QCryptographicHash textMd5(QCryptographicHash::Md5), bytesMd5(QCryptographicHash::Md5);
    for (const std::string* piece : pieces) textMd5.addData(piece->data(), int(piece->size()));
    for (std::int64_t i = 0; i < size / block.size(); ++i) bytesMd5.addData(block);
    bytesMd5.addData(tailBytes);
    const std::string hash = textMd5.result().toHex().toStdString();

    const std::string id = "upload" + std::to_string(Clock::now().time_since_epoch().count());
    const std::string fileId = "file" + id;
    const int chunks = int(pieces.size()) + 4;
    const std::string opening = R"({\"id\":\")" + fileId +
                                R"(\",\"name\":\"bench.bin\",\"contentEncoding\":\"base64\",)"
                                R"(\"hash\":{\"algorithm\":\"md5\",\"value\":\")" +
                                hash + R"(\"},\"content\":\")";

    Connection connection(port);
    const auto start = Clock::now();
    int chunk = 0;
    double text = 0;
    connection.send(request(id, "digest", R"({\"files\":[)", chunkMeta("", ++chunk, chunks)));
    connection.send(request(id, "digest", opening, chunkMeta(fileId, ++chunk, chunks)));
    for (const std::string* piece : pieces) {
        connection.send(request(id, "digest", *piece, chunkMeta(fileId, ++chunk, chunks)));
        text += piece->size();
    }
    connection.send(request(id, "digest", R"(\"})", chunkMeta(fileId, ++chunk, chunks)));
    connection.send(request(id, "digest", "]}", chunkMeta("", ++chunk, chunks)));
    const std::string reply = connection.receive();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf(
        "upload of a %d MiB file (%.1f MB of base64 text) in %d chunks + digest: "
        "%.2f s, %.1f MB/s of base64 text\n",
        mebibytes, text / 1e6, chunks, seconds, text / 1e6 / seconds);
    const std::string md5 = bytesMd5.result().toHex().toStdString();
    const bool sound = reply.find(R"(\"size\":\")" + std::to_string(size)) != std::string::npos &&
                       reply.find(md5) != std::string::npos;
    std::printf("digest reply %s size %lld and md5 %s of the bytes sent\n",
                sound ? "matches" : "DOES NOT match", static_cast<long long>(size), md5.c_str());
    if (!sound) std::printf("reply: %.400s\n", reply.c_str());
    return sound ? 0 : 1;
}

int stop(unsigned short port) {
    Connection connection(port);
    connection.send("{}");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 5 && args[0] == "rtt")
            return roundTrips(std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]),
                              std::stoul(args[4]));
        if (args.size() == 3 && args[0] == "upload")
            return upload(std::stoi(args[1]), std::stoi(args[2]));
        if (args.size() == 2 && args[0] == "stop") return stop(std::stoi(args[1]));
    } catch (const std::exception& error) {
        std::cerr << "ws_bench: " << error.what() << "\n";
        return 1;
    }
    std::cerr
        << "usage: ws_bench rtt <port> <connections> <requests> <bytes> | upload <port> <MiB> | "
           "stop <port>\n";
    return 2;
}
