#include <gtest/gtest.h>

#include <QLibrary>

#include <boost/core/null_deleter.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/sources/logger.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>
#include <boost/log/utility/setup/formatter_parser.hpp>

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include "log_format.h"
#include "log_setup.h"
#include "logging.h"
#include "temp_dir.h"

namespace {

namespace fs = boost::filesystem;
using zorva::plugin::log::LogSettings;
using zorva::plugin::log::setupLogging;

std::vector<fs::path> logFiles(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(directory)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Records are written on a thread of the log's own: what was written so far
// is read once it has written it.
std::string allLogText(const fs::path& directory) {
    zorva::plugin::log::flush();
    std::string text;
    for (const auto& file : logFiles(directory)) text += readFile(file);
    return text;
}

class LoggingTest : public testing::Test {
protected:
    void SetUp() override { original_ = std::cerr.rdbuf(console_.rdbuf()); }
    void TearDown() override {
        boost::log::core::get()->remove_all_sinks();
        std::cerr.rdbuf(original_);
    }

    TempDir dir_;
    std::ostringstream console_;
    std::streambuf* original_ = nullptr;
};

TEST_F(LoggingTest, InfoReachesConsoleAndFileAndDebugNeither) {
    setupLogging(dir_.path(), LogSettings{});
    PLUGIN_LOG(debug) << "hidden record";
    PLUGIN_LOG(info) << "core: start";

    const std::string file = allLogText(dir_.path());
    EXPECT_TRUE(std::regex_match(file, std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d+\] )"
                                                  R"(\{0x[0-9a-f]+\}: core: start\n)")))
        << file;
    EXPECT_TRUE(std::regex_search(console_.str(), std::regex(R"(\} <info>: core: start\n$)")))
        << console_.str();
    EXPECT_EQ(console_.str().find("hidden"), std::string::npos);
}

// Before the log directory is known, records reach the console alone; each
// console line ends with one line feed, as file lines do.
TEST_F(LoggingTest, ConsoleAloneUntilTheLogDirectoryIsKnown) {
    zorva::plugin::log::setupConsoleLogging();
    PLUGIN_LOG(info) << "core: early\n";
    PLUGIN_LOG(debug) << "core: hidden";
    setupLogging(dir_.path(), LogSettings{});
    PLUGIN_LOG(warning) << "core: later";

    const std::string file = allLogText(dir_.path());
    EXPECT_EQ(file.find("early"), std::string::npos) << file;
    EXPECT_NE(file.find("}: core: later\n"), std::string::npos) << file;
    EXPECT_TRUE(std::regex_match(console_.str(), std::regex(R"([^\n]+ <info>: core: early\n)"
                                                            R"([^\n]+ <warning>: core: later\n)")))
        << console_.str();
}

// The lines are written on a thread of the log's own: a log file that cannot
// be opened must not end the process there. The console goes on.
TEST_F(LoggingTest, LogFileThatCannotBeOpenedLeavesTheConsole) {
    LogSettings settings;
    settings.rotationSize = 1024;
    setupLogging(dir_.path(), settings);
    PLUGIN_LOG(info) << "core: first";
    zorva::plugin::log::flush();
    // A file where the directory was: the next file cannot be made.
    fs::remove_all(dir_.path());
    writeFile(dir_.path(), "not a directory");
    for (int i = 0; i < 20; ++i) PLUGIN_LOG(info) << "core: record " << i << std::string(100, '.');
    zorva::plugin::log::flush();

    EXPECT_NE(console_.str().find("core: record 19"), std::string::npos) << console_.str();
}

// A thread writes its records through streams it keeps: what one record did
// to its stream, or a record written while another is being streamed, does
// not reach the text of another.
struct LogsWhileStreamed {};
std::ostream& operator<<(std::ostream& out, LogsWhileStreamed) {
    PLUGIN_LOG(info) << "inner " << 7;
    return out << "value";
}

TEST_F(LoggingTest, RecordTextsAreTheirOwn) {
    LogSettings settings;
    settings.console = false;
    setupLogging(dir_.path(), settings);
    PLUGIN_LOG(info) << "first " << std::hex << std::setw(6) << std::setfill('*') << 255;
    PLUGIN_LOG(info) << "second " << 255 << ' ' << 0.5;
    PLUGIN_LOG(info) << "outer " << LogsWhileStreamed() << " end";
    PLUGIN_LOG(debug) << "below the severity " << LogsWhileStreamed();

    const std::string file = allLogText(dir_.path());
    std::vector<std::string> texts;
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);)
        texts.push_back(line.substr(line.find("}: ") + 3));
    EXPECT_EQ(texts, (std::vector<std::string>{"first ****ff", "second 255 0.5", "inner 7",
                                               "outer value end", "inner 7"}));
}

// The sinks format their lines by hand; readers of the log know the lines the
// format strings give, to the byte.
TEST_F(LoggingTest, LinesAreThoseOfTheFormatStrings) {
    namespace logging = boost::log;
    using Backend = logging::sinks::text_ostream_backend;
    using Formatter = logging::formatter;
    logging::add_common_attributes();
    logging::register_simple_formatter_factory<logging::trivial::severity_level, char>("Severity");
    const std::pair<const char*, Formatter> formats[] = {
        {"%TimeStamp% {%ThreadID%} <%Severity%>: %Message%",
         Formatter(&zorva::plugin::log::formatConsoleLine)},
        {"[%TimeStamp%] {%ThreadID%}: %Message%", Formatter(&zorva::plugin::log::formatFileLine)},
    };
    std::vector<std::ostringstream> texts(4);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto backend = boost::make_shared<Backend>();
        backend->add_stream(boost::shared_ptr<std::ostream>(&texts[i], boost::null_deleter()));
        auto sink = boost::make_shared<logging::sinks::synchronous_sink<Backend>>(backend);
        const auto& [format, handWritten] = formats[i / 2];
        sink->set_formatter(i % 2 ? handWritten : logging::parse_formatter(format));
        logging::core::get()->add_sink(sink);
    }

    PLUGIN_LOG(warning) << "session: handle message: id: \"ünï\"";
    PLUGIN_LOG(info) << "two";

    for (std::size_t i = 0; i < texts.size(); i += 2) {
        EXPECT_EQ(texts[i + 1].str(), texts[i].str());
        EXPECT_NE(texts[i].str().find("ünï"), std::string::npos) << texts[i].str();
    }
}

TEST_F(LoggingTest, RecordWithoutSeverityIsDropped) {
    setupLogging(dir_.path(), LogSettings{});
    boost::log::sources::logger plain;
    BOOST_LOG(plain) << "no severity";
    PLUGIN_LOG(warning) << "kept";
    EXPECT_EQ(allLogText(dir_.path()).find("no severity"), std::string::npos);
    EXPECT_EQ(console_.str().find("no severity"), std::string::npos);
}

TEST_F(LoggingTest, LineFeedIsAddedOnlyWhereMissing) {
    LogSettings settings;
    settings.console = false;
    setupLogging(dir_.path(), settings);
    PLUGIN_LOG(info) << "one\n";
    PLUGIN_LOG(info) << "two";
    const std::string file = allLogText(dir_.path());
    EXPECT_NE(file.find("one\n["), std::string::npos) << file;
    EXPECT_EQ(file.find("one\n\n"), std::string::npos);
    EXPECT_TRUE(console_.str().empty());
}

TEST_F(LoggingTest, FilesOfEarlierRunsCountTowardsTheLimit) {
    for (int day = 1; day <= 50; ++day) {
        char name[32];
        std::snprintf(name, sizeof name, "2000-01-%02d_000000.log", day % 28 + 1);
        writeFile(dir_ / (std::string(name).replace(5, 2, std::to_string(10 + day / 28))), "old\n");
    }
    ASSERT_EQ(logFiles(dir_.path()).size(), 50u);
    setupLogging(dir_.path(), LogSettings{});
    PLUGIN_LOG(info) << "new run";
    boost::log::core::get()->remove_all_sinks();  // closing rotates the current file

    const auto files = logFiles(dir_.path());
    EXPECT_EQ(files.size(), 50u);
    EXPECT_EQ(files.front().filename().string(), "2000-10-02_000000.log");
}

TEST_F(LoggingTest, RecordsBeyondWhatTheQueueHoldsWaitInsteadOfBeingDropped) {
    LogSettings settings;
    settings.console = false;
    setupLogging(dir_.path(), settings);
    constexpr int count = 20000;
    for (int i = 0; i < count; ++i) PLUGIN_LOG(info) << "record " << i;

    const std::string file = allLogText(dir_.path());

    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), count);
    EXPECT_NE(file.find("record 19999\n"), std::string::npos);
}

// Nobody flushes a running host: the log's writer wakes for a record, from
// the program or from a module, by itself.
TEST_F(LoggingTest, RecordsReachTheFileWithoutAFlush) {
    LogSettings settings;
    settings.console = false;
    setupLogging(dir_.path(), settings);
    QLibrary probe(PROBE_LIBRARY);
    ASSERT_TRUE(probe.load()) << probe.errorString().toStdString();
    auto log = reinterpret_cast<void (*)(const char*)>(probe.resolve("probeLog"));
    ASSERT_TRUE(log);
    for (const char* line : {"core: first", "ws: second, from the module", "core: third"}) {
        line[0] == 'w' ? log(line) : static_cast<void>(PLUGIN_LOG(info) << line);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string text;
        while (text.find(line) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            text.clear();
            for (const auto& file : logFiles(dir_.path())) text += readFile(file);
        }
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}

TEST_F(LoggingTest, ModuleRecordsLandInTheProgramsFile) {
    setupLogging(dir_.path(), LogSettings{});
    QLibrary probe(PROBE_LIBRARY);
    ASSERT_TRUE(probe.load()) << probe.errorString().toStdString();
    auto log = reinterpret_cast<void (*)(const char*)>(probe.resolve("probeLog"));
    ASSERT_TRUE(log);
    PLUGIN_LOG(info) << "from the program";
    log("ws: from the module");
    const std::string file = allLogText(dir_.path());
    EXPECT_NE(file.find("from the program"), std::string::npos);
    EXPECT_NE(file.find("ws: from the module"), std::string::npos);
}

TEST_F(LoggingTest, OversizedRecordIsCutWithANote) {
    const std::string capped =
        zorva::plugin::log::capRecordText(std::string(zorva::plugin::log::maxRecordSize + 10, 'x'));
    EXPECT_EQ(capped.size(),
              zorva::plugin::log::maxRecordSize + std::string(" ... (10 bytes cut)").size());
    EXPECT_EQ(capped.substr(capped.size() - 19), " ... (10 bytes cut)");
    EXPECT_EQ(zorva::plugin::log::capRecordText("short"), "short");
}

}  // namespace
