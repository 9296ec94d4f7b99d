#include "ucs2le.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ucs2le = zorva::plugin::ucs2le;

namespace {

struct Case {
    const char* name;
    std::string utf8;
    std::string utf16le;
};

const std::vector<Case> cases = {
    {"Empty", "", ""},
    {"LatinA", "A", std::string("\x41\x00", 2)},
    {"CyrillicZhe", "\xD0\x96", "\x16\x04"},
    {"Mixed", "A\xD0\x96", std::string("\x41\x00\x16\x04", 4)},
    {"EmojiAsSurrogatePair", "\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4)},
    {"LastPlaneOneCharacter", "\xF4\x8F\xBF\xBF", "\xFF\xDB\xFF\xDF"},
    {"InvalidByteBecomesReplacement", "a\xFFz", std::string("a\x00\xFD\xFFz\x00", 6)},
    {"TruncatedSequenceKeepsWhatFollows", "a\xC3z", std::string("a\x00\xFD\xFFz\x00", 6)},
    {"OverlongSlashIsInvalid", "\xC0\xAF", "\xFD\xFF\xFD\xFF"},
    {"EncodedSurrogateIsInvalid", "\xED\xA0\x80", "\xFD\xFF\xFD\xFF\xFD\xFF"},
    {"EmbeddedNulIsKept", std::string("a\0b", 3), std::string("a\x00\x00\x00\x62\x00", 6)},
    // QString::fromUtf8 drops a byte-order mark at the start, keeps one elsewhere.
    {"LeadingUtf8BomIsDropped", "\xEF\xBB\xBF\x41", std::string("\x41\x00", 2)},
    {"InnerUtf8BomIsKept", "A\xEF\xBB\xBF", std::string("\x41\x00\xFF\xFE", 4)},
};

}  // namespace

TEST(Ucs2le, EncodesUtf8AsUtf16LittleEndian) {
    for (const auto& c : cases) {
        EXPECT_EQ(ucs2le::encode(c.utf8), c.utf16le) << c.name;
    }
}

TEST(Ucs2le, WritesNoByteOrderMark) {
    const std::string out = ucs2le::encode(std::string("A"));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out.substr(0, 2), "\xFF\xFE");
}

TEST(Ucs2le, EncoderConverterConvertsTheWholeArgument) {
    const ucs2le::converter::Encoder encoder;
    const ucs2le::converter::IConverter& converter = encoder;
    const std::string text = "\xD0\x96\xD0\x96";
    EXPECT_EQ(converter.convert(text.data(), text.size()), "\x16\x04\x16\x04");
}
