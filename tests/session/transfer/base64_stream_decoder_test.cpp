#include "base64_stream_decoder.h"

#include "base64.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::base64::DecodeError;
using zorva::plugin::base64::StreamDecoder;
namespace base64 = zorva::plugin::base64;

std::string decodeInPieces(const std::string& text, const std::vector<std::size_t>& cuts) {
    std::ostringstream out;
    StreamDecoder decoder(out);
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        decoder.write(text.data() + from, cut - from);
        from = cut;
    }
    decoder.write(text.data() + from, text.size() - from);
    decoder.finish();
    return out.str();
}

}  // namespace

// Every way of cutting a text in three pieces gives what decoding it whole gives.
TEST(Base64StreamDecoder, AnyCutsDecodeLikeTheWholeText) {
    const std::string texts[] = {
        "VGhlIHF1aWNrIGJyb3duIGZveA==", "VGhlIHF1aWNrIGJyb3du", "QUI=QUJD", "QUJ", "Q", "",
    };
    for (const std::string& text : texts) {
        const std::string whole = base64::decode(text);
        for (std::size_t first = 0; first <= text.size(); ++first) {
            for (std::size_t second = first; second <= text.size(); ++second) {
                EXPECT_EQ(decodeInPieces(text, {first, second}), whole)
                    << text << " cut at " << first << ", " << second;
            }
        }
    }
}

TEST(Base64StreamDecoder, CharacterOutsideTheAlphabetFailsWhereverItIs) {
    const std::string texts[] = {"QUJD\nQUJD", "QUJDQUJ-", "QUJDQ*", "Q\n=="};
    for (const std::string& text : texts) {
        for (std::size_t cut = 0; cut <= text.size(); ++cut)
            EXPECT_THROW(decodeInPieces(text, {cut}), DecodeError) << text << " cut at " << cut;
    }
}

TEST(Base64StreamDecoder, CharactersAfterTheFirstPaddingInAnyLaterPieceAreIgnored) {
    EXPECT_EQ(decodeInPieces("QUI=QUJD-not base64", {2, 4, 6}), "AB");
}

// Bytes handed over for whole groups of text decode as that text would,
// between groups, inside one, or after the padding that ended the text.
TEST(Base64StreamDecoder, DecodedGroupsJoinLikeTheirText) {
    const std::string groups = "REVGR0hJ";
    const std::string bytes = base64::decode(groups);
    const std::string before[] = {"", "QUJD", "QUJ", "Q", "QQ=="};
    for (const std::string& text : before) {
        std::ostringstream out;
        StreamDecoder decoder(out);
        decoder.write(text.data(), text.size());
        decoder.writeDecoded(bytes.data(), bytes.size());
        decoder.write("Sks=", 4);
        decoder.finish();

        EXPECT_EQ(out.str(), base64::decode(text + groups + "Sks=")) << text;
    }
}
