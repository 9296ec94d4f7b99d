// Joins a 256 MiB file that travels inside a payload as 1 MiB chunks of
// base64 text, through ChunkStore, the way the message handler passes a
// transfer on: every chunk a message of its own, the last one joins. Prints
// the rate in MB/s (10^6 bytes of base64 text per second, wall clock) and the
// peak resident memory above the baseline taken before the first chunk.
//
//   chunk_store_bench [content|transfer]
//
// content (default): the file's description says "contentEncoding" "base64"
// and the chunks carry its base64 text as it is; the join decodes it.
// transfer: every chunk is base64 ("transferEncoding" "base64") and carries
// raw bytes; the store decodes each chunk, the join copies the file.
//
// The chunk store keeps its files in the data directory of the program's
// place, so the program runs itself again from a private tree, which is
// removed at the end.
#include "base64.h"
#include "chunk_store.h"
#include "file_description.h"
#include "json_binding.h"
#include "message.h"
#include "staged_program.h"

#include <QCryptographicHash>

#include <boost/filesystem.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/trivial.hpp>
#include <boost/make_shared.hpp>

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace {

namespace fs = boost::filesystem;
namespace base64 = zorva::plugin::base64;
using zorva::plugin::ChunkStore;
using zorva::plugin::FileInfo;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
using Clock = std::chrono::steady_clock;

constexpr std::size_t MiB = 1 << 20;
constexpr std::size_t fileSize = 256 * MiB;
// Raw bytes whose base64 text is exactly 1 MiB.
constexpr std::size_t rawPerChunk = MiB / 4 * 3;

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class Transfer {
public:
    explicit Transfer(bool transferEncoding) : transferEncoding_(transferEncoding) {
        std::mt19937_64 random(42);
        raw_.resize(rawPerChunk);
        for (char& c : raw_) c = static_cast<char>(random());
        text_ = base64::encode(raw_);
        lastRaw_ = fileSize % rawPerChunk;
        contentChunks_ = fileSize / rawPerChunk + (lastRaw_ != 0 ? 1 : 0);
        cutDescription();
    }

    std::size_t chunks() const { return contentChunks_ + 4; }

    // Chunk n of 1..chunks(): "[", the opening of the description, the
    // content, the closing, "]".
    MessagePtr message(std::size_t n) {
        const std::size_t last = chunks();
        if (n == 1) return make(n, sent("["), "");
        if (n == 2) return make(n, sent(opening_), uuid);
        if (n == last - 1) return make(n, sent(closing_), uuid);
        if (n == last) return make(n, sent("]"), "");
        const bool shortChunk = n - 2 == contentChunks_ && lastRaw_ != 0;
        return make(n, content(shortChunk ? lastRaw_ : rawPerChunk), uuid);
    }

    std::uint64_t textBytes() const { return textBytes_; }

private:
    static constexpr const char* uuid = "1b4e28ba-2fa1-11d2-883f-0016d3cca427";

    // The text a content chunk carries: the base64 text of the raw bytes in
    // both modes, only its meaning differs.
    std::string content(std::size_t rawSize) const {
        return rawSize == rawPerChunk ? text_ : base64::encode(raw_.substr(0, rawSize));
    }

    std::string sent(const std::string& piece) const {
        return transferEncoding_ ? base64::encode(piece) : piece;
    }

    // One copy of the chunk's text per message, as receiving it would make.
    MessagePtr make(std::size_t n, std::string data, const std::string& id) {
        auto m = boost::make_shared<Message>();
        m->id = "bench";
        m->module.type = "crypto";
        m->method.type = "sign";
        m->method.data = std::move(data);
        m->meta.id = id;
        m->meta.chunk = std::to_string(n);
        m->meta.chunks = std::to_string(chunks());
        if (transferEncoding_) m->meta.content.transferEncoding = "base64";
        textBytes_ += m->method.data.size();
        return m;
    }

    void cutDescription() {
        FileInfo info;
        info.id = uuid;
        info.name = "document.bin";
        info.contentEncoding = transferEncoding_ ? "" : "base64";
        info.hash.algorithm = "MD5";
        info.hash.value = checksum();
        info.content = "@CUT@";
        const std::string json = json_dto::to_json(info);
        const auto at = json.find(info.content);
        opening_ = json.substr(0, at);
        closing_ = json.substr(at + info.content.size());
    }

    // The MD5 of the content chunks as they travel, so the join finds it equal.
    std::string checksum() const {
        QCryptographicHash md5(QCryptographicHash::Md5);
        for (std::size_t i = 1; i <= contentChunks_; ++i) {
            const bool shortChunk = i == contentChunks_ && lastRaw_ != 0;
            const std::string sent = content(shortChunk ? lastRaw_ : rawPerChunk);
            md5.addData(sent.data(), static_cast<int>(sent.size()));
        }
        return md5.result().toHex().toStdString();
    }

    bool transferEncoding_;
    std::string raw_;
    std::string text_;
    std::size_t lastRaw_ = 0;
    std::size_t contentChunks_ = 0;
    std::string opening_;
    std::string closing_;
    std::uint64_t textBytes_ = 0;
};

int run(bool transferEncoding) {
    namespace logging = boost::log;
    logging::core::get()->set_filter(logging::trivial::severity >= logging::trivial::warning);

    Transfer transfer(transferEncoding);
    ChunkStore store;
    const double baseline = peakRssMiB();

    const auto start = Clock::now();
    for (std::size_t n = 1; n < transfer.chunks(); ++n) {
        if (store.join(transfer.message(n))) {
            std::fprintf(stderr, "chunk %zu joined early\n", n);
            return 1;
        }
    }
    const auto stored = Clock::now();
    const MessagePtr joined = store.join(transfer.message(transfer.chunks()));
    const auto end = Clock::now();

    const fs::path file = store.directory() / "bench" / "document.bin";
    if (!joined || fs::file_size(file) != fileSize) {
        std::fprintf(stderr, "join failed\n");
        return 1;
    }
    const double peak = peakRssMiB();
    const double megabytes = static_cast<double>(transfer.textBytes()) / 1e6;
    std::printf("mode: %s, file %zu MiB in %zu chunks, %.1f MB of base64 text\n",
                transferEncoding ? "transfer" : "content", fileSize / MiB, transfer.chunks(),
                megabytes);
    std::printf("store %.2f s, join %.2f s, total %.2f s: %.0f MB/s\n", seconds(stored - start),
                seconds(end - stored), seconds(end - start), megabytes / seconds(end - start));
    std::printf("peak RSS: baseline %.1f MiB, peak %.1f MiB, %.1f MiB above baseline\n", baseline,
                peak, peak - baseline);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (staged_program::tree().empty()) {
        return staged_program::runStaged(
            argc, argv,
            {{"config.json", R"({"format":{"type":"core","category":"zorva.plugin"}})"}});
    }
    return run(argc > 1 && std::string(argv[1]) == "transfer");
}
