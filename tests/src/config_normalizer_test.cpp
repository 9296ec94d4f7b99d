#include <gtest/gtest.h>

#include "config_normalizer.h"
#include "log_capture.h"
#include "temp_dir.h"

#include <QDateTime>
#include <QFileInfo>

#include <boost/make_shared.hpp>

#include <ctime>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using zorva::plugin::ConfigFiles;
using zorva::plugin::ConfigNormalizer;
using zorva::plugin::format::Config;
using zorva::plugin::format::ConfigPtr;
using Severity = LogCapture::Severity;

const std::string protocolMeta = R"({"format":{"type":"ws","category":"protocol"},"data":"ws"})";

Config parse(const std::string& json) { return json_dto::from_json<Config>(json); }

Config dependency(const std::string& type) {
    Config config;
    config.format.type = type;
    return config;
}

// A program directory with the shipped default, and a user data directory.
class ConfigNormalizerTest : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(files_.programDir);
        fs::create_directories(files_.userFile.parent_path());
        fs::copy_file(DEFAULT_CONFIG_FILE, files_.defaultFile);
        default_ = parse(readFile(files_.defaultFile));
    }

    // Written after the program directory was created, as after an update
    // in place; the time is pushed ahead so that no clock step matters.
    ConfigPtr writeUser(const Config& config, std::time_t modified = std::time(nullptr) + 3600) {
        writeFile(files_.userFile, json_dto::to_json(config));
        fs::last_write_time(files_.userFile, modified);
        return boost::make_shared<Config>(config);
    }

    TempDir dir_;
    ConfigFiles files_{dir_ / "data/config.json.user", dir_ / "program/config.json",
                       dir_ / "program"};
    Config default_;
};

struct UpdateCase {
    std::string name;
    std::function<void(Config&)> edit;  // applied to the default to make the user file
    std::vector<std::string> updates;
    std::function<void(Config&)> expect;  // applied to the default to give the outcome
};

TEST_F(ConfigNormalizerTest, ChecksUpdateOnlyWhatIsOutOfDate) {
    const auto keep = [](Config&) {};
    const std::vector<UpdateCase> cases = {
        {"older version",
         [](Config& c) { c.format.version = "1.3.18.0"; },
         {"config.normalizer: update version"},
         keep},
        {"newer version",
         [](Config& c) { c.format.version = "1.3.20.0"; },
         {"config.normalizer: update version"},
         keep},
        {"dependency the default lacks",
         [](Config& c) { c.dependencies.insert(dependency("foreign")); },
         {"config.normalizer: update dependencies"},
         keep},
        {"no dependencies",
         [](Config& c) { c.dependencies.clear(); },
         {"config.normalizer: update dependencies"},
         keep},
        {"dependency without type",
         [](Config& c) { c.dependencies.insert(dependency("")); },
         {"config.normalizer: update dependencies"},
         keep},
        {"version and foreign dependency",
         [](Config& c) {
             c.format.version = "1";
             c.dependencies.insert(dependency("foreign"));
         },
         {"config.normalizer: update version", "config.normalizer: update dependencies"},
         keep},
        {"ws missing and foreign dependency",
         [](Config& c) {
             c.dependencies.erase(dependency("ws"));
             c.dependencies.insert(dependency("foreign"));
         },
         {"config.normalizer: update dependencies"},
         [](Config& c) { c.dependencies.erase(dependency("ws")); }},
    };
    for (const auto& testCase : cases) {
        Config user = default_;
        testCase.edit(user);
        const auto config = writeUser(user);
        Config expected = default_;
        testCase.expect(expected);
        LogCapture log;

        ConfigNormalizer(config, files_).apply();

        EXPECT_EQ(log.texts("config.normalizer: update"), testCase.updates) << testCase.name;
        EXPECT_EQ(readFile(files_.userFile), json_dto::to_json(expected)) << testCase.name;
        EXPECT_EQ(json_dto::to_json(*config), json_dto::to_json(expected)) << testCase.name;
    }
}

TEST_F(ConfigNormalizerTest, NothingToChangeLeavesTheUserFileUntouched) {
    struct Case {
        std::string name;
        std::function<void(Config&)> edit;
    };
    const std::vector<Case> cases = {
        {"same as default", [](Config&) {}},
        // A type the default lists but the user dropped is not added back.
        {"ws missing", [](Config& c) { c.dependencies.erase(dependency("ws")); }},
    };
    for (const auto& testCase : cases) {
        Config user = default_;
        testCase.edit(user);
        const auto config = writeUser(user);
        const std::string before = readFile(files_.userFile);
        const auto modified = fs::last_write_time(files_.userFile);
        LogCapture log;

        ConfigNormalizer(config, files_).apply();

        EXPECT_TRUE(log.contains(Severity::info, "config.normalizer: nothing to apply"))
            << testCase.name;
        EXPECT_EQ(readFile(files_.userFile), before) << testCase.name;
        EXPECT_EQ(fs::last_write_time(files_.userFile), modified) << testCase.name;
    }
}

TEST_F(ConfigNormalizerTest, RunLogsEveryStepInOrder) {
    Config user = default_;
    user.format.version = "1.3.18.0";
    const auto config = writeUser(user);
    LogCapture log;

    { ConfigNormalizer(config, files_).apply(); }

    const auto texts = log.texts();
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[0], "config.normalizer: user " + json_dto::to_json(user));
    EXPECT_EQ(texts[1], "config.normalizer: default " + json_dto::to_json(default_));
    EXPECT_EQ(texts[2], "config.normalizer: check if user config file obsolete");
    const std::string time = R"(\d{4}-[A-Z][a-z]{2}-\d\d \d\d:\d\d:\d\d(\.\d+)?)";
    EXPECT_TRUE(
        std::regex_match(texts[3], std::regex("config.normalizer: default config birth "
                                              "time: " +
                                              time + ", user config last modified time: " + time)))
        << texts[3];
    EXPECT_EQ(std::vector<std::string>(texts.begin() + 4, texts.end()),
              (std::vector<std::string>{
                  "config.normalizer: check version", "config.normalizer: update version",
                  "config.normalizer: check dependencies",
                  "config.normalizer: apply to: " + files_.userFile.string(),
                  "config.normalizer: result " + json_dto::to_json(default_)}));
}

TEST_F(ConfigNormalizerTest, UserFileOlderThanTheInstallationIsReplacedKeepingItsMeta) {
    if (!QFileInfo(QString::fromStdString(files_.programDir.string())).birthTime().isValid())
        GTEST_SKIP() << "the file system gives no birth times";
    Config user = parse(R"({"format":{"type":"core","version":"1.3.19.0","category":"old"},)"
                        R"("dependencies":[{"format":{"type":"crypto"}}],"meta":[)" +
                        protocolMeta + "]}");
    const auto config = writeUser(user, std::time(nullptr) - 24 * 3600);
    LogCapture log;

    ConfigNormalizer(config, files_).apply();

    Config expected = default_;
    expected.meta = user.meta;
    EXPECT_TRUE(
        log.contains(Severity::info,
                     "config.normalizer: update obsolete user config: " + files_.userFile.string() +
                         " from default config: " + files_.defaultFile.string()));
    EXPECT_EQ(readFile(files_.userFile), json_dto::to_json(expected));
    EXPECT_EQ(json_dto::to_json(*config), json_dto::to_json(expected));
}

TEST_F(ConfigNormalizerTest, ProtocolEntryAddedAtStartIsWrittenWithTheFile) {
    Config user = default_;
    user.format.version = "1.3.18.0";
    const auto config = writeUser(user);
    config->meta.insert(json_dto::from_json<Config::Meta>(protocolMeta));

    ConfigNormalizer(config, files_).apply();

    EXPECT_EQ(parse(readFile(files_.userFile)).meta.size(), 1u);
    EXPECT_EQ(json_dto::to_json(parse(readFile(files_.userFile)).meta),
              json_dto::to_json(config->meta));
}

TEST_F(ConfigNormalizerTest, ApplyReplacesTheFileInsteadOfRewritingItInPlace) {
    Config user = default_;
    user.format.version = "1.3.18.0";
    const auto config = writeUser(user);
    const std::string before = readFile(files_.userFile);
    const auto link = dir_ / "data/old-copy";
    fs::create_hard_link(files_.userFile, link);

    ConfigNormalizer(config, files_).apply();

    // The old file was never opened for writing: a crash could not have cut it.
    EXPECT_EQ(readFile(link), before);
    EXPECT_EQ(readFile(files_.userFile), json_dto::to_json(default_));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(files_.userFile.parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config.json.user", "old-copy"}));
}

TEST_F(ConfigNormalizerTest, FailedSaveFallsBackToTheDefaultKeepingTheStartUpMeta) {
    struct Case {
        std::string name;
        fs::path userFile;
    };
    const std::vector<Case> cases = {
        {"empty path", fs::path()},
        {"directory in the way", dir_ / "data/occupied"},
    };
    fs::create_directories(dir_ / "data/occupied");
    writeFile(dir_ / "data/occupied/keep", "kept");
    for (const auto& testCase : cases) {
        Config user = default_;
        user.format.version = "1.3.18.0";
        user.meta.insert(json_dto::from_json<Config::Meta>(protocolMeta));
        const auto config = boost::make_shared<Config>(user);
        ConfigFiles files = files_;
        files.userFile = testCase.userFile;
        LogCapture log;

        ConfigNormalizer(config, files).apply();

        Config expected = default_;
        expected.meta = user.meta;
        EXPECT_EQ(json_dto::to_json(*config), json_dto::to_json(expected)) << testCase.name;
        EXPECT_TRUE(log.contains(
            Severity::warning,
            "config.normalizer: apply failed, restore from " + files_.defaultFile.string()))
            << testCase.name;
    }
    EXPECT_EQ(readFile(dir_ / "data/occupied/keep"), "kept");
}

TEST_F(ConfigNormalizerTest, BadDefaultFileFailsConstruction) {
    const auto config = writeUser(default_);
    fs::remove(files_.defaultFile);
    try {
        ConfigNormalizer normalizer(config, files_);
        FAIL() << "no exception";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "no default config specified");
    }

    writeFile(files_.defaultFile, "{\"format\":");
    EXPECT_THROW(ConfigNormalizer(config, files_), json_dto::ex_t);
}

}  // namespace
