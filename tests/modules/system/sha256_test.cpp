#include <gtest/gtest.h>

#include "sha256.h"

#include <QCryptographicHash>

#include <string>

namespace {

using zorva::plugin::module::Sha256;

std::string sha256Of(const std::string& bytes, std::size_t piece) {
    Sha256 hash;
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece)
        hash.addData(bytes.data() + offset, std::min(piece, bytes.size() - offset));
    return hash.hexResult();
}

TEST(Sha256, KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, digest] : cases) {
        SCOPED_TRACE(bytes.size());
        EXPECT_EQ(sha256Of(bytes, 4096), digest);
    }
}

// Every length around the block and padding boundaries, fed whole and in
// pieces that straddle blocks, against Qt's implementation.
TEST(Sha256, AgreesWithQtForEveryLengthAndFeeding) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i * 37 + 11);
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        const std::string message = bytes.substr(0, length);
        const std::string expected =
            QCryptographicHash::hash(QByteArray::fromStdString(message), QCryptographicHash::Sha256)
                .toHex()
                .toStdString();
        for (std::size_t piece : {std::size_t(1), std::size_t(63), std::size_t(65), length + 1}) {
            SCOPED_TRACE(std::to_string(length) + " in pieces of " + std::to_string(piece));
            EXPECT_EQ(sha256Of(message, piece), expected);
        }
    }
}

}  // namespace
