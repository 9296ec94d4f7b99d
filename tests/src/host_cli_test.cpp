// The real program, run from a private copy of the staged program directory
// with a stand-in native-messaging module beside the system module.
#include "staged_host.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string nmhEntry = R"(core: set meta {"format":{"type":"nmh","version":"",)"
                             R"("category":"protocol","description":""},"data":""})";
const std::string noConfig = "std::exception::what: no config specified";

struct Case {
    std::string name;
    std::vector<std::string> arguments;
    int exitCode;
    std::vector<std::string> logged;  // in this order
    std::vector<std::string> notLogged;
    std::map<std::string, std::string> environment = {};
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::string echoRequest() { return std::string(EXAMPLES_DIR) + "/request_echo.json"; }

class HostRun : public testing::TestWithParam<Case> {};

TEST_P(HostRun, ExitsAndLogs) {
    const Case& c = GetParam();
    StagedHost host;

    const auto run = host.run(c.arguments, c.environment);

    EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
    std::size_t position = 0;
    for (const auto& text : c.logged) {
        position = run.log.find(text, position);
        ASSERT_NE(position, std::string::npos) << "missing or out of order: " << text << "\n"
                                               << run.log;
    }
    for (const auto& text : c.notLogged) EXPECT_FALSE(run.logs(text)) << text << "\n" << run.log;
}

const Case startCases[] = {
    {"NoArgumentsExitsWithOne", {}, 1, {"core: ", "exception: ", noConfig}, {"core: start"}},
    {"ExtensionOriginStartsHostWithNmh",
     {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
     0,
     {nmhEntry, "core: start, category: zorva.plugin, version: 1.3.19.0, process: ",
      "session: set protocol: nmh", "protocol: thread ", "fake nmh: run", "core: finish"},
     {"exception: "}},
    {"PlainArgumentExitsWithOne", {"/tmp/page.html"}, 1, {noConfig}, {"core: start"}},
    {"TwoArgumentsStartHostWithNmh", {"one", "two"}, 0, {nmhEntry, "fake nmh: run"}, {}},
    {"ThreeArgumentsExitWithOne",
     {"chrome-extension://abcdefghijklmnopabcdefghijklmnop/", "two", "three"},
     1,
     {noConfig},
     {"core: start"}},
    {"ParentWindowIgnoresArgumentAndUsesNmh",
     {"--parent-window=123", "/tmp/page.html"},
     0,
     {nmhEntry, "fake nmh: run"},
     {}},
    {"ProtocolOptionReplacesProtocolEntry",
     {"-P", "ws"},
     0,
     {R"(core: set meta {"format":{"type":"ws","version":"","category":"protocol")",
      "session: set protocol: []", "core: finish"},
     {"protocol: thread "}},
    {"AgentPrintsRecordOnly",
     {"-a"},
     0,
     {R"(user agent: {"user":")", R"(","process":"plugin"})"},
     {"core: start"}},
    {"AgentWinsOverConfig",
     {"-a", "-c", ""},
     0,
     {"user agent: "},
     {"process program option: config"}},
    {"UnknownOptionExitsWithOne", {"--bogus"}, 1, {"core: ", "Unknown option 'bogus'."}, {}},
    {"MissingValueExitsWithOne", {"-P"}, 1, {"Missing value after '-P'."}, {}},
};
INSTANTIATE_TEST_SUITE_P(Start, HostRun, testing::ValuesIn(startCases),
                         [](const auto& info) { return info.param.name; });

const Case jobCases[] = {
    {"MissingRequestFileIsAnsweredWithError",
     {"-r", "missing.json"},
     0,
     {R"(core: process singleshot from "missing.json")", "core: singleshot ",
      R"("error":"request not exists")", "core: finish"},
     {"fake nmh: run"}},
    {"RequestFileIsAnsweredBySystemModule",
     {"-r", echoRequest()},
     0,
     {"core: singleshot ", R"("id":"echo-1")", R"("result":"hello from a request file")",
      // A request file is the origin of its request.
      R"("origin":"file://)" + echoRequest() + '"', "core: finish"},
     {"fake nmh: run", "exception: "}},
    {"RequestWithProtocolOptionRunsProtocol",
     {"-r", echoRequest(), "-P", "nmh"},
     0,
     {"protocol: thread ", "fake nmh: run", "core: finish"},
     {"core: process singleshot"}},
    {"AlgorithmsOfProviderAreAnswered",
     {"-A", "Crypto Pro"},
     0,
     {"core: process algorithms from Crypto Pro", "core: algorithms no algorithms found",
      "core: finish"},
     {"fake nmh: run"}},
    {"AlgorithmsWithoutProviderRunProtocol",
     {"-A"},
     0,
     {"protocol: thread ", "fake nmh: run", "core: finish"},
     {"core: process algorithms"}},
    {"RussianUserGetsTheTranslation",
     {"-r", "missing.json"},
     0,
     {"core: finish"},
     {"translator: "},
     {{"LANG", "ru_RU.UTF-8"}, {"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}}},
    {"EnglishUserKeepsTheEnglishTexts",
     {"-r", "missing.json"},
     0,
     {"translator: the windows stay in English, the user's language is not ru_RU", "core: finish"},
     {"translator: load failed"},
     {{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}}},
    {"FailingJobIsLoggedAndExitsWithZero",
     {"-P", "nmh"},
     0,
     {"failed, reason: fake nmh: browser pipe closed", "core: finish"},
     {"exception: "},
     {{"FAKE_NMH_FAIL", "1"}}},
};
INSTANTIATE_TEST_SUITE_P(CoreJob, HostRun, testing::ValuesIn(jobCases),
                         [](const auto& info) { return info.param.name; });

TEST(HostFiles, HostRunLogsToFileAndLeavesNoUnusedDumpFiles) {
    namespace fs = boost::filesystem;
    StagedHost host;

    const auto run = host.run({"-r", "missing.json"});

    ASSERT_EQ(run.exitCode, 0) << run.log;
    std::string logFiles;
    for (const auto& entry : fs::directory_iterator(host.dataDir() / "logs"))
        logFiles += readFile(entry.path());
    EXPECT_NE(logFiles.find("core: finish"), std::string::npos);
    ASSERT_TRUE(fs::is_directory(host.dataDir() / "dumps"));
    EXPECT_TRUE(fs::is_empty(host.dataDir() / "dumps"));
}

// A session without a display: the host must not abort (exit 134 with empty
// dump files) but run as with one, offscreen, without tray and windows.
struct HeadlessCase {
    std::string name;
    std::vector<std::string> arguments;
    std::string printed;  // on standard output, or empty
    std::string logged;
};

void PrintTo(const HeadlessCase& c, std::ostream* out) { *out << c.name; }

class Headless : public testing::TestWithParam<HeadlessCase> {};

TEST_P(Headless, RunsAsWithADisplay) {
    namespace fs = boost::filesystem;
    const HeadlessCase& c = GetParam();
    StagedHost host;

    const auto run = host.run(c.arguments, {}, {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"});

    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(run.logs("core: no display, running without tray icon and windows")) << run.log;
    EXPECT_TRUE(run.logs(c.logged)) << c.logged << "\n" << run.log;
    EXPECT_NE(run.out.find(c.printed), std::string::npos) << run.out;
    EXPECT_FALSE(run.logs("platform plugin")) << run.log;
    const fs::path dumps = host.dataDir() / "dumps";
    if (fs::is_directory(dumps)) EXPECT_TRUE(fs::is_empty(dumps));
}

const HeadlessCase headlessCases[] = {
    {"Help", {"-h"}, "-P, --protocol <string>", "core: "},
    {"Version", {"-v"}, "plugin 1.3.19.0\n", "core: "},
    {"Agent", {"-a"}, "", R"(user agent: {"user":")"},
    {"RequestFile", {"-r", "missing.json"}, "", R"("error":"request not exists")"},
    {"Algorithms", {"-A", "Crypto Pro"}, "", "core: algorithms no algorithms found"},
    {"Protocol", {"-P", "ws"}, "", "core: finish"},
};
INSTANTIATE_TEST_SUITE_P(NoDisplay, Headless, testing::ValuesIn(headlessCases),
                         [](const auto& info) { return info.param.name; });

TEST(HostParser, VersionPrintsNameAndVersion) {
    StagedHost host;

    const auto run = host.run({"-v"});

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "plugin 1.3.19.0\n");
}

TEST(HostParser, HelpListsTheOptions) {
    StagedHost host;

    const auto run = host.run({"-h"});

    EXPECT_EQ(run.exitCode, 0);
    for (const char* text :
         {"Application options", "-c, --config <file>", "-p, --parent-window <number>",
          "-P, --protocol <string>", "-r, --request <file>", "-a, --agent", "-A, --algorithms",
          "browser-positional-args"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
}

}  // namespace
