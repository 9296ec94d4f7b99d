#include <gtest/gtest.h>

#include "base64.h"
#include "chunk_store.h"
#include "host_install.h"
#include "iprotocol.h"
#include "log_capture.h"
#include "message_handler.h"
#include "request_origin.h"
#include "session.h"

#include <QCryptographicHash>

#include <boost/make_shared.hpp>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Every case runs in a process and an install of its own (isolated_main.cpp):
// the session, the handler table and the chunk store's root are one per
// process.
namespace {

namespace fs = boost::filesystem;
namespace format = zorva::plugin::format;
using zorva::plugin::ChunkStore;
using zorva::plugin::MessageHandler;
using zorva::plugin::Session;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
using Severity = LogCapture::Severity;

constexpr std::size_t maxReplySize = 10485760;

MessagePtr request(const std::string& module, const std::string& method,
                   const std::string& data = "", const std::string& id = "request") {
    auto message = boost::make_shared<Message>();
    message->id = id;
    message->module.type = module;
    message->method.type = method;
    message->method.data = data;
    return message;
}

MessagePtr chunk(const std::string& id, int number, int count, const std::string& data,
                 const std::string& fileId = "") {
    auto message = request("system", "digest", data, id);
    message->meta.chunk = std::to_string(number);
    message->meta.chunks = std::to_string(count);
    message->meta.id = fileId;
    return message;
}

std::string hexHash(const std::string& bytes, QCryptographicHash::Algorithm algorithm) {
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), algorithm)
        .toHex()
        .toStdString();
}

// The chunks of a "digest" request for one embedded file whose base64 content
// travels in two chunks, as a page cuts it.
std::vector<MessagePtr> embeddedFileChunks(const std::string& id, const std::string& uuid,
                                           const std::string& name, const std::string& content,
                                           const std::string& checksum) {
    const std::string encoded = zorva::plugin::base64::encode(content);
    const std::size_t half = encoded.size() / 8 * 4;
    const std::string opening = R"({"id":")" + uuid + R"(","name":")" + name +
                                R"(","contentEncoding":"base64","hash":{"algorithm":"md5",)"
                                R"("value":")" +
                                checksum + R"("},"content":")";
    return {chunk(id, 1, 6, R"({"files":[)"),
            chunk(id, 2, 6, opening, uuid),
            chunk(id, 3, 6, encoded.substr(0, half), uuid),
            chunk(id, 4, 6, encoded.substr(half), uuid),
            chunk(id, 5, 6, R"("})", uuid),
            chunk(id, 6, 6, "]}")};
}

// A reply whose JSON text is exactly `length` bytes long.
MessagePtr replyOfLength(std::size_t length) {
    auto reply = request("probe", "echo");
    reply->method.result = std::string(length - json_dto::to_json(*reply).size(), 'r');
    return reply;
}

// Every file of the case's private tree outside the chunk store's root.
std::set<std::string> filesOutsideTheRoot() {
    // Made with the first chunk a store keeps.
    const std::string root = fs::weakly_canonical(ChunkStore::root()).string();
    std::set<std::string> files;
    // The store is not walked: its finished catalogs are removed in the
    // background, and an entry may vanish under the iterator.
    for (auto it = fs::recursive_directory_iterator(fs::canonical(programDir() / ".."));
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().string().rfind(root, 0) == 0)
            it.disable_recursion_pending();
        else
            files.insert(it->path().string());
    }
    return files;
}

class FakeProtocol : public zorva::plugin::module::IProtocol {
public:
    std::string name() override { return "fake"; }
    void run() override {}
    void interrupt() override { ++interrupts; }
    MessagePtr receive() override { return std::exchange(incoming, nullptr); }
    void send(const MessagePtr& message) override { sent.push_back(message); }

    MessagePtr incoming;
    std::vector<MessagePtr> sent;
    int interrupts = 0;
};

// Notes whether the record of a request's outcome came before its answer,
// and fails to send when told to.
class WatchingProtocol : public FakeProtocol {
public:
    WatchingProtocol(const LogCapture& log, bool fails) : log_(log), fails_(fails) {}
    void send(const MessagePtr& message) override {
        outcomeLoggedBefore = !log_.texts(outcomePrefix).empty();
        if (fails_) throw std::runtime_error("connection lost");
        FakeProtocol::send(message);
    }

    static constexpr const char* outcomePrefix = "session: message handler switch state to: ok";
    bool outcomeLoggedBefore = true;

private:
    const LogCapture& log_;
    bool fails_;
};

class MessageHandlerTest : public testing::Test {
protected:
    void SetUp() override {
        installHost({"ws20", "probe"});
        installModule(SYSTEM_MODULE);
        session_ = Session::instance();
        session_->init(hostConfig(R"({"format":{"type":"core","category":"plugin"},)"
                                  R"("dependencies":[{"format":{"type":"ws"}},)"
                                  R"({"format":{"type":"probe"}},{"format":{"type":"system"}}]})"));
        handler_ = std::make_unique<MessageHandler>(session_);
    }

    MessagePtr handle(const MessagePtr& message) { return handler_->handle(message, &state_); }

    boost::shared_ptr<Session> session_;
    std::unique_ptr<MessageHandler> handler_;
    int state_ = MessageHandler::None;
};

TEST_F(MessageHandlerTest, ChunksAreAcknowledgedUntilTheLastAndItsRepeatIsObsolete) {
    const auto piece = [](int number) {
        auto message = chunk("transfer", number, 3, std::string(3, char('a' + number - 1)));
        message->module.type = "probe";
        message->method.type = "echo";
        return message;
    };
    std::vector<MessagePtr> replies;
    std::vector<int> states;
    const auto handleAndNote = [&](const MessagePtr& message) {
        replies.push_back(handle(message));
        states.push_back(state_);
    };
    const auto repeatedLast = piece(3);

    for (int number = 1; number <= 3; ++number) handleAndNote(piece(number));
    handleAndNote(repeatedLast);
    handleAndNote(request("probe", "echo", "again", "transfer"));

    EXPECT_EQ(states,
              (std::vector<int>{MessageHandler::Next, MessageHandler::Next, MessageHandler::Ok,
                                MessageHandler::Obsolete, MessageHandler::Ok}));
    EXPECT_EQ(replies[0]->id, "transfer");
    EXPECT_EQ(replies[1]->code, "0");
    EXPECT_EQ(replies[1]->method.result, "");
    EXPECT_EQ(replies[2]->method.result, "aaabbbccc");
    EXPECT_EQ(replies[3], repeatedLast);
    EXPECT_EQ(replies[4]->method.result, "again");
}

TEST_F(MessageHandlerTest, ConnectionsKeepTheirOwnTransfersAndLastCompletedIds) {
    const auto piece = [](int number, const std::string& data) {
        auto message = chunk("shared-id", number, 2, data);
        message->module.type = "probe";
        message->method.type = "echo";
        return message;
    };
    MessageHandler other(session_);
    int otherState = MessageHandler::None;
    ASSERT_TRUE(other.handle(piece(1, "theirs "), &otherState));
    handle(piece(1, "mine "));
    ASSERT_EQ(handle(piece(2, "done"))->method.result, "mine done");

    // The same id completed on this connection is nothing to the other one.
    const MessagePtr reply = other.handle(piece(2, "too"), &otherState);

    EXPECT_EQ(otherState, MessageHandler::Ok);
    EXPECT_EQ(reply->method.result, "theirs too");
}

TEST_F(MessageHandlerTest, RequestsThatMustNotReachAModuleComeBackUnchanged) {
    struct Case {
        const char* name;
        MessagePtr message;
        int state;
    };
    auto withError = request("probe", "echo", "data");
    withError->error = "earlier failure";
    auto withResult = request("probe", "echo", "data");
    withResult->method.result = "already answered";
    const Case cases[] = {
        {"error", withError, MessageHandler::Corrupted},
        {"result", withResult, MessageHandler::Corrupted},
        {"empty id", request("probe", "echo", "data", ""), MessageHandler::Obsolete},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::string before = json_dto::to_json(*testCase.message);

        const auto reply = handle(testCase.message);

        EXPECT_EQ(reply, testCase.message);
        EXPECT_EQ(json_dto::to_json(*reply), before);
        EXPECT_EQ(state_, testCase.state);
    }
}

TEST_F(MessageHandlerTest, TransferEncodingDecodesTheDataAndEncodesTheResult) {
    struct Case {
        const char* encoding;
        const char* data;
        const char* code;
        const char* result;
        const char* replyEncoding;
    };
    const Case cases[] = {
        {"base64", "aGVsbG8=", "0", "aGVsbG8=", "base64"},
        {"binary", "hello", "0", "hello", "binary"},
        {"", "hello", "0", "hello", "binary"},
        {"BASE64", "aGVsbG8=", "20010", "", ""},
        {"gzip", "hello", "20010", "", ""},
        {"base64", "!!!!", "20001", "", ""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::string(testCase.encoding) + " " + testCase.data);
        auto message = request("system", "echo", testCase.data);
        message->meta.content.transferEncoding = testCase.encoding;

        const auto reply = handle(message);

        EXPECT_EQ(reply->code, testCase.code);
        EXPECT_EQ(reply->method.result, testCase.result);
        EXPECT_EQ(reply->meta.content.transferEncoding, testCase.replyEncoding);
    }
}

TEST_F(MessageHandlerTest, RequestForAModuleOrMethodNotLoadedGives20005AndNamesBoth) {
    const std::pair<const char*, const char*> cases[] = {
        {"core", "echo"}, {"nosuch", "echo"}, {"Probe", "echo"}, {"probe", "nosuch"}};
    for (const auto& [module, method] : cases) {
        SCOPED_TRACE(std::string(module) + "." + method);
        LogCapture log;

        const auto reply = handle(request(module, method));

        EXPECT_EQ(reply->code, "20005");
        EXPECT_EQ(reply->error, "Не найден метод");
        EXPECT_EQ(state_, MessageHandler::Error);
        EXPECT_TRUE(log.contains(Severity::warning,
                                 std::string("session: exception handler: unsupported method \"") +
                                     method + "\", module \"" + module + "\""));
    }
}

TEST_F(MessageHandlerTest, FailuresOfAModuleBecomeErrorRepliesOrEndTheSession) {
    struct Case {
        const char* method;
        const char* data;
        int state;
        bool replied;
        const char* code;
        const char* error;
        const char* errorMessage;
        const char* result;
    };
    const Case cases[] = {
        {"fail", "20002", MessageHandler::Terminate, false, "", "", "", ""},
        {"fail", "20003", MessageHandler::Cancel, true, "20003", "Операция отменена пользователем",
         "20003 Application 'Операция отменена пользователем'", ""},
        {"fail", "20006", MessageHandler::Error, true, "20006", "Данные не найдены",
         "20006 Application 'Данные не найдены'", ""},
        {"foreign", "boom", MessageHandler::Error, true, "20001", "boom",
         "20001 Application 'Общая ошибка': boom", ""},
        {"report", "", MessageHandler::Error, true, "42", "reported by the module",
         "module error message", ""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::string(testCase.method) + " " + testCase.data);

        const auto reply = handle(request("probe", testCase.method, testCase.data));

        EXPECT_EQ(state_, testCase.state);
        ASSERT_EQ(reply != nullptr, testCase.replied);
        if (!reply) continue;
        EXPECT_EQ(reply->code, testCase.code);
        EXPECT_EQ(reply->error, testCase.error);
        EXPECT_EQ(reply->errorMessage, testCase.errorMessage);
        EXPECT_EQ(reply->method.result, testCase.result);
    }
}

TEST_F(MessageHandlerTest, ErrorReplaysTheMessageLogEntryAndLogsTheInterruption) {
    auto foreign = request("probe", "foreign", "boom");
    foreign->meta.data = {{"messageLog", "page text"}, {"other", "kept"}};
    LogCapture log;

    const auto reply = handle(foreign);
    handle(request("probe", "fail", "20002"));

    EXPECT_EQ(reply->meta.data,
              (std::map<std::string, std::string>{
                  {"messageLog", "20001 Application 'Общая ошибка': boom"}, {"other", "kept"}}));
    EXPECT_TRUE(log.contains(Severity::warning,
                             "session: exception handler: session: message handler "
                             "interrupted by zorva.entension"));
}

TEST_F(MessageHandlerTest, LastErrorSeesTheFailureBeforeItUntilARequestSucceeds) {
    handle(request("probe", "fail", "20006"));
    const auto afterFailure = handle(request("system", "lastError"));
    const auto again = handle(request("system", "lastError", "", "again"));
    handle(request("probe", "echo", "fine"));
    const auto afterSuccess = handle(request("system", "lastError"));

    EXPECT_EQ(afterFailure->method.result, "20006 Application 'Данные не найдены'");
    EXPECT_EQ(again->method.result, "20006 Application 'Данные не найдены'");
    EXPECT_EQ(afterSuccess->method.result, "0 Application 'Успешное выполнение операции'");
}

TEST_F(MessageHandlerTest, ReplyOfTheLimitIsReturnedAndOneByteMoreGives20023) {
    const std::size_t overhead = json_dto::to_json(*handle(request("probe", "echo"))).size();

    const auto atLimit =
        handle(request("probe", "echo", std::string(maxReplySize - overhead, 'x')));
    const auto overLimit =
        handle(request("probe", "echo", std::string(maxReplySize - overhead + 1, 'x')));

    EXPECT_EQ(atLimit->code, "0");
    EXPECT_EQ(json_dto::to_json(*atLimit).size(), maxReplySize);
    EXPECT_EQ(overLimit->code, "20023");
    EXPECT_EQ(overLimit->method.result, "");
}

TEST_F(MessageHandlerTest, StateIsLoggedOnlyWhenItChanges) {
    int state = MessageHandler::Ok;
    LogCapture log;

    handler_->handle(request("probe", "echo", "1", "first"), &state);
    handler_->handle(request("probe", "echo", "2", "second"), &state);
    handler_->handle(request("probe", "echo", "3", "third"));

    const std::string prefix = "session: message handler switch state to: ";
    EXPECT_EQ(log.texts(prefix), (std::vector<std::string>{prefix + "none", prefix + "ok",
                                                           prefix + "none", prefix + "ok"}));
}

TEST_F(MessageHandlerTest, ServeOneSendsRepliesInPiecesAndInterruptsWhenTheSessionEnds) {
    struct Case {
        const char* name;
        MessagePtr incoming;
        std::size_t sent;
        int interrupts;
    };
    auto corrupted = request("probe", "echo");
    corrupted->error = "earlier failure";
    const Case cases[] = {
        {"nothing received", nullptr, 0, 1},
        {"whole reply", request("probe", "echo", "hi", "a"), 1, 0},
        {"large reply", request("probe", "echo", std::string(3000000, 'x'), "b"), 3, 0},
        {"first chunk", chunk("c", 1, 2, "half"), 0, 0},
        {"interrupted", request("probe", "fail", "20002", "d"), 0, 1},
        {"corrupted", corrupted, 1, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FakeProtocol protocol;
        protocol.incoming = testCase.incoming;

        handler_->serveOne(&protocol);

        EXPECT_EQ(protocol.sent.size(), testCase.sent);
        EXPECT_EQ(protocol.interrupts, testCase.interrupts);
        for (const auto& piece : protocol.sent) {
            EXPECT_EQ(piece->meta.protocol.type, "fake");
            EXPECT_EQ(piece->meta.protocol.category, "protocol");
        }
    }
}

// The page's answer does not wait for the record of its outcome, which still
// comes when the answer cannot be sent.
TEST_F(MessageHandlerTest, ServeOneRecordsTheOutcomeOnceTheAnswerIsOnItsWay) {
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "send fails" : "send succeeds");
        LogCapture log;
        WatchingProtocol protocol(log, fails);
        protocol.incoming = request("probe", "echo", "hi", fails ? "lost" : "sent");

        if (fails) {
            EXPECT_THROW(handler_->serveOne(&protocol), std::runtime_error);
        } else {
            handler_->serveOne(&protocol);
        }

        EXPECT_FALSE(protocol.outcomeLoggedBefore);
        EXPECT_EQ(log.texts(WatchingProtocol::outcomePrefix).size(), 1u);
    }
}

// The administrator lists one page; nobody is there to be asked about others.
class MessageHandlerOriginTest : public MessageHandlerTest {
protected:
    void SetUp() override {
        MessageHandlerTest::SetUp();
        session_->init(
            hostConfig(R"({"format":{"type":"core","category":"plugin"},"dependencies":[)"
                       R"({"format":{"type":"ws"},"meta":[{"format":{"type":"ws",)"
                       R"("category":"protocol.origins"},"data":"https://listed.example"}]},)"
                       R"({"format":{"type":"probe"}},{"format":{"type":"system"}}]})"));
    }
    void TearDown() override { format::setConnectionOrigin(std::string()); }
};

TEST_F(MessageHandlerOriginTest, ServeOneStampsTheConnectionsOriginAndServesByItsApproval) {
    const std::string listed = "https://listed.example";
    const std::string stranger = "https://stranger.example";
    struct Case {
        std::string origin;
        const char* module;
        const char* method;
        const char* code;
    };
    const Case cases[] = {
        {"", "probe", "echo", "0"},
        {listed, "probe", "echo", "0"},
        {stranger, "probe", "echo", "20025"},
        {stranger, "system", "version", "0"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.origin + " " + testCase.method);
        FakeProtocol protocol;
        protocol.incoming = request(testCase.module, testCase.method, "hi");
        protocol.incoming->meta.data[format::originKey] = listed;
        format::setConnectionOrigin(testCase.origin);

        handler_->serveOne(&protocol);

        ASSERT_EQ(protocol.sent.size(), 1u);
        EXPECT_EQ(protocol.sent[0]->code, testCase.code);
        EXPECT_EQ(protocol.sent[0]->meta.data.at(format::originKey), testCase.origin);
    }
}

TEST_F(MessageHandlerOriginTest, RequestToStopEndsTheHostOnlyForAProgram) {
    const std::pair<std::string, bool> cases[] = {
        {"", true}, {"https://listed.example", false}, {"https://stranger.example", false}};
    for (const auto& [origin, stops] : cases) {
        SCOPED_TRACE(origin);
        FakeProtocol protocol;
        format::setConnectionOrigin(origin);
        LogCapture log;

        if (stops) {
            handler_->serveOne(&protocol);
        } else {
            EXPECT_THROW(handler_->serveOne(&protocol), std::runtime_error);
            EXPECT_EQ(log.texts("session: request to stop refused, origin: ").size(), 1u);
        }

        EXPECT_EQ(protocol.interrupts, stops ? 1 : 0);
    }
}

TEST(MessageHandlerSplit, ReplyOfAMegabyteOrMoreIsCutIntoNumberedEqualSlices) {
    const std::pair<std::size_t, std::size_t> cases[] = {{1048575, 1}, {1048576, 2}, {3000000, 3}};
    for (const auto& [length, count] : cases) {
        SCOPED_TRACE(length);
        const auto reply = replyOfLength(length);
        const std::string result = reply->method.result;

        const auto pieces = MessageHandler::splitReply(reply);

        ASSERT_EQ(pieces.size(), count);
        const std::size_t slice = (result.size() + count - 1) / count;
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(pieces[i]->meta.chunk, count == 1 ? "" : std::to_string(i + 1));
            EXPECT_EQ(pieces[i]->meta.chunks, count == 1 ? "" : std::to_string(count));
            EXPECT_EQ(pieces[i]->method.result, result.substr(i * slice, slice));
            EXPECT_LT(json_dto::to_json(*pieces[i]).size(), 1048576u);
        }
    }
}

TEST(MessageHandlerSplit, EveryPieceFitsABrowsersMessageLimitAsEncodedText) {
    const std::string escaped(700000, '\x01');  // six bytes each in JSON
    const std::string quoted(300000, '"');      // two bytes each
    std::string wide;                           // two-byte UTF-8 sequences
    for (int i = 0; i < 300000; ++i) wide += "\xc3\xa9";
    const std::string results[] = {std::string(5000000, 'a') + escaped,
                                   escaped + quoted + std::string(1000, 'a'), "a" + wide + quoted};
    for (const std::string& result : results) {
        auto reply = request("probe", "echo");
        reply->method.result = result;

        const auto pieces = MessageHandler::splitReply(reply);

        std::string joined;
        for (const auto& piece : pieces) {
            EXPECT_LT(json_dto::to_json(*piece).size(), 1048576u) << piece->meta.chunk;
            EXPECT_EQ(piece->meta.chunks, std::to_string(pieces.size()));
            const auto& text = piece->method.result;
            // A slice that starts inside a character would be invalid UTF-8.
            EXPECT_TRUE(text.empty() || (static_cast<unsigned char>(text[0]) & 0xC0) != 0x80);
            joined += text;
        }
        EXPECT_EQ(joined, result);
    }
}

TEST_F(MessageHandlerTest, EmbeddedFileIsJoinedCheckedAndDigestedFromItsChunks) {
    std::string content;
    for (int i = 0; i < 3000; ++i) content += char(i * 7 % 256);
    const std::string encoded = zorva::plugin::base64::encode(content);
    const std::string checksum = hexHash(encoded, QCryptographicHash::Md5);
    struct Case {
        const char* id;
        const char* uuid;
        std::string checksum;
        Severity severity;
        std::string log;
    };
    const Case cases[] = {
        {"matching", "u1", checksum, Severity::info,
         "chunk store: checksums for uuid: u1 equal, value: " + checksum + ", algorithm: md5"},
        {"wrong", "u2", "0123", Severity::warning,
         "chunk store: checksums for uuid: u2 not equal, expected: 0123, calculated: " + checksum +
             ", algorithm: md5"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.id);
        LogCapture log;
        std::vector<int> states;
        MessagePtr reply;

        for (const auto& piece : embeddedFileChunks(testCase.id, testCase.uuid, "doc.bin", content,
                                                    testCase.checksum)) {
            reply = handle(piece);
            states.push_back(state_);
        }

        std::vector<int> expectedStates(5, MessageHandler::Next);
        expectedStates.push_back(MessageHandler::Ok);
        EXPECT_EQ(states, expectedStates);
        EXPECT_EQ(reply->code, "0") << reply->errorMessage;
        EXPECT_EQ(reply->method.result,
                  R"([{"name":"doc.bin","size":"3000","md5":")" +
                      hexHash(content, QCryptographicHash::Md5) + R"(","sha256":")" +
                      hexHash(content, QCryptographicHash::Sha256) + R"("}])");
        EXPECT_TRUE(log.contains(testCase.severity, testCase.log));
    }
}

TEST_F(MessageHandlerTest, HostileNamesAreRefusedWith20015AndNothingIsWrittenOutsideTheRoot) {
    const auto before = filesOutsideTheRoot();
    struct Case {
        const char* name;
        std::vector<MessagePtr> messages;
    };
    // An empty id reaches the store only while another id is remembered as
    // completed: a first chunk would forget it and be taken as obsolete.
    const Case cases[] = {
        {"id ../x", {chunk("../x", 1, 3, "{")}},
        {"id a/b", {chunk("a/b", 1, 3, "{")}},
        {"id ..", {chunk("..", 1, 3, "{")}},
        {"empty id", {request("probe", "echo", "", "previous"), chunk("", 2, 3, "{")}},
        {"file id", {chunk("files", 1, 3, "{", "../../../../x")}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        MessagePtr reply;

        for (const auto& message : testCase.messages) reply = handle(message);

        EXPECT_EQ(reply->code, "20015");
        EXPECT_EQ(filesOutsideTheRoot(), before);
    }
}

// A file's name is data: the store keeps the file under its uuid.
TEST_F(MessageHandlerTest, FileNameThatLooksLikeAPathIsDataAndWritesNothingOutsideTheRoot) {
    const auto before = filesOutsideTheRoot();
    MessagePtr reply;

    for (const auto& message : embeddedFileChunks("named", "u3", "../../evil", "content", ""))
        reply = handle(message);

    EXPECT_EQ(reply->code, "0") << reply->errorMessage;
    EXPECT_NE(reply->method.result.find(R"("name":"../../evil")"), std::string::npos)
        << reply->method.result;
    EXPECT_EQ(filesOutsideTheRoot(), before);
}

}  // namespace
