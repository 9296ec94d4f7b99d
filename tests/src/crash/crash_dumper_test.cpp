#include "temp_dir.h"

#include <boost/filesystem/operations.hpp>
#include <boost/process.hpp>

#include <map>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;
namespace bp = boost::process;

const std::string startOfDump =
    "=========================== Start of dump =====================================\r\n";

struct DriverRun {
    int status = 0;
    std::string out;
    std::string err;
};

std::string fileName(int index, const char* extension) {
    return "plugin." + std::to_string(ZORVA_PLUGIN_VERSION_BUILD) + "." + std::to_string(index) +
           ".nrv." + extension;
}

// Each file of the directory, and whether anything was written to it.
std::map<std::string, bool> filesIn(const fs::path& dir) {
    std::map<std::string, bool> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = fs::file_size(entry.path()) > 0;
    return files;
}

bool diedOf(int status, int signal) { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }

bool exitedWithZero(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

// The text of a report line after its label, up to the end of the line.
std::string field(const std::string& report, const std::string& label) {
    const auto start = report.find(label);
    if (start == std::string::npos) return {};
    const auto begin = start + label.size();
    return report.substr(begin, report.find_first_of("\r ", begin) - begin);
}

// Every scenario runs the driver as a program file "plugin" in a directory
// of its own, which then keeps the dumps, with a private home.
class CrashDumperTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "common");
        environment_["HOME"] = (root_ / "home").string();
        environment_["XDG_DATA_HOME"] = (root_ / "home/.local/share").string();
        environment_["XDG_DATA_DIRS"] = (root_ / "common").string();
    }

    fs::path install(const std::string& dir) {
        const fs::path program = root_ / dir / "plugin";
        fs::create_directories(program.parent_path());
        boost::system::error_code error;
        fs::create_hard_link(CRASH_DRIVER, program, error);
        if (error) fs::copy_file(CRASH_DRIVER, program);
        return program;
    }

    // The path registry's text of the dump directory of a program in dir.
    fs::path dumps(const std::string& dir) const { return root_ / dir / ".." / dir / "./dumps"; }

    DriverRun run(const fs::path& program, const std::vector<std::string>& args) {
        const fs::path out = root_ / "driver.out";
        const fs::path err = root_ / "driver.err";
        // The redirection does not truncate what an earlier run left.
        fs::remove(out);
        fs::remove(err);
        bp::child driver(program, bp::args(args), environment_, bp::std_out > out,
                         bp::std_err > err, bp::std_in < bp::null, bp::start_dir = root_.string());
        driver.wait();
        return {driver.native_exit_code(), readFile(out), readFile(err)};
    }

    TempDir dir_;
    // The program reports its own path with links resolved.
    const fs::path root_ = fs::canonical(dir_.path());
    bp::environment environment_ = boost::this_process::environment();
};

TEST_F(CrashDumperTest, FaultWritesReportAndDumpTellsWhereAndDiesOfTheSignal) {
    const struct {
        const char* ending;
        int signal;
        const char* codeLines;
        const char* faultModule;
    } cases[] = {
        {"null-read", SIGSEGV,
         "EXCEPTION CODE: 0xC0000005 ACCESS_VIOLATION (READ AT 0x0000000000000000)\r\n"
         "ADD PARAMETERS: 0x0000000000000000, 0x0000000000000000\r\n\r\nTHREAD ID: ",
         "/null-read/plugin"},
        {"null-write", SIGSEGV,
         "EXCEPTION CODE: 0xC0000005 ACCESS_VIOLATION (WRITE TO 0x0000000000000000)\r\n"
         "ADD PARAMETERS: 0x0000000000000001, 0x0000000000000000\r\n\r\nTHREAD ID: ",
         "/null-write/plugin"},
        {"divide", SIGFPE,
         "EXCEPTION CODE: 0xC0000094 INTEGER_DIVIDE_BY_ZERO\r\nTHREAD ID: ", "/divide/plugin"},
        {"uncaught", SIGABRT, "EXCEPTION CODE: 0xE06D7363 MSVC_CPP\r\nTHREAD ID: ", "libc.so.6"},
        // Only the thread's own alternate stack has room for the report.
        {"thread-overflow", SIGSEGV, "EXCEPTION CODE: 0xC0000005 ACCESS_VIOLATION (WRITE TO 0x",
         "/thread-overflow/plugin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ending);
        const fs::path program = install(c.ending);

        const DriverRun crashed = run(program, {c.ending});

        EXPECT_TRUE(diedOf(crashed.status, c.signal)) << crashed.status;
        const std::string report = readFile(dumps(c.ending) / fileName(0, "err"));
        EXPECT_EQ(report.rfind(startOfDump + "\r\nFAULT ADDRESS : 0x", 0), 0u) << report;
        EXPECT_NE(report.find(std::string(c.faultModule) + "\r\n" + c.codeLines), std::string::npos)
            << report;
        EXPECT_EQ(field(report, "FAULT ADDRESS : 0x"), field(report, "CS:RIP = 0033:")) << report;
        for (const char* label : {"\r\nSS:RSP = ", "\r\nRAX = ", "; R15 = ", "\r\nFS = "})
            EXPECT_NE(report.find(label), std::string::npos) << label;
        const std::string dump = readFile(dumps(c.ending) / fileName(0, "dmp"));
        EXPECT_EQ(dump.rfind("BACKTRACE:\n" + program.string() + "(", 0), 0u) << dump;
        EXPECT_NE(dump.find("\nMEMORY MAP:\n"), std::string::npos);
        EXPECT_NE(dump.find("[stack]"), std::string::npos);
        EXPECT_NE(crashed.err.find("Unexpected program exception: dump location: " +
                                   (dumps(c.ending) / fileName(0, "dmp")).string() + "\n"),
                  std::string::npos)
            << crashed.err;
    }
}

TEST_F(CrashDumperTest, LogRecordsQueuedAtTheFaultAreWrittenBeforeTheReport) {
    const fs::path program = install("logged");

    const DriverRun crashed = run(program, {"null-write", "records=20000"});

    EXPECT_TRUE(diedOf(crashed.status, SIGSEGV)) << crashed.status;
    std::string logs;
    for (const auto& entry : fs::directory_iterator(program.parent_path() / "logs"))
        logs += readFile(entry.path());
    EXPECT_NE(logs.find("driver: record 19999\n"), std::string::npos);
    EXPECT_EQ(readFile(dumps("logged") / fileName(0, "err")).rfind(startOfDump, 0), 0u);
}

TEST_F(CrashDumperTest, NextRunTakesNextIndexAndNormalExitLeavesNoEmptyFiles) {
    const fs::path program = install("P");

    EXPECT_TRUE(exitedWithZero(run(program, {"exit"}).status));
    EXPECT_TRUE(filesIn(dumps("P")).empty());
    run(program, {"null-read"});
    run(program, {"null-read"});
    EXPECT_TRUE(exitedWithZero(run(program, {"exit"}).status));

    const std::map<std::string, bool> expected = {{fileName(0, "dmp"), true},
                                                  {fileName(0, "err"), true},
                                                  {fileName(1, "dmp"), true},
                                                  {fileName(1, "err"), true}};
    EXPECT_EQ(filesIn(dumps("P")), expected);
}

TEST_F(CrashDumperTest, EmptyLeftoverIsReusedAndFilledOneIsKept) {
    const fs::path program = install("P");
    fs::create_directories(dumps("P"));
    writeFile(dumps("P") / fileName(0, "dmp"), "an earlier dump");
    writeFile(dumps("P") / fileName(0, "err"), "");

    run(program, {"null-read"});

    EXPECT_EQ(readFile(dumps("P") / fileName(0, "dmp")), "an earlier dump");
    EXPECT_EQ(readFile(dumps("P") / fileName(0, "err")).rfind(startOfDump, 0), 0u);
    EXPECT_EQ(readFile(dumps("P") / fileName(1, "dmp")).rfind("BACKTRACE:\n", 0), 0u);
}

TEST_F(CrashDumperTest, FilesOfRunningInstanceAreSkippedAndRemovedWhenItExits) {
    const fs::path program = install("P");
    bp::opstream input;
    bp::ipstream output;
    bp::child running(program, "wait", environment_, bp::std_out > output, bp::std_in < input,
                      bp::start_dir = root_.string());
    std::string line;
    std::getline(output, line);
    ASSERT_EQ(line, "init 0");

    run(program, {"null-read"});
    input << std::endl;
    running.wait();

    EXPECT_TRUE(exitedWithZero(running.native_exit_code()));
    const std::map<std::string, bool> expected = {{fileName(1, "dmp"), true},
                                                  {fileName(1, "err"), true}};
    EXPECT_EQ(filesIn(dumps("P")), expected);
}

TEST_F(CrashDumperTest, InitialisationAnswersWithItsCode) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* filledExtension;  // all 100 indices taken by earlier dumps
        std::string output;
    } cases[] = {
        {"no notification needs no template", {"mode=1"}, nullptr, "init 0\n"},
        {"message box without caption", {"mode=2", "caption=", "template=%s"}, nullptr, "init 2\n"},
        {"standard output without template", {"mode=3"}, nullptr, "init 2\n"},
        {"event log without source", {"mode=4", "template=%s"}, nullptr, "init 2\n"},
        {"event log with source", {"mode=4", "template=%s", "source=plugin"}, nullptr, "init 0\n"},
        {"second initialisation", {"mode=1", "again=1"}, nullptr, "init 0\ninit 1\n"},
        // The later "dir" wins; it is relative to the driver's working directory.
        {"missing directory", {"mode=1", "dir=missing"}, nullptr, "init 5\n"},
        {"no free dump file", {"mode=1"}, "dmp", "init 5\n"},
        {"no free report file", {"mode=1"}, "err", "init 6\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path program = install(c.name);
        const fs::path dir = root_ / c.name / "d";
        fs::create_directories(dir);
        for (int index = 0; c.filledExtension && index < 100; ++index)
            writeFile(dir / fileName(index, c.filledExtension), "an earlier dump");
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.begin(), {"exit", "dir=" + dir.string()});

        const DriverRun run = this->run(program, arguments);

        EXPECT_TRUE(exitedWithZero(run.status));
        EXPECT_EQ(run.out, c.output);
        for (const auto& [file, written] : filesIn(dir)) EXPECT_TRUE(written) << file;
    }
}

TEST_F(CrashDumperTest, NotificationGoesWhereTheModeSays) {
    const struct {
        const char* mode;
        const char* out;
        const char* err;
    } cases[] = {
        {"1", "", ""},
        {"2", "", "Crash: at "},
        {"3", "at ", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const fs::path program = install(c.mode);
        const fs::path dir = root_ / c.mode;

        const DriverRun run =
            this->run(program, {"null-read", "dir=" + dir.string(), std::string("mode=") + c.mode,
                                "caption=Crash", "template=at %s"});

        const std::string notification = (dir / fileName(0, "dmp")).string() + "\n";
        EXPECT_EQ(run.out, "init 0\n" + (*c.out ? c.out + notification : ""));
        EXPECT_EQ(run.err, *c.err ? c.err + notification : "");
        EXPECT_FALSE(readFile(dir / fileName(0, "dmp")).empty());
    }
}

TEST_F(CrashDumperTest, DirectoryAskedToBeRemovedGoesAtNormalExit) {
    const fs::path program = install("P");
    const fs::path dir = root_ / "P/d";
    fs::create_directories(dir);

    run(program, {"exit", "dir=" + dir.string(), "mode=1", "remove=1"});

    EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
