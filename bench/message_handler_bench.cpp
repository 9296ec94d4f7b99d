// Pushes a 256 MiB document through MessageHandler the way a page sends it to
// the "digest" method of the system module: a chunked request whose payload
// embeds the document's description, its base64 content cut into chunks of
// 1 MiB of text. The handler stores every chunk, the last one joins the file
// and the real system module streams it for its size and digests. Prints the
// rate in MB/s (10^6 bytes of base64 text per second, wall clock, from the
// first chunk to the reply) and the peak resident memory above the baseline
// taken before the first chunk.
//
// The session takes its modules and the chunk store its files from the
// program's place, so the program runs itself again from a private tree,
// which is removed at the end.
#include "base64.h"
#include "bench_session.h"
#include "message_handler.h"
#include "process_usage.h"
#include "staged_program.h"

#include <QCryptographicHash>

#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

namespace {

using zorva::plugin::MessageHandler;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
namespace base64 = zorva::plugin::base64;

constexpr std::size_t documentSize = std::size_t(256) << 20;
// Raw bytes whose base64 text is 1 MiB.
constexpr std::size_t blockSize = (std::size_t(1) << 20) / 4 * 3;
constexpr std::size_t fullBlocks = documentSize / blockSize;
constexpr std::size_t tailSize = documentSize % blockSize;
constexpr std::size_t chunkCount = fullBlocks + (tailSize ? 1 : 0) + 4;
constexpr const char* uuid = "2f1c7a52-9d0e-4c6b-a1f3-5e8d2b7c4a90";

// The document is one random block repeated, then a shorter tail, so that no
// copy of it is held while it travels.
class Document {
public:
    Document() : raw_(blockSize, '\0') {
        std::mt19937_64 random(7);
        for (char& byte : raw_) byte = static_cast<char>(random());
        text_ = base64::encode(raw_);
        tailText_ = base64::encode(raw_.substr(0, tailSize));
        opening_ = R"({"id":")" + std::string(uuid) +
                   R"(","name":"document.pdf","contentEncoding":"base64",)"
                   R"("hash":{"algorithm":"md5","value":")" +
                   md5Of(true) + R"("},"content":")";
    }

    // "{"files":[", the description up to its content, the content blocks,
    // the rest of the description, "]}".
    MessagePtr chunk(std::size_t number) const {
        if (number == 1) return message(number, R"({"files":[)", "");
        if (number == 2) return message(number, opening_, uuid);
        if (number == chunkCount - 1) return message(number, R"("})", uuid);
        if (number == chunkCount) return message(number, "]}", "");
        return message(number, number - 2 > fullBlocks ? tailText_ : text_, uuid);
    }

    std::string md5Of(bool travelled) const {
        QCryptographicHash md5(QCryptographicHash::Md5);
        const std::string& block = travelled ? text_ : raw_;
        for (std::size_t i = 0; i < fullBlocks; ++i) md5.addData(block.data(), int(block.size()));
        const std::string tail = travelled ? tailText_ : raw_.substr(0, tailSize);
        md5.addData(tail.data(), int(tail.size()));
        return md5.result().toHex().toStdString();
    }

private:
    static MessagePtr message(std::size_t number, const std::string& data, const char* fileId) {
        auto request = boost::make_shared<Message>();
        request->id = "bench";
        request->module.type = "system";
        request->method.type = "digest";
        request->method.data = data;
        request->meta.id = fileId;
        request->meta.chunk = std::to_string(number);
        request->meta.chunks = std::to_string(chunkCount);
        return request;
    }

    std::string raw_;
    std::string text_;
    std::string tailText_;
    std::string opening_;
};

int run() {
    namespace logging = boost::log;
    // State changes of every chunk are warnings; the console would dominate.
    logging::core::get()->set_filter(logging::trivial::severity >= logging::trivial::error);
    MessageHandler handler(startBenchSession(SYSTEM_MODULE, "system"));
    const Document document;
    const std::string expected = R"([{"name":"document.pdf","size":")" +
                                 std::to_string(documentSize) + R"(","md5":")" +
                                 document.md5Of(false) + "\"";
    double textBytes = 0;
    int state = MessageHandler::None;
    MessagePtr reply;
    const double baseline = peakRssMiB();

    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t number = 1; number <= chunkCount; ++number) {
        const MessagePtr chunk = document.chunk(number);
        textBytes += static_cast<double>(chunk->method.data.size());
        reply = handler.handle(chunk, &state);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double cpu = cpuSeconds() - cpuStart;

    if (state != MessageHandler::Ok || reply->method.result.rfind(expected, 0) != 0) {
        std::fprintf(stderr, "unexpected reply: %s\n", reply->errorMessage.c_str());
        return 1;
    }
    const double peak = peakRssMiB();
    std::printf("document %zu MiB in %zu chunks, %.1f MB of base64 text\n", documentSize >> 20,
                chunkCount, textBytes / 1e6);
    std::printf("wall clock %.2f s: %.0f MB/s; processor time %.2f s: %.0f MB/s\n", elapsed.count(),
                textBytes / 1e6 / elapsed.count(), cpu, textBytes / 1e6 / cpu);
    std::printf("peak RSS: baseline %.1f MiB, peak %.1f MiB, %.1f MiB above baseline\n", baseline,
                peak, peak - baseline);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (staged_program::tree().empty()) return staged_program::runStaged(argc, argv, {});
    return run();
}
