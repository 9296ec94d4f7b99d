#include <gtest/gtest.h>

#include "message.h"

#include <string>
#include <vector>

namespace {

using zorva::plugin::format::Message;

const std::string request =
    R"({"id":"7","module":{"type":"system","version":"1"},"method":{"type":"echo","data":"x"},)"
    R"("node":"n","meta":{"format":{"type":"page"},"id":"u","protocol":{"type":"ws"},)"
    R"("content":{"transferEncoding":"base64"},"routes":[{"node":"a","time":"t"}],)"
    R"("profile":{"p":"1"},"data":{"d":"2"},"chunk":"1","chunks":"2"}})";

// Reading either succeeds or fails with the binding exception: nothing else
// escapes, whatever the page sends.
enum class Outcome { Record, BindingError };

Outcome readOutcome(const std::string& text, std::string* error = nullptr) {
    try {
        json_dto::from_json<Message>(text);
        return Outcome::Record;
    } catch (const json_dto::ex_t& caught) {
        if (error) *error = caught.what();
        return Outcome::BindingError;
    }
}

// ASCII text is scanned many bytes at a time from a buffer with room past its
// end, byte by byte from one without: both must read alike.
std::vector<std::string> inBothKindsOfBuffer(const std::string& text) {
    std::string roomy;
    roomy.reserve(text.size() + json_dto::scan_room);
    roomy = text;
    return {std::string(text.data(), text.size()), roomy};
}

TEST(MessageHostileInput, EveryTruncationOfARequestIsAParseError) {
    for (std::size_t length = 0; length < request.size(); ++length) {
        std::string error;
        ASSERT_EQ(readOutcome(request.substr(0, length), &error), Outcome::BindingError) << length;
        EXPECT_EQ(error.rfind("JSON parse error: '", 0), 0u) << error;
    }
    EXPECT_EQ(readOutcome(request), Outcome::Record);
}

TEST(MessageHostileInput, EveryStringValueReplacedByAnotherTypeOrNullFails) {
    for (const char* replacement : {"null", "5", "true", "[]", "{}"}) {
        // Replace each quoted value in turn (the text after each ":").
        for (std::size_t colon = request.find(":\""); colon != std::string::npos;
             colon = request.find(":\"", colon + 1)) {
            const std::size_t end = request.find('"', colon + 2);
            const std::string mutated =
                request.substr(0, colon + 1) + replacement + request.substr(end + 1);
            std::string error;
            EXPECT_EQ(readOutcome(mutated, &error), Outcome::BindingError) << mutated;
            EXPECT_EQ(error.rfind("error reading field \"", 0), 0u) << error;
        }
    }
}

TEST(MessageHostileInput, DeepNestingDoesNotExhaustTheStack) {
    for (const char open : {'[', '{'}) {
        std::string text(100000, open);
        if (open == '{') {
            text.clear();
            for (int i = 0; i < 100000; ++i) text += "{\"a\":";
        }
        std::string error;
        EXPECT_EQ(readOutcome(text, &error), Outcome::BindingError);
        EXPECT_EQ(error.rfind("JSON parse error: '", 0), 0u);
    }
    std::string closed = std::string(100000, '[') + std::string(100000, ']');
    std::string error;
    EXPECT_EQ(readOutcome(closed, &error), Outcome::BindingError);
    EXPECT_EQ(error,
              "error reading field \"id\": unable to extract field \"id\": parent json type "
              "must be object");
}

TEST(MessageHostileInput, TextThatIsNotJsonIsAParseError) {
    const std::string minimal =
        R"({"id":"1","module":{"type":"m","version":"v"},"method":{"type":"x"}})";
    const auto withId = [](const std::string& id) {
        return R"({"id":")" + id +
               R"(","module":{"type":"m","version":"v"},"method":{"type":"x"}})";
    };
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } cases[] = {
        {"invalid UTF-8", withId("\xff\xfe"), "JSON parse error: 'Invalid encoding in string.'"},
        {"overlong NUL", withId("\xc0\x80"), "JSON parse error: 'Invalid encoding in string.'"},
        {"surrogate", withId("\xed\xa0\x80"), "JSON parse error: 'Invalid encoding in string.'"},
        {"escaped low surrogate alone", withId(R"(a\udccc)"),
         "JSON parse error: 'The surrogate pair in string is invalid.' (offset: 8)"},
        {"escaped low surrogate after a pair", withId(R"(\ud800\udc00\udc00)"),
         "JSON parse error: 'The surrogate pair in string is invalid.' (offset: 19)"},
        {"byte order mark", "\xEF\xBB\xBF" + minimal,
         "JSON parse error: 'Byte order mark.' (offset: 0)"},
        {"NUL after the value", minimal + std::string("\0garbage", 8),
         "JSON parse error: 'NUL character.'"},
        // Long ASCII strings are scanned many bytes at a time, others byte by byte.
        {"control character deep in a long string", withId(std::string(100, 'a') + "\x01"),
         "JSON parse error: 'Invalid escape character in string.'"},
        {"long string without its closing quote", R"({"id":")" + std::string(100, 'a'),
         "JSON parse error: 'Missing a closing quotation mark in string.'"},
        {"invalid UTF-8 deep in a long string", withId(std::string(100, 'a') + "\xc0\x80"),
         "JSON parse error: 'Invalid encoding in string.'"},
    };
    for (const auto& c : cases) {
        for (const std::string& text : inBothKindsOfBuffer(c.text)) {
            std::string error;

            EXPECT_EQ(readOutcome(text, &error), Outcome::BindingError) << c.name;

            EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << ": " << error;
        }
    }
    EXPECT_EQ(readOutcome(withId("\xc3\xa9\xe2\x82\xac")), Outcome::Record);
    EXPECT_EQ(json_dto::from_json<Message>(withId(R"(\ud83d\ude00 \\udccc \u00e9)")).id,
              "\xf0\x9f\x98\x80 \\udccc \xc3\xa9");
}

// A lead byte announces continuation bytes; the check of the encoding must not
// take the end of the text, or what lies behind it, for one of them.
TEST(MessageHostileInput, TextEndingInsideAMultiByteSequenceIsAParseError) {
    const auto sequenceLength = [](unsigned lead) {
        return lead < 0xE0 ? 2u : lead < 0xF0 ? 3u : 4u;
    };
    // The lead bytes that narrow the range of the byte after them.
    const auto secondByte = [](unsigned lead) {
        return lead == 0xE0 ? '\xA0' : lead == 0xF0 ? '\x90' : '\x80';
    };
    // Each opening is longer than a string keeps inside itself, and each text is
    // copied to a buffer of its own length, so reading past it is caught.
    const std::string openings[] = {R"({"id":"1","method":{"type":")", R"({"id":"1","meta":{")",
                                    R"({"id":"1","meta":{"data":{"é)"};
    for (const std::string& opening : openings) {
        for (unsigned lead = 0xC2; lead <= 0xF4; ++lead) {
            std::string text = opening + static_cast<char>(lead);
            for (unsigned taken = 0; taken + 1 < sequenceLength(lead); ++taken) {
                std::string error;

                const Outcome outcome = readOutcome(std::string(text.data(), text.size()), &error);

                ASSERT_EQ(outcome, Outcome::BindingError) << opening << std::hex << lead;
                EXPECT_EQ(error.rfind("JSON parse error: 'Invalid encoding in string.'", 0), 0u)
                    << std::hex << lead << " + " << taken << ": " << error;
                text += taken == 0 ? secondByte(lead) : '\x80';
            }
        }
    }
}

TEST(MessageHostileInput, EscapesInLongStringsAreReadWhetherOrNotTheTextIsAscii) {
    const std::string run(40, 'b');
    for (const std::string& other : {std::string("a"), std::string("\xc3\xa9")}) {
        const std::string text = R"({"id":")" + run + R"(\"\n\u0041)" + other + run +
                                 R"(","module":{"type":"m","version":"v"},"method":{"type":"x"}})";

        for (const std::string& buffer : inBothKindsOfBuffer(text)) {
            const auto message = json_dto::from_json<Message>(buffer);

            EXPECT_EQ(message.id, run + "\"\nA" + other + run);
        }
    }
}

TEST(MessageHostileInput, LargeStringsAndManyKeysAreRead) {
    const std::string big(5 * 1024 * 1024, 'A');
    std::string text = R"({"id":"1","module":{"type":"m","version":"v"},"method":{"type":"x",)"
                       R"("data":")" +
                       big + R"("},"meta":{"format":{"type":""},"data":{)";
    for (int i = 0; i < 100000; ++i) text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":\"v\"";
    text += "}}}";
    const auto message = json_dto::from_json<Message>(text);
    EXPECT_EQ(message.method.data.size(), big.size());
    EXPECT_EQ(message.meta.data.size(), 100000u);
}

TEST(MessageHostileInput, ManyUnknownTopLevelKeysAreIgnored) {
    std::string text = "{";
    for (int i = 0; i < 100000; ++i) text += "\"x" + std::to_string(i) + "\":1,";
    text += R"("id":"1","module":{"type":"m","version":"v"},"method":{"type":"x"}})";
    EXPECT_EQ(readOutcome(text), Outcome::Record);
}

}  // namespace
