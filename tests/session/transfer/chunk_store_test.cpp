#include "chunk_store.h"
#include "background_removal.h"
#include "base64.h"
#include "exception.h"
#include "file_description.h"
#include "json_binding.h"
#include "log_capture.h"
#include "message.h"
#include "staged_program.h"
#include "temp_dir.h"

#include <QCryptographicHash>

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;
namespace removal = zorva::plugin::background_removal;
using zorva::plugin::ChunkStore;
using zorva::plugin::FileInfo;
using zorva::plugin::base64::DecodeError;
using zorva::plugin::exception::ApplicationException;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;
using Severity = LogCapture::Severity;

// The data of one chunk and the uuid of the file it carries ("" for the payload).
using Piece = std::pair<std::string, std::string>;

MessagePtr chunkMessage(const std::string& id, const std::string& chunk, const std::string& chunks,
                        const std::string& data, const std::string& uuid = "") {
    auto message = boost::make_shared<Message>();
    message->id = id;
    message->module.type = "crypto";
    message->method.type = "sign";
    message->method.data = data;
    message->meta.id = uuid;
    message->meta.chunk = chunk;
    message->meta.chunks = chunks;
    return message;
}

// Numbered 1..n in the order given.
std::vector<MessagePtr> chunked(const std::string& id, const std::vector<Piece>& pieces) {
    std::vector<MessagePtr> messages;
    const std::string chunks = std::to_string(pieces.size());
    for (const auto& [data, uuid] : pieces)
        messages.push_back(
            chunkMessage(id, std::to_string(messages.size() + 1), chunks, data, uuid));
    return messages;
}

// Every message but the last must be stored without an answer.
MessagePtr joinAll(ChunkStore& store, const std::vector<MessagePtr>& messages) {
    for (std::size_t i = 0; i + 1 < messages.size(); ++i)
        EXPECT_FALSE(store.join(messages[i])) << "chunk " << messages[i]->meta.chunk;
    return store.join(messages.back());
}

// A file description cut inside its "content" the way a page sends it: the
// opening up to the content's opening quote, the closing from its closing quote.
std::pair<std::string, std::string> cutDescription(FileInfo description) {
    const std::string cut = "@CUT@";
    description.content = cut;
    const std::string json = json_dto::to_json(description);
    const auto at = json.find(cut);
    return {json.substr(0, at), json.substr(at + cut.size())};
}

std::vector<Piece> embeddedFile(const FileInfo& description,
                                const std::vector<std::string>& content,
                                const std::string& separator = "") {
    const auto [opening, closing] = cutDescription(description);
    std::vector<Piece> pieces{{separator + opening, description.id}};
    for (const auto& text : content) pieces.emplace_back(text, description.id);
    pieces.emplace_back(closing, description.id);
    return pieces;
}

FileInfo description(const std::string& uuid, const std::string& name,
                     const std::string& checksum = "") {
    FileInfo info;
    info.id = uuid;
    info.name = name;
    info.contentEncoding = "base64";
    info.hash.algorithm = "MD5";
    info.hash.value = checksum;
    return info;
}

// The description as the joined payload carries it.
std::string joinedDescription(FileInfo info, const fs::path& file) {
    info.contentEncoding = "temp";
    info.path = file.string();
    return json_dto::to_json(info);
}

std::string md5(const std::string& text) {
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

std::vector<Piece> concat(std::vector<std::vector<Piece>> parts) {
    std::vector<Piece> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

fs::path catalog(ChunkStore& store, const std::string& id) { return store.directory() / id; }

std::set<std::string> fileNames(const fs::path& directory) {
    std::set<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// Everything in the private tree except the store's root.
std::set<std::string> outsideRoot() {
    // Made with the first store directory of the process.
    const fs::path root = fs::weakly_canonical(ChunkStore::root());
    std::set<std::string> paths;
    for (fs::recursive_directory_iterator it(staged_program::tree()), end; it != end; ++it) {
        if (it->path() == root) {
            it.disable_recursion_pending();
            continue;
        }
        paths.insert(it->path().string());
    }
    return paths;
}

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void expectApplicationError(const std::function<void()>& action, int code,
                            const std::string& operation) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected " << code;
    } catch (const ApplicationException& error) {
        EXPECT_EQ(error.code().value(), code);
        const char* const* function = boost::get_error_info<boost::throw_function>(error);
        ASSERT_NE(function, nullptr);
        EXPECT_EQ(*function, operation);
    }
}

const std::string quickFox = "The quick brown fox jumps over the lazy dog";
// base64 of quickFox, cut inside a group of four characters.
const std::string foxPart1 = "VGhlIHF1aWNr";
const std::string foxPart2 = "IGJyb3duIGZveCBqdW1wcyBvdmVyIHRoZSBsYXp5IGRvZw==";

}  // namespace

TEST(ChunkStore, NotChunkedMessagesPassThroughAndStoreNothing) {
    ChunkStore store;
    const std::pair<const char*, const char*> cases[] = {{"1", "1"}, {"", ""}, {"4", ""}};
    for (const auto& [chunk, chunks] : cases) {
        const MessagePtr message = chunkMessage("plain", chunk, chunks, "payload");

        const MessagePtr result = store.join(message);

        EXPECT_EQ(result, message) << chunk << "/" << chunks;
        EXPECT_EQ(result->method.data, "payload");
    }
    EXPECT_TRUE(fileNames(store.directory()).empty());
}

TEST(ChunkStore, JoinsPlainChunksInNumericOrderWhateverTheArrivalOrder) {
    const std::vector<std::vector<int>> orders = {{0, 1, 2}, {1, 0, 2}};
    for (const auto& order : orders) {
        ChunkStore store;
        const auto messages = chunked("plain", {{"ab", ""}, {"cd", ""}, {"ef", ""}});
        std::vector<MessagePtr> arrival;
        for (int i : order) arrival.push_back(messages[i]);

        const MessagePtr joined = joinAll(store, arrival);

        ASSERT_EQ(joined, messages[2]);
        EXPECT_EQ(joined->method.data, "abcdef");
        EXPECT_EQ(joined->meta.chunk, "");
        EXPECT_EQ(joined->meta.chunks, "");
        EXPECT_EQ(fileNames(catalog(store, "plain")),
                  (std::set<std::string>{"1.3.data", "2.3.data", "3.3.data"}));
    }
}

TEST(ChunkStore, SortsChunkTenAfterChunkNine) {
    ChunkStore store;
    std::vector<Piece> pieces;
    std::string expected;
    for (int i = 1; i <= 12; ++i) {
        pieces.emplace_back(std::to_string(i) + ";", "");
        expected += std::to_string(i) + ";";
    }

    const MessagePtr joined = joinAll(store, chunked("twelve", pieces));

    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data, expected);
}

TEST(ChunkStore, LogsCatalogChunksAndLastChunk) {
    ChunkStore store;
    const std::string escaped = store.directory().string() + "/say &\"hi&\"";
    LogCapture log;

    joinAll(store, chunked("say \"hi\"", {{"a", ""}, {"bc", ""}}));

    EXPECT_EQ(log.texts("chunk store: "),
              (std::vector<std::string>{
                  "chunk store: create catalog for chunks: \"" + escaped + "\"",
                  "chunk store: write chunk id: \"say \\\"hi\\\"\", file: \"1.2.data\", size: 1",
                  "chunk store: write chunk id: \"say \\\"hi\\\"\", file: \"2.2.data\", size: 2",
                  "chunk store: got last chunk: 2, real chunks count: 2"}));
}

TEST(ChunkStore, JoinsEmbeddedFileIntoAFileOfItsOwn) {
    const struct {
        const char* uuid;
        const char* checksum;
        Severity severity;
        std::string logText;
    } cases[] = {
        {"fox-equal", "", Severity::info, ""},
        {"fox-wrong", "9a54e4d0f3a1e2b1d2a4df8e55e6c4a0", Severity::warning,
         "chunk store: checksums for uuid: fox-wrong not equal, expected: "
         "9a54e4d0f3a1e2b1d2a4df8e55e6c4a0, calculated: " +
             md5(foxPart1 + foxPart2) + ", algorithm: MD5"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        ChunkStore store;
        const std::string checksum = *c.checksum ? c.checksum : md5(foxPart1 + foxPart2);
        const FileInfo file = description(c.uuid, "fox.txt", checksum);
        const auto pieces = concat(
            {{{"{\"files\":[", ""}}, embeddedFile(file, {foxPart1, foxPart2}), {{"]}", ""}}});

        const MessagePtr joined = joinAll(store, chunked("with-file", pieces));

        ASSERT_TRUE(joined);
        const fs::path joinedFile = catalog(store, "with-file") / c.uuid;
        EXPECT_EQ(joined->method.data, "{\"files\":[" + joinedDescription(file, joinedFile) + "]}");
        EXPECT_EQ(readFile(joinedFile), quickFox);
        const std::string expectedLog =
            *c.checksum ? c.logText
                        : "chunk store: checksums for uuid: fox-equal equal, value: " + checksum +
                              ", algorithm: MD5";
        EXPECT_TRUE(log.contains(c.severity, expectedLog)) << expectedLog;
    }
}

TEST(ChunkStore, FileSentAgainUnderItsUuidIsCheckedAfresh) {
    ChunkStore store;
    const auto payload = [](const FileInfo& file) {
        return concat({{{"[", ""}}, embeddedFile(file, {foxPart1, foxPart2}), {{"]", ""}}});
    };
    const std::string checksum = md5(foxPart1 + foxPart2);
    ASSERT_TRUE(joinAll(store, chunked("first", payload(description("again", "a.txt")))));
    LogCapture log;

    ASSERT_TRUE(
        joinAll(store, chunked("second", payload(description("again", "a.txt", checksum)))));

    EXPECT_TRUE(log.contains(
        Severity::info,
        "chunk store: checksums for uuid: again equal, value: " + checksum + ", algorithm: MD5"));
}

TEST(ChunkStore, KeepsCommaBeforeADescriptionAndSeparatesFilesOfOneName) {
    ChunkStore store;
    const FileInfo first = description("doc-1", "doc.txt");
    const FileInfo second = description("doc-2", "doc.txt");
    const auto pieces = concat({{{"[", ""}},
                                embeddedFile(first, {"Zmly", "c3Q="}),
                                embeddedFile(second, {"c2Vj", "b25k"}, ","),
                                {{"]", ""}}});

    const MessagePtr joined = joinAll(store, chunked("two", pieces));

    ASSERT_TRUE(joined);
    const fs::path firstFile = catalog(store, "two") / "doc-1";
    const fs::path secondFile = catalog(store, "two") / "doc-2";
    EXPECT_EQ(joined->method.data, "[" + joinedDescription(first, firstFile) + "," +
                                       joinedDescription(second, secondFile) + "]");
    EXPECT_EQ(readFile(firstFile), "first");
    EXPECT_EQ(readFile(secondFile), "second");
}

TEST(ChunkStore, CopiesFileOfTwoChunksIntoThePayloadAsItCame) {
    ChunkStore store;
    const auto [opening, closing] = cutDescription(description("short", "short.txt"));
    const std::vector<Piece> pieces = {
        {"[", ""}, {opening, "short"}, {closing, "short"}, {"]", ""}};

    const MessagePtr joined = joinAll(store, chunked("short", pieces));

    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data, "[" + opening + closing + "]");
}

// File chunks of whole base64 groups are kept as the bytes they stand for;
// whatever part of the payload they turn out to be, they join as they came.
TEST(ChunkStore, ChunksOfWholeBase64GroupsJoinAsTheirText) {
    ChunkStore store;
    const std::vector<Piece> twoChunkFile = {
        {"[", ""}, {"QUJD", "b64"}, {"REVG", "b64"}, {"]", ""}};

    const MessagePtr copied = joinAll(store, chunked("copied", twoChunkFile));

    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->method.data, "[QUJDREVG]");

    // Content whose groups run across chunks, and a plain text content whose
    // chunks only look like base64 or almost do.
    const struct {
        const char* encoding;
        std::vector<std::string> content;
        std::string expected;
    } cases[] = {
        {"base64",
         {"QUJ", "REVG", "SElK", "Sks="},
         zorva::plugin::base64::decode("QUJREVGSElKSks=")},
        {"base64", {"QUJD", "REVG", "SElK"}, "ABCDEFHIJ"},
        {"plain", {"QUJ", "REVG", "ab-/", "SElK"}, "QUJREVGab-/SElK"},
    };
    for (const auto& c : cases) {
        FileInfo file = description("mixed", "mixed.txt");
        file.contentEncoding = c.encoding;
        const std::string id = std::string("content-") + c.encoding + c.content.front();

        const MessagePtr joined = joinAll(
            store, chunked(id, concat({{{"[", ""}}, embeddedFile(file, c.content), {{"]", ""}}})));

        ASSERT_TRUE(joined);
        EXPECT_EQ(readFile(catalog(store, id) / "mixed"), c.expected) << id;
    }
}

// Packed chunks of one file share a file of their own: whatever the order they
// came in and however often a chunk was sent again, each joins as its last
// copy, and a chunk that left the file leaves nothing behind.
TEST(ChunkStore, PackedContentJoinsAsItsLastCopiesInChunkOrder) {
    // Pieces: "[", opening, three content chunks, closing, "]"; numbered from 1.
    const std::vector<std::string> content = {"QUJD", "REVG", "Sks="};
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> sent;  // piece, data ("" for its own)
    } cases[] = {
        {"in-order", {{0, ""}, {1, ""}, {2, ""}, {3, ""}, {4, ""}, {5, ""}}},
        {"swapped", {{0, ""}, {1, ""}, {3, ""}, {2, ""}, {4, ""}, {5, ""}}},
        {"resent", {{0, ""}, {1, ""}, {2, "WFla"}, {3, ""}, {4, ""}, {5, ""}, {2, ""}}},
        {"resent-last", {{0, ""}, {1, ""}, {2, ""}, {3, "WFla"}, {3, ""}, {4, ""}, {5, ""}}},
        {"packed-after-text", {{0, ""}, {1, ""}, {2, "QUJ"}, {3, ""}, {2, ""}, {4, ""}, {5, ""}}},
        {"text-after-packed",
         {{0, ""}, {1, ""}, {2, ""}, {3, ""}, {2, "QUJ"}, {3, "DREVG"}, {4, ""}, {5, ""}}},
    };
    for (const auto& c : cases) {
        ChunkStore store;
        const FileInfo file = description("packed", "packed.bin");
        const auto messages =
            chunked(c.name, concat({{{"[", ""}}, embeddedFile(file, content), {{"]", ""}}}));
        for (const auto& [piece, data] : c.sent) {
            const MessagePtr message = boost::make_shared<Message>(*messages[piece]);
            if (!data.empty()) message->method.data = data;
            EXPECT_FALSE(store.join(message)) << c.name;
        }

        const MessagePtr joined = store.join(messages.back());

        ASSERT_TRUE(joined) << c.name;
        EXPECT_EQ(readFile(catalog(store, c.name) / "packed"), "ABCDEFJK") << c.name;
        const std::string pieceTwoFile = "3.7.packed";
        EXPECT_EQ(fs::exists(catalog(store, c.name) / pieceTwoFile),
                  std::string(c.name) == "text-after-packed")
            << c.name;
    }
}

// A join that fails half way is tried again when the last chunk comes again:
// files it already named keep their chunks readable.
TEST(ChunkStore, JoinTriedAgainAfterAFailureReadsEveryChunkAnew) {
    ChunkStore store;
    const FileInfo first = description("first", "first.bin");
    const FileInfo second = description("second", "second.bin");
    const auto pieces = concat({{{"[", ""}},
                                embeddedFile(first, {"QUJD", "REVG", "Sks="}),
                                embeddedFile(second, {"Zmly", "c3Q="}, ","),
                                {{"]", ""}}});
    auto messages = chunked("again", pieces);
    const std::size_t secondClosing = messages.size() - 2;
    const std::string closing = messages[secondClosing]->method.data;
    messages[secondClosing]->method.data = "\"";
    for (std::size_t i = 0; i + 1 < messages.size(); ++i) ASSERT_FALSE(store.join(messages[i]));
    EXPECT_ANY_THROW(store.join(messages.back()));
    messages[secondClosing]->method.data = closing;
    ASSERT_FALSE(store.join(messages[secondClosing]));

    const MessagePtr joined = store.join(messages.back());

    ASSERT_TRUE(joined);
    const fs::path firstFile = catalog(store, "again") / "first-2";
    const fs::path secondFile = catalog(store, "again") / "second";
    EXPECT_EQ(joined->method.data, "[" + joinedDescription(first, firstFile) + "," +
                                       joinedDescription(second, secondFile) + "]");
    EXPECT_EQ(readFile(firstFile), "ABCDEFJK");
    EXPECT_EQ(readFile(secondFile), "first");
}

TEST(ChunkStore, PayloadOfManyChunksBeforeAFileIsNoFile) {
    ChunkStore store;
    const FileInfo file = description("after-long", "fox.txt");
    const auto pieces = concat({{{"{\"a\":", ""}, {"1,\"files\"", ""}, {":[", ""}},
                                embeddedFile(file, {foxPart1, foxPart2}),
                                {{"]}", ""}}});

    const MessagePtr joined = joinAll(store, chunked("long", pieces));

    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data,
              "{\"a\":1,\"files\":[" +
                  joinedDescription(file, catalog(store, "long") / "after-long") + "]}");
}

TEST(ChunkStore, LastChunkWithAChunkMissingFails) {
    ChunkStore store;
    const auto messages = chunked("gap", {{"a", ""}, {"b", ""}, {"c", ""}});
    EXPECT_FALSE(store.join(messages[0]));

    expectApplicationError([&] { store.join(messages[2]); }, 20024, "messageFromChunks");
}

TEST(ChunkStore, SecondRequestOfTheSameIdReusesTheCatalog) {
    ChunkStore store;
    ASSERT_TRUE(joinAll(store, chunked("same", {{"a", ""}, {"b", ""}, {"c", ""}})));
    const auto second = chunked("same", {{"x", ""}, {"y", ""}});

    expectApplicationError([&] { joinAll(store, second); }, 20024, "messageFromChunks");

    store.removeCatalog(second.back());
    ASSERT_TRUE(eventually([&] { return !fs::exists(catalog(store, "same")); }));
    const MessagePtr joined = joinAll(store, chunked("same", {{"x", ""}, {"y", ""}}));
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data, "xy");
}

TEST(ChunkStore, StoresBase64ChunksDecoded) {
    const struct {
        const char* data;
        const char* stored;
    } cases[] = {
        {"SGVsbG8=", "Hello"},
        {"SGVsbG8=d29ybGQ=", "Hello"},
        {"SGVsbG8", "Hello"},
        {"Q", "Q"},
        {"=", "="},
        {"", ""},
    };
    for (const auto& c : cases) {
        ChunkStore store;
        const MessagePtr message = chunkMessage("b64", "1", "2", c.data);
        message->meta.content.transferEncoding = "base64";

        EXPECT_FALSE(store.join(message));

        EXPECT_EQ(readFile(catalog(store, "b64") / "1.2.data"), c.stored) << c.data;
    }
}

TEST(ChunkStore, Base64ChunkOutsideTheAlphabetFailsAndStoresNothing) {
    ChunkStore store;
    const MessagePtr message = chunkMessage("bad64", "1", "2", "SGVs\nbG8=");
    message->meta.content.transferEncoding = "base64";

    EXPECT_THROW(store.join(message), DecodeError);

    EXPECT_TRUE(fileNames(catalog(store, "bad64")).empty());
    EXPECT_EQ(fileNames(store.directory()), std::set<std::string>{"bad64"});
}

TEST(ChunkStore, UnsafeNamesAreRefusedAndNothingIsWrittenOrRemoved) {
    const struct {
        std::string id;
        std::string uuid;
        std::string chunk;
    } cases[] = {
        {"../x", "", "1"},
        {"a/b", "", "1"},
        {"..", "", "1"},
        {"", "", "1"},
        {".", "", "2"},
        {"a\\b", "", "1"},
        {"a\nb", "", "1"},
        {std::string("a\0b", 3), "", "1"},
        {std::string(201, 'i'), "", "1"},
        {"ok", "../m", "1"},
        {"ok", "a/b", "1"},
        {"ok", "", "../../c"},
    };
    ChunkStore store;
    const std::set<std::string> before = outsideRoot();
    for (const auto& c : cases) {
        const MessagePtr message = chunkMessage(c.id, c.chunk, "2", "data", c.uuid);

        expectApplicationError([&] { store.join(message); }, 20015, "join");
        store.removeCatalog(message);
    }
    EXPECT_TRUE(fileNames(store.directory()).empty());
    EXPECT_EQ(outsideRoot(), before);
}

// A document's name is data: the store keeps the file under its uuid, and the
// description keeps the name as it came.
TEST(ChunkStore, EmbeddedFileNameIsDataAndTheFileKeepsTheStoresOwnName) {
    const std::string names[] = {
        "../../evil",           "a/b\\c",
        "line\nbreak\ttab",     "invoice_\u202Efdp.exe",
        std::string(1024, 'x'), std::string(100, 'x') + "\xD0\x94\xD0\xBE\xD0\xB3.pdf"};
    ChunkStore store;
    const std::set<std::string> before = outsideRoot();
    for (const std::string& name : names) {
        const FileInfo file = description("evil", name);
        const std::string id = "named-" + std::to_string(name.size());
        const auto pieces = concat({{{"[", ""}}, embeddedFile(file, {"ZXZpbA=="}), {{"]", ""}}});

        const MessagePtr joined = joinAll(store, chunked(id, pieces));

        ASSERT_TRUE(joined) << name;
        const fs::path stored = catalog(store, id) / "evil";
        EXPECT_EQ(joined->method.data, "[" + joinedDescription(file, stored) + "]") << name;
        EXPECT_EQ(readFile(stored), "evil") << name;
    }
    EXPECT_EQ(outsideRoot(), before);
}

TEST(ChunkStore, StoreRemovesItsDirectoryWhenItEndsAndLeavesOtherStoresAlone) {
    ChunkStore first;
    const auto transfer = chunked("same-id", {{"a", ""}, {"b", ""}});
    EXPECT_FALSE(first.join(transfer[0]));
    fs::path ended;
    {
        ChunkStore second;
        EXPECT_FALSE(second.join(chunkMessage("same-id", "1", "2", "x")));
        second.removeCatalog(transfer[1]);
        ended = second.directory();
    }
    ASSERT_TRUE(eventually([&] { return !fs::exists(ended); })) << ended << " still exists";

    const MessagePtr joined = first.join(transfer[1]);

    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data, "ab");
}

int main(int argc, char** argv) {
    if (staged_program::tree().empty()) {
        return staged_program::runStaged(
            argc, argv,
            {{"config.json", R"({"format":{"type":"core","category":"zorva.plugin"}})"}});
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
