// The installation step (-c) of the real program, in a private copy of the
// staged program directory with a development tree's token resources.
#include "staged_host.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

namespace fs = boost::filesystem;

std::string resource(const std::string& branding, const std::string& file) {
    return readFile(fs::path(UI_RESOURCES_DIR) / branding / file);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class ConfigOption : public testing::Test {
protected:
    void placeTokenLibraries(std::initializer_list<std::string> tokens) {
        for (const auto& token : tokens) {
            fs::create_directories(host.tokenResourceDir(token));
            writeFile(host.tokenResourceDir(token) / ("lib" + token + ".so"), token);
        }
    }

    std::string programFile(const std::string& name) const {
        return readFile(host.programDir() / name);
    }

    StagedHost host;
};

TEST_F(ConfigOption, EmptyValueResetsFilesFromResourcesAndCopiesTokenLibraries) {
    placeTokenLibraries({"rutoken", "jacarta", "esmart"});
    writeFile(host.programDir() / "config.json", resource("civara", "config.json"));
    writeFile(host.dataDir() / "style.css.user", "/*old*/");

    const auto run = host.run({"-c", ""});

    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(programFile("config.json.user"), resource("zorva", "config.json"));
    EXPECT_EQ(programFile("config.json"), resource("zorva", "config.json"));
    EXPECT_EQ(programFile("style.css.user"), resource("zorva", "style.css"));
    EXPECT_EQ(programFile("style.css"), resource("zorva", "style.css"));
    for (const std::string token : {"rutoken", "jacarta", "esmart"})
        EXPECT_EQ(programFile("lib" + token + ".so"), token);
    EXPECT_TRUE(run.logs(R"(process program option: config "")"));
    EXPECT_TRUE(run.logs(R"(reset config file from resource: ":/zorva_plugin/config.json")"));
    EXPECT_TRUE(run.logs("reset user style file: "));
    EXPECT_TRUE(run.logs("copy token libs to: "));
}

TEST_F(ConfigOption, MissingFileChangesNothing) {
    const auto missing = host.root() / "Absent.json";
    const std::string before = programFile("config.json");

    const auto run = host.run({"-c", missing.string()});

    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_TRUE(run.logs("process program option: config \"" + missing.string() + "\""));
    EXPECT_FALSE(run.logs("reset "));
    EXPECT_EQ(programFile("config.json"), before);
    EXPECT_FALSE(fs::exists(host.dataDir() / "config.json.user"));
}

TEST_F(ConfigOption, ExistingFileBecomesBothConfigFilesAndSelectsItsBranding) {
    placeTokenLibraries({"rutoken", "jacarta", "esmart"});
    // Capitals and a blank: the path is used as given.
    const auto given = host.root() / "Civara Config.json";
    writeFile(given, resource("civara", "config.json"));

    const auto run = host.run({"-c", given.string()});

    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(programFile("config.json.user"), resource("civara", "config.json"));
    EXPECT_EQ(programFile("config.json"), resource("civara", "config.json"));
    EXPECT_TRUE(
        startsWith(programFile("style.css.user"), "/*8D55BEB1-BF85-4023-AEA8-E28A05C34C5D*/"));
    EXPECT_TRUE(run.logs("reset user config file: "));
}

TEST_F(ConfigOption, MissingTokenDirectoryExitsWithOneAfterEarlierSteps) {
    placeTokenLibraries({"rutoken", "jacarta"});

    const auto run = host.run({"-c", ""});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(programFile("config.json.user"), resource("zorva", "config.json"));
    EXPECT_EQ(programFile("librutoken.so"), "rutoken");
    EXPECT_EQ(programFile("libjacarta.so"), "jacarta");
    EXPECT_TRUE(run.logs("exception: "));
    EXPECT_TRUE(run.logs("esmart"));
}

TEST_F(ConfigOption, SubdirectoryInTokenDirectoryExitsWithOne) {
    placeTokenLibraries({"rutoken", "jacarta", "esmart"});
    fs::create_directories(host.tokenResourceDir("jacarta") / "x64");

    const auto run = host.run({"-c", ""});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.logs("exception: "));
    EXPECT_FALSE(fs::exists(host.programDir() / "libesmart.so"));
}

}  // namespace
