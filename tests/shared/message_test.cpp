#include <gtest/gtest.h>

#include <regex>

#include "message.h"
#include "message_reply.h"

namespace {

using zorva::plugin::format::Message;

Message read(const std::string& text) { return json_dto::from_json<Message>(text); }

std::string readError(const std::string& text) {
    try {
        read(text);
    } catch (const json_dto::ex_t& error) {
        return error.what();
    }
    return "no error";
}

const std::string minimal =
    R"({"id":"1","module":{"type":"m","version":"v"},"method":{"type":"x"}})";

std::string withMeta(const std::string& meta) {
    return minimal.substr(0, minimal.size() - 1) + R"(,"meta":)" + meta + "}";
}

std::string frame(const char* key) { return std::string("error reading field \"") + key + "\": "; }

struct FailureCase {
    std::string input;
    std::string expected;
};

class MessageReadFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(MessageReadFailure, ReportsFramedText) {
    EXPECT_EQ(readError(GetParam().input), GetParam().expected);
}

const std::string missing = "mandatory field doesn't exist";
const std::string isNull = "non nullable field is null";
const std::string notString = "value is not std::string";

INSTANTIATE_TEST_SUITE_P(
    EveryFailureKind, MessageReadFailure,
    testing::Values(
        FailureCase{"{}", frame("id") + missing},
        FailureCase{"[]", frame("id") +
                              "unable to extract field \"id\": parent json type must be object"},
        FailureCase{R"({"id":"1"})", frame("module") + missing},
        FailureCase{R"({"id":"1","module":{"version":"v"},"method":{"type":"x"}})",
                    frame("module") + frame("type") + missing},
        FailureCase{R"({"id":"1","module":{"type":"m"},"method":{"type":"x"}})",
                    frame("module") + frame("version") + missing},
        FailureCase{R"({"id":"1","module":{"type":"m","version":"v"}})",
                    frame("method") + missing},
        FailureCase{R"({"id":"1","module":{"type":"m","version":"v"},"method":{}})",
                    frame("method") + frame("type") + missing},
        FailureCase{R"({"id":null})", frame("id") + isNull},
        FailureCase{R"({"id":5})", frame("id") + notString},
        FailureCase{R"({"id":"1","module":5})",
                    frame("module") + frame("type") +
                        "unable to extract field \"type\": parent json type must be object"},
        FailureCase{minimal.substr(0, minimal.size() - 1) + R"(,"error":null})",
                    frame("error") + isNull},
        FailureCase{minimal.substr(0, minimal.size() - 1) + R"(,"code":[]})",
                    frame("code") + notString},
        FailureCase{withMeta("{}"), frame("meta") + frame("format") + missing},
        FailureCase{withMeta(R"({"format":{}})"),
                    frame("meta") + frame("format") + frame("type") + missing},
        FailureCase{withMeta(R"({"format":{"type":""},"chunk":3})"),
                    frame("meta") + frame("chunk") + notString},
        FailureCase{withMeta(R"({"format":{"type":""},"routes":{}})"),
                    frame("meta") + frame("routes") +
                        "value can't be deserialized into std::set-like container!"},
        FailureCase{withMeta(R"({"format":{"type":""},"routes":[1]})"),
                    frame("meta") + frame("routes") + frame("node") +
                        "unable to extract field \"node\": parent json type must be object"},
        FailureCase{withMeta(R"({"format":{"type":""},"profile":[]})"),
                    frame("meta") + frame("profile") +
                        "value can't be deserialized into std::map-like container!"},
        FailureCase{withMeta(R"({"format":{"type":""},"data":{"a":1}})"),
                    frame("meta") + frame("data") + notString},
        FailureCase{withMeta(R"({"format":{"type":""},"content":null})"),
                    frame("meta") + frame("content") + isNull},
        FailureCase{minimal + "x",
                    "JSON parse error: 'The document root must not be followed by other "
                    "values.' (offset: " +
                        std::to_string(minimal.size()) + ")"},
        FailureCase{R"({"id":"1",})",
                    "JSON parse error: 'Missing a name for object member.' (offset: 10)"},
        FailureCase{"", "JSON parse error: 'The document is empty.' (offset: 0)"},
        FailureCase{minimal + "//", "JSON parse error: 'The document root must not be followed "
                                    "by other values.' (offset: " +
                                        std::to_string(minimal.size()) + ")"}));

TEST(MessageRecord, MinimalRequestWritesEveryKeyInOrder) {
    EXPECT_EQ(json_dto::to_json(read(minimal)),
              R"({"id":"1","module":{"type":"m","version":"v"},"method":{"type":"x","data":"",)"
              R"("result":""},"error":"","code":"","errorMessage":"","node":"","mode":"",)"
              R"("meta":{"format":{"type":"","version":"","category":"","description":""},)"
              R"("id":"","protocol":{"type":"","version":"","category":"","description":""},)"
              R"("content":{"type":"","charset":"","transferEncoding":""},"routes":[],)"
              R"("profile":{},"data":{},"userAgent":"","chunk":"","chunks":""}})");
}

TEST(MessageRecord, AlgorithmsRequestWritesKeyByKey) {
    Message request;
    request.id = "id";
    request.module.type = "crypto";
    request.method.type = "algorithms";
    request.method.data = "provider";
    EXPECT_EQ(json_dto::to_json(request),
              R"({"id":"id","module":{"type":"crypto","version":""},)"
              R"("method":{"type":"algorithms","data":"provider","result":""},)"
              R"("error":"","code":"","errorMessage":"","node":"","mode":"",)"
              R"("meta":{"format":{"type":"","version":"","category":"","description":""},)"
              R"("id":"","protocol":{"type":"","version":"","category":"","description":""},)"
              R"("content":{"type":"","charset":"","transferEncoding":""},"routes":[],)"
              R"("profile":{},"data":{},"userAgent":"","chunk":"","chunks":""}})");
}

TEST(MessageRecord, RoutesAreOrderedByTimeTextThenNodeAndDeduplicated) {
    const Message message = read(withMeta(
        R"({"format":{"type":""},"routes":[{"node":"b","time":"02.01.2024, 10:00:00"},)"
        R"({"node":"a","time":"01.02.2024, 10:00:00"},{"node":"b","time":"02.01.2024, 10:00:00"},)"
        R"({"node":"a","time":"02.01.2024, 10:00:00"}]})"));
    std::vector<std::string> order;
    for (const auto& route : message.meta.routes) order.push_back(route.time + "/" + route.node);
    EXPECT_EQ(order, (std::vector<std::string>{"01.02.2024, 10:00:00/a",
                                               "02.01.2024, 10:00:00/a",
                                               "02.01.2024, 10:00:00/b"}));
}

TEST(MessageRecord, FirstOccurrenceOfADuplicateKeyWinsInRecordsAndMaps) {
    const Message message = read(
        R"({"id":"first","id":"second","module":{"type":"m","version":"v"},"method":{"type":"x"},)"
        R"("meta":{"format":{"type":""},"data":{"b":"1","a":"2","a":"3"}}})");
    EXPECT_EQ(message.id, "first");
    EXPECT_EQ(json_dto::to_json(message.meta.data), R"({"a":"2","b":"1"})");
}

TEST(MessageRecord, UnknownKeysAreIgnoredAtEveryLevel) {
    const Message message = read(
        R"({"extra":1,"id":"1","module":{"type":"m","version":"v","x":null},)"
        R"("method":{"type":"x","y":[]},"meta":{"format":{"type":"t","z":{}},"w":5}})");
    EXPECT_EQ(message.meta.format.type, "t");
}

TEST(MessageRecord, StringIsCutAtEmbeddedNul) {
    const Message message = read(R"({"id":"ab\u0000cd","module":{"type":"m","version":"v"},)"
                                 R"("method":{"type":"x"}})");
    EXPECT_EQ(message.id, "ab");
}

TEST(MessageRecord, NonAsciiAndControlCharactersRoundTrip) {
    Message message = read(minimal);
    message.error = "Ошибка \"q\" \\ \n\t\x01";
    const Message again = read(json_dto::to_json(message));
    EXPECT_EQ(again.error, message.error);
    EXPECT_NE(json_dto::to_json(message).find("Ошибка"), std::string::npos);
}

// The bound lets a reply skip being written out to be measured, so it must
// hold for the texts that escape longest, in every kind of field.
TEST(MessageRecord, SizeBoundIsNeverBelowTheWrittenText) {
    const std::string texts[] = {"", "plain", std::string(300, '\x01'), "\"\\\"\\",
                                 "Ошибка \n\t\x1f"};
    for (const std::string& text : texts) {
        Message message = read(minimal);
        message.error = message.method.result = text;
        message.meta.data[text] = text;
        message.meta.routes.insert({text, text});
        message.meta.routes.insert({"second", text});

        EXPECT_GE(json_dto::size_bound(message), json_dto::to_json(message).size()) << text;
    }
}

TEST(MessageRecord, RouteTimeHasDayMonthYearAndClock) {
    EXPECT_TRUE(std::regex_match(zorva::plugin::format::routeTime(),
                                 std::regex(R"(\d\d\.\d\d\.\d{4}, \d\d:\d\d:\d\d)")));
}

}  // namespace

namespace {

TEST(MessageReply, CopiesIdentityAndEchoedMetaAndAddsThisHostsRoute) {
    Message request = read(withMeta(
        R"({"format":{"type":"page"},"id":"u","protocol":{"type":"ws","version":"1",)"
        R"("category":"protocol","description":"d"},"content":{"transferEncoding":"base64"},)"
        R"("routes":[{"node":"page","time":"01.01.2024, 00:00:00"}],"profile":{"p":"1"},)"
        R"("data":{"messageLog":""},"chunk":"2","chunks":"3"})"));
    request.node = "n";
    request.mode = "debug";
    request.error = "e";
    request.errorMessage = "em";
    request.method.data = "payload";
    request.method.result = "r";

    const auto reply = zorva::plugin::format::replyFrom(request);

    EXPECT_EQ(reply->id, "1");
    EXPECT_EQ(reply->node, "n");
    EXPECT_EQ(reply->mode, "debug");
    EXPECT_EQ(reply->error, "e");
    EXPECT_EQ(reply->code, "0");
    EXPECT_EQ(reply->errorMessage, "");
    EXPECT_EQ(reply->module.type, "m");
    EXPECT_EQ(reply->method.type, "x");
    EXPECT_EQ(reply->method.data + reply->method.result, "");
    EXPECT_EQ(json_dto::to_json(reply->meta.protocol), json_dto::to_json(request.meta.protocol));
    EXPECT_EQ(reply->meta.profile, request.meta.profile);
    EXPECT_EQ(reply->meta.data, request.meta.data);
    EXPECT_EQ(reply->meta.format.type + reply->meta.id + reply->meta.chunk + reply->meta.chunks +
                  reply->meta.content.transferEncoding,
              "");
    EXPECT_EQ(reply->meta.userAgent.rfind("{\"user\":", 0), 0u);
    ASSERT_EQ(reply->meta.routes.size(), 2u);
    EXPECT_EQ(reply->meta.routes.rbegin()->node, "plugin");
}

}  // namespace
