#include "base64.h"

#include <gtest/gtest.h>

#include <boost/exception/errinfo_nested_exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/exception_ptr.hpp>

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace base64 = zorva::plugin::base64;

namespace {

const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Vector {
    std::string bytes;
    std::string text;
};

// RFC 4648, section 10.
const std::vector<Vector> rfc4648 = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

// Runs decode and returns the DecodeError it raised; fails the test otherwise.
base64::DecodeError decodeError(const std::string& text) {
    try {
        base64::decode(text);
    } catch (const base64::DecodeError& error) {
        return error;
    }
    ADD_FAILURE() << "no DecodeError for \"" << text << "\"";
    return base64::DecodeError();
}

}  // namespace

TEST(Base64, EncodesRfc4648Vectors) {
    for (const auto& v : rfc4648) {
        EXPECT_EQ(base64::encode(v.bytes), v.text) << "bytes \"" << v.bytes << "\"";
    }
}

TEST(Base64, DecodesRfc4648VectorsPaddedAndUnpadded) {
    for (const auto& v : rfc4648) {
        const std::string unpadded = v.text.substr(0, v.text.find('='));
        EXPECT_EQ(base64::decode(v.text), v.bytes) << "text \"" << v.text << "\"";
        EXPECT_EQ(base64::decode(unpadded), v.bytes) << "text \"" << unpadded << "\"";
    }
}

TEST(Base64, EncodingTwoBytesGivesFourCharactersEndingInOnePad) {
    const std::string text = base64::encode(std::string("AB"));
    EXPECT_EQ(text, "QUI=");
}

TEST(Base64, EncodesEveryByteValue) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    const std::string text = base64::encode(bytes);
    EXPECT_EQ(text.size(), 344u);
    EXPECT_EQ(text.substr(0, 8), "AAECAwQF");
    EXPECT_EQ(text.substr(text.size() - 8), "/P3+/w==");
    EXPECT_EQ(base64::decode(text), bytes);
}

TEST(Base64, EndsAtTheFirstPadCharacter) {
    // base64("AB") followed by base64("ABC"): everything after the first "=" is ignored.
    const std::string text = base64::encode(std::string("AB")) + base64::encode(std::string("ABC"));
    ASSERT_EQ(text, "QUI=QUJD");
    EXPECT_EQ(base64::decode(text), "AB");
}

TEST(Base64, IgnoresInvalidCharactersAfterTheFirstPad) {
    EXPECT_EQ(base64::decode(std::string("Zm8=\n !!")), "fo");
    EXPECT_EQ(base64::decode(std::string("=QUJD")), "");
}

TEST(Base64, SingleFinalCharacterGivesNoByte) {
    // 6 bits make no byte: leftover bits are dropped.
    EXPECT_EQ(base64::decode(std::string("Zm9vY")), "foo");
    EXPECT_EQ(base64::decode(std::string("Z")), "");
}

TEST(Base64, LineBreakRaisesDecodeErrorWithNestedCause) {
    const base64::DecodeError error = decodeError("Zm9v\nYmFy");

    // Generic category, illegal byte sequence: 42 in the description (MSVC's
    // EILSEQ), EILSEQ of this platform here.
    EXPECT_EQ(error.code(), std::errc::illegal_byte_sequence);
    EXPECT_EQ(&error.code().category(), &std::generic_category());
    EXPECT_EQ(error.code().value(), EILSEQ);

    const boost::exception_ptr* nested =
        boost::get_error_info<boost::errinfo_nested_exception>(error);
    ASSERT_NE(nested, nullptr);
    try {
        boost::rethrow_exception(*nested);
        FAIL() << "nested exception not rethrown";
    } catch (const std::invalid_argument& cause) {
        EXPECT_STREQ(cause.what(), "attempt to decode a value not in base64 char set");
    }
}

TEST(Base64, DecodeErrorRecordsTheOperation) {
    const base64::DecodeError error = decodeError("-");
    const char* const* function = boost::get_error_info<boost::throw_function>(error);
    ASSERT_NE(function, nullptr);
    EXPECT_STREQ(*function, "decode");
    EXPECT_NE(boost::get_error_info<boost::throw_file>(error), nullptr);
}

TEST(Base64, DecodeErrorIsASystemError) {
    EXPECT_THROW(base64::decode(std::string("Zm 9v")), std::system_error);
    EXPECT_THROW(base64::decode(std::string("Zm 9v")), boost::exception);
}

TEST(Base64, EveryCharacterOutsideTheAlphabetRaisesDecodeError) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        if (ch == '=' || alphabet.find(ch) != std::string::npos) continue;
        // In every position of a group, and alone.
        for (std::size_t position = 0; position < 4; ++position) {
            std::string text = "QUJDQUJD";
            text[4 + position] = ch;
            EXPECT_THROW(base64::decode(text), base64::DecodeError)
                << "byte " << c << " at position " << position;
        }
        EXPECT_THROW(base64::decode(std::string(1, ch)), base64::DecodeError) << "byte " << c;
    }
}

TEST(Base64, EveryAlphabetCharacterDecodes) {
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        const std::string text = std::string("AAA") + alphabet[i];
        const std::string bytes = base64::decode(text);
        ASSERT_EQ(bytes.size(), 3u);
        EXPECT_EQ(static_cast<unsigned char>(bytes[2]), i) << alphabet[i];
    }
}

TEST(Base64, TwoDecodingsInARowAreIndependent) {
    EXPECT_EQ(base64::decode(std::string("QUI=")), "AB");
    EXPECT_EQ(base64::decode(std::string("Zm9vYmFy")), "foobar");
}

TEST(Base64, ExtraCharactersAreStrippedBeforeDecoding) {
    EXPECT_EQ(base64::decode(std::string("Zm9v\r\nYmFy\r\n"), "\r\n"), "foobar");
    // Removal comes before the interrupter: a stripped "=" does not end the input.
    EXPECT_EQ(base64::decode(std::string("Zm9v=YmFy"), "="), "foobar");
    EXPECT_THROW(base64::decode(std::string("Zm9v YmFy"), "\r\n"), base64::DecodeError);
}

TEST(Base64, EmbeddedNulIsOutsideTheAlphabet) {
    EXPECT_THROW(base64::decode(std::string("QU\0J", 4)), base64::DecodeError);
}

TEST(Base64, LargeRandomDataRoundTrips) {
    std::mt19937_64 random(20240501);
    for (std::size_t length :
         {std::size_t{1} << 20, (std::size_t{1} << 20) + 1, (std::size_t{1} << 20) + 2}) {
        std::string bytes(length, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        const std::string text = base64::encode(bytes);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        EXPECT_EQ(text.find_first_not_of(alphabet + "="), std::string::npos);
        EXPECT_EQ(base64::decode(text), bytes) << "length " << length;
    }
}

TEST(Base64, DecoderConverterDecodesTheWholeArgument) {
    const base64::converter::Decoder decoder;
    const base64::converter::IConverter& converter = decoder;
    const std::string text = "Zm9vYmFy";
    EXPECT_EQ(converter.convert(text.data(), text.size()), "foobar");
    EXPECT_THROW(converter.convert("Zm9v\n", 5), base64::DecodeError);
}
