// What one chunk store may see and hold: its own directory, private to the
// user, apart from the stores of other connections and other processes, within
// the limits of the configuration.

#include "chunk_limits.h"
#include "chunk_store.h"
#include "exception.h"
#include "log_capture.h"
#include "message.h"
#include "platform.h"
#include "staged_program.h"
#include "temp_dir.h"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem.hpp>
#include <boost/make_shared.hpp>
#include <boost/process.hpp>

#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;
namespace bp = boost::process;
using zorva::plugin::ChunkLimits;
using zorva::plugin::ChunkStore;
using zorva::plugin::exception::ApplicationException;
using zorva::plugin::format::Message;
using zorva::plugin::format::MessagePtr;

constexpr const char* abandonOption = "--abandon-a-transfer";
constexpr const char* startOption = "--start-a-store";

MessagePtr chunk(const std::string& id, const std::string& number, const std::string& count,
                 const std::string& data, const std::string& uuid = "") {
    auto message = boost::make_shared<Message>();
    message->id = id;
    message->method.data = data;
    message->meta.id = uuid;
    message->meta.chunk = number;
    message->meta.chunks = count;
    return message;
}

// The code of the ApplicationException the action raises, 0 for none, -1 for
// another exception; `detail` receives the Message_ detail when there is one.
int failureCode(const std::function<void()>& action, std::string* detail = nullptr) {
    try {
        action();
        return 0;
    } catch (const ApplicationException& error) {
        using Message_ = zorva::plugin::exception::Message_;
        if (const std::string* text = boost::get_error_info<Message_>(error); text && detail)
            *detail = *text;
        return error.code().value();
    } catch (...) {
        return -1;
    }
}

unsigned mode(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 0777;
}

// Each process of this program a store of its own, as the host and each module
// of every host process of the user would have.
int runChild(const char* option) {
    const fs::path self = zorva::plugin::platform::programLocation();
    bp::child child(self, option, bp::std_out > bp::null);
    child.wait();
    return child.exit_code();
}

std::vector<fs::path> processDirectories() {
    std::vector<fs::path> directories;
    for (const auto& entry : fs::directory_iterator(ChunkStore::root()))
        if (fs::is_directory(entry.symlink_status())) directories.push_back(entry.path());
    return directories;
}

}  // namespace

TEST(ChunkStoreIsolation, AnotherProcessKeepsLiveTransfersAndRemovesWhatEndedProcessesLeft) {
    ChunkStore store;
    EXPECT_FALSE(store.join(chunk("live", "1", "2", "a")));
    ASSERT_EQ(runChild(abandonOption), 0);
    ASSERT_EQ(processDirectories().size(), 2u) << "the ended process left its directory";

    ASSERT_EQ(runChild(startOption), 0);

    EXPECT_EQ(processDirectories(), std::vector<fs::path>{store.directory().parent_path()});
    const MessagePtr joined = store.join(chunk("live", "2", "2", "b"));
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->method.data, "ab");
}

TEST(ChunkStoreIsolation, EveryDirectoryOnTheWayIsTheUsersAlone) {
    ChunkStore store;

    EXPECT_FALSE(store.join(chunk("private", "1", "2", "secret")));

    const fs::path catalog = store.directory() / "private";
    for (const fs::path& directory :
         {ChunkStore::root(), store.directory().parent_path(), store.directory(), catalog})
        EXPECT_EQ(mode(directory), 0700u) << directory;
}

TEST(ChunkStoreIsolation, PlantedCatalogIsRefusedWith20015AndLogged) {
    TempDir elsewhere;
    const std::vector<std::function<void(const fs::path&)>> plants = {
        [&](const fs::path& name) { fs::create_symlink(elsewhere.path(), name); },
        [](const fs::path& name) { writeFile(name, "not a directory"); },
    };
    for (const auto& plant : plants) {
        ChunkStore store;
        LogCapture log;
        plant(store.directory() / "planted");

        EXPECT_EQ(failureCode([&] { store.join(chunk("planted", "1", "2", "x")); }), 20015);

        EXPECT_TRUE(fs::is_empty(elsewhere.path()));
        EXPECT_EQ(log.texts("chunk store: refused").size(), 1u);
    }
}

TEST(ChunkStoreIsolation, ChunkNumbersOutsideOneToChunksAreRefused) {
    const std::pair<const char*, const char*> cases[] = {{"0", "2"},  {"3", "2"},  {"", "2"},
                                                         {"-1", "2"}, {"1", "-2"}, {"2", "0"}};
    ChunkStore store;
    for (const auto& [number, count] : cases) {
        EXPECT_EQ(failureCode([&] { store.join(chunk("range", number, count, "x")); }), 20015)
            << number << "/" << count;
    }
    EXPECT_TRUE(fs::is_empty(store.directory()));
}

TEST(ChunkStoreIsolation, ConnectionLimitsRefuseWith20026AndNameTheLimit) {
    struct Case {
        const char* name;
        ChunkLimits limits;
        std::vector<MessagePtr> accepted;
        MessagePtr refused;
        const char* detail;
    };
    const auto limits = [](auto change) {
        ChunkLimits value;
        change(value);
        return value;
    };
    const std::vector<Case> cases = {
        {"transfers",
         limits([](ChunkLimits& l) { l.transfers = 2; }),
         {chunk("t1", "1", "2", "a"), chunk("t2", "1", "2", "a")},
         chunk("t3", "1", "2", "a"),
         "open transfers"},
        {"chunks",
         limits([](ChunkLimits& l) { l.chunks = 2; }),
         {chunk("c", "1", "9", "a"), chunk("c", "2", "9", "a"), chunk("c", "2", "9", "b")},
         chunk("c", "3", "9", "a"),
         "chunks"},
        {"bytes",
         limits([](ChunkLimits& l) { l.bytes = 10; }),
         {chunk("b", "1", "9", "12345"), chunk("b", "2", "9", "12345")},
         chunk("b", "3", "9", "1"),
         "bytes of chunks"},
        // A packed chunk sent again leaves its earlier bytes where they were.
        {"bytes of packed chunks",
         limits([](ChunkLimits& l) { l.bytes = 10; }),
         {chunk("p", "2", "9", "QUJD", "f"), chunk("p", "2", "9", "QUJD", "f"),
          chunk("p", "2", "9", "QUJD", "f")},
         chunk("p", "2", "9", "QUJD", "f"),
         "bytes of chunks"},
        {"memory",
         limits([](ChunkLimits& l) { l.memory = 10; }),
         {chunk("m", "1", "9", "{", "f"), chunk("m", "2", "9", "12345", "f"),
          chunk("m", "3", "9", "12345", "f")},
         chunk("m", "4", "9", "123456789012", "f"),
         "in memory"},
    };
    for (const Case& c : cases) {
        ChunkStore store(c.limits);
        for (const MessagePtr& accepted : c.accepted)
            EXPECT_EQ(failureCode([&] { store.join(accepted); }), 0) << c.name;
        std::string detail;

        EXPECT_EQ(failureCode([&] { store.join(c.refused); }, &detail), 20026) << c.name;

        EXPECT_NE(detail.find(c.detail), std::string::npos) << c.name << ": " << detail;
    }
}

TEST(ChunkStoreIsolation, VolumeWithoutTheSpaceToKeepFreeRefusesEveryTransferWith20019) {
    ChunkLimits limits;
    limits.freeSpace = std::numeric_limits<std::uintmax_t>::max();
    ChunkStore store(limits);

    for (const char* id : {"first", "second"})
        EXPECT_EQ(failureCode([&] { store.join(chunk(id, "1", "2", "a")); }), 20019) << id;

    EXPECT_TRUE(fs::is_empty(store.directory()));
}

TEST(ChunkStoreIsolation, RemovedTransferGivesBackItsShareOfTheLimits) {
    ChunkLimits limits;
    limits.transfers = 1;
    limits.memory = 8;
    // Room for one transfer's chunks: the packed one's bytes must come back too.
    limits.bytes = 12;
    ChunkStore store(limits);
    const auto send = [&](const std::string& id) {
        store.join(chunk(id, "1", "3", "{", "file"));
        store.join(chunk(id, "2", "3", "12345678", "file"));
    };
    send("first");

    store.removeCatalog(chunk("first", "", "", ""));

    EXPECT_EQ(failureCode([&] { send("second"); }), 0);
}

TEST(ChunkStoreIsolation, IdleTransferIsDroppedWhenTheNextChunkArrives) {
    ChunkLimits limits;
    limits.idle = std::chrono::seconds(0);
    ChunkStore store(limits);
    LogCapture log;
    EXPECT_FALSE(store.join(chunk("idle", "1", "2", "a")));

    EXPECT_FALSE(store.join(chunk("busy", "1", "2", "b")));

    EXPECT_EQ(log.texts("chunk store: drop idle transfer id: \"idle\"").size(), 1u);
    EXPECT_EQ(failureCode([&] { store.join(chunk("idle", "2", "2", "c")); }), 20024);
}

TEST(ChunkStoreIsolation, PayloadOverTheMemoryBoundIsRefusedWith20023BeforeJoining) {
    ChunkLimits limits;
    limits.payload = 6;
    ChunkStore store(limits);
    EXPECT_FALSE(store.join(chunk("big", "1", "2", "1234")));
    std::string detail;

    EXPECT_EQ(failureCode([&] { store.join(chunk("big", "2", "2", "567")); }, &detail), 20023);

    EXPECT_NE(detail.find("7 bytes"), std::string::npos) << detail;
}

TEST(ChunkStoreIsolation, LimitsComeFromTheConfigurationAndBadEntriesKeepTheDefault) {
    const ChunkLimits& limits = zorva::plugin::configuredChunkLimits();

    EXPECT_EQ(limits.transfers, 3u);
    EXPECT_EQ(limits.idle, std::chrono::seconds(42));
    EXPECT_EQ(limits.chunks, ChunkLimits().chunks);
    EXPECT_EQ(limits.bytes, ChunkLimits().bytes);
}

int main(int argc, char** argv) {
    if (staged_program::tree().empty()) {
        return staged_program::runStaged(
            argc, argv,
            {{"config.json", R"({"format":{"type":"core","category":"zorva.plugin"},"meta":[
                {"format":{"type":"core","category":"chunks.transfers"},"data":"3"},
                {"format":{"type":"core","category":"chunks.idle"},"data":"42"},
                {"format":{"type":"core","category":"chunks.chunks"},"data":"-5"},
                {"format":{"type":"core","category":"chunks.bytes"},"data":"1e9"}]})"}});
    }
    if (argc == 2 && argv[1] == std::string(abandonOption)) {
        ChunkStore store;
        store.join(chunk("abandoned", "1", "2", "x"));
        std::_Exit(0);  // as a crash would: no destructor runs
    }
    if (argc == 2 && argv[1] == std::string(startOption)) {
        ChunkStore store;
        store.join(chunk("started", "1", "2", "x"));
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
