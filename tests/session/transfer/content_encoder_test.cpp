#include "content_encoder.h"

#include "base64.h"
#include "message.h"

#include <gtest/gtest.h>

#include <string>

using zorva::plugin::ContentEncoderPtr;
using zorva::plugin::findContentEncoder;
using zorva::plugin::MessageContentEncoderAdapter;
using zorva::plugin::format::Message;

namespace {

Message request(const std::string& encoding, const std::string& data) {
    Message m;
    m.id = "1";
    m.module.type = "system";
    m.method.type = "echo";
    m.method.data = data;
    m.meta.content.transferEncoding = encoding;
    return m;
}

// A reply is built from the request without "meta"."content": its encoding
// name starts empty.
Message reply(const std::string& result) {
    Message m;
    m.id = "1";
    m.method.result = result;
    return m;
}

}  // namespace

TEST(ContentEncoderRegistry, FindsRegisteredEncodersByExactName) {
    const ContentEncoderPtr base64 = findContentEncoder("base64");
    const ContentEncoderPtr binary = findContentEncoder("binary");
    ASSERT_TRUE(base64);
    ASSERT_TRUE(binary);
    EXPECT_EQ(base64->name(), "base64");
    EXPECT_EQ(binary->name(), "binary");
    // One registered instance per name.
    EXPECT_EQ(findContentEncoder("base64"), base64);
    EXPECT_EQ(findContentEncoder("binary"), binary);
}

TEST(ContentEncoderRegistry, EmptyNameGivesANewBinaryEncoder) {
    const ContentEncoderPtr first = findContentEncoder("");
    const ContentEncoderPtr second = findContentEncoder(std::string());
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->name(), "binary");
    EXPECT_NE(first, second);
    EXPECT_NE(first, findContentEncoder("binary"));
}

TEST(ContentEncoderRegistry, UnknownNamesGiveNoEncoder) {
    for (const char* name : {"BASE64", "Base64", "base64 ", "Binary", "gzip", "utf-8"}) {
        EXPECT_FALSE(findContentEncoder(name)) << name;
        EXPECT_FALSE(MessageContentEncoderAdapter::create(name)) << name;
    }
}

TEST(ContentEncoderRegistry, LengthBoundsTheName) {
    EXPECT_TRUE(findContentEncoder("base64xyz", 6));
    EXPECT_FALSE(findContentEncoder("base", 4));
}

TEST(ContentEncoder, EncodesAndDecodesByName) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"binary", "any \n data =", "any \n data ="},
        {"binary", std::string("\0\xFF", 2), std::string("\0\xFF", 2)},
        {"base64", "AB", "QUI="},
        {"base64", "foobar", "Zm9vYmFy"},
        {"base64", "", ""},
    };
    for (const auto& c : cases) {
        const ContentEncoderPtr encoder = findContentEncoder(c.name);
        ASSERT_TRUE(encoder) << c.name;
        EXPECT_EQ(encoder->encode(c.bytes.data(), c.bytes.size()), c.text) << c.name;
        EXPECT_EQ(encoder->decode(c.text.data(), c.text.size()), c.bytes) << c.name;
    }
}

// What one adapter does to a request's data and to its reply's result.
TEST(ContentEncoderAdapter, RequestIsDecodedToBinaryAndItsReplyEncodedAsTheRequestCame) {
    struct Case {
        const char* encoding;
        const char* data;
        const char* result;
        const char* decodedData;
        const char* encodedResult;
        const char* replyEncoding;
    };
    const Case cases[] = {
        {"binary",
         "not base64 at all \n=", "result \n=", "not base64 at all \n=", "result \n=", "binary"},
        {"", "plain data", "plain result", "plain data", "plain result", "binary"},
        {"base64", "Zm9vYmFy", "AB", "foobar", "QUI=", "base64"},
    };
    for (const Case& c : cases) {
        const auto adapter = MessageContentEncoderAdapter::create(c.encoding);
        ASSERT_TRUE(adapter) << c.encoding;
        Message in = request(c.encoding, c.data);
        adapter->decodeRequest(in);
        Message out = reply(c.result);
        adapter->encodeReply(out);

        EXPECT_EQ(in.method.data, c.decodedData) << c.encoding;
        EXPECT_EQ(in.meta.content.transferEncoding, "binary") << c.encoding;
        EXPECT_EQ(out.method.result, c.encodedResult) << c.encoding;
        EXPECT_EQ(out.meta.content.transferEncoding, c.replyEncoding) << c.encoding;
    }
}

TEST(ContentEncoderAdapter, EmptyResultEncodesToEmptyBase64) {
    const auto adapter = MessageContentEncoderAdapter::create("base64");
    ASSERT_TRUE(adapter);
    Message out = reply("");

    adapter->encodeReply(out);

    EXPECT_EQ(out.method.result, "");
    EXPECT_EQ(out.meta.content.transferEncoding, "base64");
}

TEST(ContentEncoderAdapter, ReplyAlreadyInTheEncodingIsLeftAlone) {
    const auto adapter = MessageContentEncoderAdapter::create("base64");
    ASSERT_TRUE(adapter);
    Message out = reply("QUI=");
    out.meta.content.transferEncoding = "base64";

    adapter->encodeReply(out);

    EXPECT_EQ(out.method.result, "QUI=");
}

TEST(ContentEncoderAdapter, RequestAlreadyBinaryIsLeftAlone) {
    const auto adapter = MessageContentEncoderAdapter::create("base64");
    ASSERT_TRUE(adapter);
    Message in = request("binary", "not base64 \n");

    adapter->decodeRequest(in);

    EXPECT_EQ(in.method.data, "not base64 \n");
}

TEST(ContentEncoderAdapter, MalformedBase64DataRaisesDecodeError) {
    const auto adapter = MessageContentEncoderAdapter::create("base64");
    ASSERT_TRUE(adapter);
    Message in = request("base64", "Zm9v\nYmFy");

    EXPECT_THROW(adapter->decodeRequest(in), zorva::plugin::base64::DecodeError);
}
