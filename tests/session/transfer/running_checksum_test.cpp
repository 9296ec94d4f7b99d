// The running checksum of embedded files, whose larger chunks are hashed on a
// thread of the table's own while the next chunk is stored.

#include "running_checksum.h"
#include "evp_digest.h"

#include <openssl/evp.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::EvpDigest;
using zorva::plugin::RunningChecksums;

std::string md5Of(const std::string& text) {
    EvpDigest md5(EVP_md5());
    md5.addData(text.data(), text.size());
    return md5.hexResult();
}

// The opening of a description that names its checksum before the content.
const std::string opening = R"({"hash":{"algorithm":"MD5","value":"x"},"content":")";

// Texts around the size from which the table hashes in the background.
std::string text(char fill, std::size_t size) { return std::string(size, fill); }

}  // namespace

TEST(RunningChecksums, InterleavedFilesOfSmallAndLargeChunksGetTheMd5OfAllButTheirEnds) {
    const std::vector<std::pair<std::string, std::string>> feeds = {
        {"u1", opening},          {"u2", opening},
        {"u1", text('a', 70000)}, {"u2", text('b', 10)},
        {"u1", text('c', 65536)}, {"u2", text('d', 200000)},
        {"u1", text('e', 65535)}, {"u2", text('f', 1000000)},
        {"u1", "closing}"},       {"u2", "closing}"},
    };
    RunningChecksums checksums;
    std::map<std::string, std::vector<std::string>> fed;
    for (const auto& [uuid, piece] : feeds) {
        checksums.feed(uuid, piece);
        fed[uuid].push_back(piece);
    }

    for (auto& [uuid, pieces] : fed) {
        std::string content;
        for (std::size_t i = 1; i + 1 < pieces.size(); ++i) content += pieces[i];

        EXPECT_EQ(checksums.take(uuid), md5Of(content)) << uuid;
    }
    EXPECT_EQ(checksums.pendingBytes(), 0u);
    EXPECT_EQ(checksums.take("u1"), "");
}

TEST(RunningChecksums, TextsHeldOrBeingHashedCountUntilTheirFileIsForgotten) {
    RunningChecksums checksums;
    checksums.feed("u", opening);
    checksums.feed("u", text('a', 100000));
    EXPECT_EQ(checksums.pendingBytes(), 100000u);

    checksums.feed("u", text('b', 70000));
    EXPECT_EQ(checksums.pendingBytes(), 170000u);

    checksums.forget("u");
    EXPECT_EQ(checksums.pendingBytes(), 0u);
}

TEST(RunningChecksums, ContentOfAFileWhoseOpeningNamesNoHashIsNotAddedUp) {
    RunningChecksums checksums;
    checksums.feed("u", R"({"id":"u","content":")");
    checksums.feed("u", text('a', 100000));
    checksums.feed("u", text('b', 100000));
    EXPECT_EQ(checksums.pendingBytes(), 0u);

    EXPECT_EQ(checksums.take("u"), std::nullopt);
    EXPECT_EQ(checksums.take("u"), "");
}
