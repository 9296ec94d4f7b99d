// The byte work an upload of one embedded file in 1 MiB base64 chunks plus
// "digest" cannot do without, on one core, with nothing of the protocol
// around it: each chunk's text written to a file of its own and hashed with
// MD5 (the running checksum), decoded by the project's codec and written to
// the joined file, whose bytes get MD5 and SHA-256 (what "digest" answers).
// The file is the one `ws_bench upload` sends. Prints MB/s of base64 text,
// the limit the host's upload is measured against, and where the time went.
//
//   upload_limit_bench <directory on the disk of the host's data> <MiB>
#include "base64.h"
#include "evp_digest.h"

#include <openssl/evp.h>

#include <boost/filesystem.hpp>
#include <boost/filesystem/fstream.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using zorva::plugin::EvpDigest;
using Clock = std::chrono::steady_clock;

enum Step { WriteText, HashText, Decode, WriteFile, HashFile, Steps };
constexpr const char* stepNames[Steps] = {"write chunk text", "MD5 of chunk text", "decode",
                                          "write file", "MD5 and SHA-256 of file"};

// 768 KiB of random bytes, whose base64 text is exactly 1 MiB, repeated; a
// shorter tail block ends the file. The chunks point to two texts, so the
// measurement's own memory stays small.
struct ChunkTexts {
    std::string full;
    std::string tail;
    std::vector<const std::string*> chunks;
};

ChunkTexts chunkTexts(int mebibytes) {
    std::mt19937 random(42);
    std::string block(768 * 1024, '\0');
    for (auto& byte : block) byte = static_cast<char>(random());
    const std::int64_t size = std::int64_t(mebibytes) * 1024 * 1024;
    ChunkTexts texts{zorva::plugin::base64::encode(block),
                     zorva::plugin::base64::encode(block.data(), size % block.size()),
                     {}};
    texts.chunks.assign(size / block.size(), &texts.full);
    if (!texts.tail.empty()) texts.chunks.push_back(&texts.tail);
    return texts;
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

int measure(const fs::path& directory, int mebibytes) {
    const ChunkTexts texts = chunkTexts(mebibytes);
    const fs::path work = directory / fs::unique_path("upload-limit-%%%%%%%%");
    fs::create_directories(work);
    EvpDigest textMd5(EVP_md5()), fileMd5(EVP_md5()), fileSha256(EVP_sha256());
    fs::ofstream joined(work / "joined", std::ios::binary);
    std::string bytes;
    std::array<double, Steps> seconds{};
    double text = 0;

    const auto start = Clock::now();
    auto last = start;
    const auto lap = [&](Step step) {
        const auto now = Clock::now();
        seconds[step] += std::chrono::duration<double>(now - last).count();
        last = now;
    };
    for (std::size_t i = 0; i < texts.chunks.size(); ++i) {
        const std::string& chunk = *texts.chunks[i];
        writeFile(work / std::to_string(i), chunk);
        lap(WriteText);
        textMd5.addData(chunk.data(), chunk.size());
        lap(HashText);
        zorva::plugin::base64::decodeTo(chunk.data(), chunk.size(), bytes);
        lap(Decode);
        joined.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        lap(WriteFile);
        fileMd5.addData(bytes.data(), bytes.size());
        fileSha256.addData(bytes.data(), bytes.size());
        lap(HashFile);
        text += chunk.size();
    }
    joined.close();
    lap(WriteFile);
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove_all(work);

    std::printf(
        "byte-work limit for %d MiB (%.1f MB of base64 text in %zu chunks), one core: %.2f s, "
        "%.1f MB/s of base64 text\n",
        mebibytes, text / 1e6, texts.chunks.size(), total, text / 1e6 / total);
    std::printf("  per 1 MiB of base64 text:");
    for (int step = 0; step < Steps; ++step)
        std::printf("%s %s %.2f ms", step ? "," : "", stepNames[step],
                    seconds[step] * 1e3 / (text / 1048576));
    std::printf("\n  digest: md5 %s, sha256 %s\n", fileMd5.hexResult().c_str(),
                fileSha256.hexResult().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: upload_limit_bench <directory> <MiB>\n";
        return 2;
    }
    try {
        return measure(argv[1], std::stoi(argv[2]));
    } catch (const std::exception& error) {
        std::cerr << "upload_limit_bench: " << error.what() << "\n";
        return 1;
    }
}
