#include "platform.h"

#include "scoped_environment.h"

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <optional>
#include <string>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;
namespace platform = zorva::plugin::platform;

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / fs::unique_path("platform-%%%%-%%%%-%%%%");
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    ScopedEnvironment environment_;
};

TEST_F(PlatformTest, UserDataDirComesFromXdgDataHomeElseLocalShareAndIsCreated) {
    const std::string home = (root_ / "home").string();
    const struct {
        std::optional<std::string> xdgDataHome;
        std::string expected;
    } cases[] = {
        {home + "/data", home + "/data"},          {home + "/trailing/", home + "/trailing"},
        {std::nullopt, home + "/.local/share"},    {std::string(), home + "/.local/share"},
        {"relative/data", home + "/.local/share"},
    };
    environment_.set("HOME", home);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdgDataHome.value_or("(unset)"));
        environment_.set("XDG_DATA_HOME", c.xdgDataHome);

        const fs::path dir = platform::userDataDir();

        EXPECT_EQ(dir.string(), c.expected);
        EXPECT_TRUE(fs::is_directory(dir));
    }
}

TEST_F(PlatformTest, CommonDataDirIsFirstExistingEntryOfXdgDataDirsElseUsrLocalShare) {
    const std::string first = (root_ / "first").string();
    const std::string second = (root_ / "second").string();
    const std::string missing = (root_ / "missing").string();
    fs::create_directories(first);
    fs::create_directories(second);
    const struct {
        std::optional<std::string> xdgDataDirs;
        std::string expected;
    } cases[] = {
        {first + ":" + second, first},
        {first + "/:" + second, first},
        {second, second},
        {missing + ":" + second + ":" + first, second},
        {"::" + first, first},
        {missing, "/usr/local/share"},
        {std::nullopt, "/usr/local/share"},
        {std::string(), "/usr/local/share"},
        {"relative:" + second, second},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdgDataDirs.value_or("(unset)"));
        environment_.set("XDG_DATA_DIRS", c.xdgDataDirs);

        EXPECT_EQ(platform::commonDataDir().string(), c.expected);
    }
}

TEST_F(PlatformTest, OnlyExistingDirectoriesAreWritable) {
    std::ofstream((root_ / "file").string()) << "x";

    EXPECT_TRUE(platform::isWritableDirectory(root_));
    EXPECT_FALSE(platform::isWritableDirectory(root_ / "file"));
    EXPECT_FALSE(platform::isWritableDirectory(root_ / "missing"));
}

TEST_F(PlatformTest, NamesFallBackToAccountAndHostWhenUnset) {
    environment_.set("USERNAME", std::nullopt);
    environment_.set("COMPUTERNAME", std::nullopt);
    environment_.set("USERDOMAIN", std::nullopt);
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);

    EXPECT_FALSE(platform::userName().empty());
    EXPECT_EQ(platform::computerName(), host);
    EXPECT_FALSE(platform::userDomain().empty());  // "(none)" on a machine without one
}

// The child starts a grandchild, which starts a great-grandchild, and then ends
// its tree. This process adopts the orphans, so it can tell how they ended.
TEST(Platform, KillProcessTreeEndsEveryDescendantAndExitsWithZero) {
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int started[2];
        if (::pipe(started) != 0) ::_exit(2);
        if (::fork() == 0) {
            pid_t ids[2] = {::getpid(), ::fork()};
            if (ids[1] == 0)
                for (;;) ::pause();
            if (::write(started[1], ids, sizeof ids) != sizeof ids) ::_exit(2);
            for (;;) ::pause();
        }
        pid_t ids[2];
        if (::read(started[0], ids, sizeof ids) != sizeof ids) ::_exit(2);
        if (::write(report[1], ids, sizeof ids) != sizeof ids) ::_exit(2);
        platform::killProcessTreeAndExit();
    }
    ::close(report[1]);
    pid_t descendants[2] = {};
    ASSERT_EQ(::read(report[0], descendants, sizeof descendants),
              static_cast<ssize_t>(sizeof descendants));
    ::close(report[0]);

    int childStatus = 0;
    ASSERT_EQ(::waitpid(child, &childStatus, 0), child);
    EXPECT_TRUE(WIFEXITED(childStatus));
    EXPECT_EQ(WEXITSTATUS(childStatus), 0);
    for (const pid_t id : descendants) {
        // Should a descendant have survived, end it otherwise than the tree
        // kill would, so the test fails instead of waiting for ever.
        ::kill(id, SIGTERM);
        ::kill(id, SIGCONT);
        int status = 0;
        ASSERT_EQ(::waitpid(id, &status, 0), id);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
    }
}

}  // namespace
