#include "path_registry.h"

#include <boost/filesystem/operations.hpp>
#include <boost/process.hpp>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;
namespace bp = boost::process;
using zorva::plugin::path_registry::isSubPath;

struct StepResult {
    bool ok = false;
    std::string text;
};

struct DriverRun {
    std::vector<StepResult> steps;
    std::string log;
};

std::string readFile(const fs::path& file) {
    std::ifstream input(file.string(), std::ios::binary);
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file.string(), std::ios::binary) << bytes;
}

// Every scenario runs the driver as a program file of its own name and place,
// with a private home and private application data folders.
class PathRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / fs::unique_path("path-registry-%%%%-%%%%-%%%%");
        fs::create_directories(root_ / "home/.local/share");
        fs::create_directories(root_ / "common");
        // The program's own path is reported with links resolved.
        root_ = fs::canonical(root_);
        environment_["HOME"] = (root_ / "home").string();
        environment_["XDG_DATA_HOME"] = (root_ / "home/.local/share").string();
        environment_["XDG_DATA_DIRS"] = (root_ / "common").string() + ":/usr/share";
    }

    void TearDown() override { fs::remove_all(root_); }

    fs::path install(const std::string& dir, const std::string& name) {
        const fs::path program = root_ / dir / name;
        fs::create_directories(program.parent_path());
        boost::system::error_code error;
        fs::create_hard_link(PATH_REGISTRY_DRIVER, program, error);
        if (error) fs::copy_file(PATH_REGISTRY_DRIVER, program);
        return program;
    }

    DriverRun run(const fs::path& program, const std::vector<std::string>& steps) {
        bp::environment environment = boost::this_process::environment();
        for (const auto& [name, value] : environment_) {
            if (value)
                environment[name] = *value;
            else
                environment.erase(name);
        }
        const fs::path out = root_ / "driver.out";
        const fs::path err = root_ / "driver.err";
        // The redirection does not truncate what an earlier run left.
        fs::remove(out);
        fs::remove(err);
        bp::child driver(program, bp::args(steps), environment, bp::std_out > out,
                         bp::std_err > err);
        driver.wait();
        EXPECT_EQ(driver.exit_code(), 0);

        DriverRun result;
        result.log = readFile(err);
        std::istringstream lines(readFile(out));
        for (std::string line; std::getline(lines, line);) {
            const auto status = line.find('\t');
            const auto text = line.find('\t', status + 1);
            result.steps.push_back(
                {line.substr(status + 1, text - status - 1) == "ok", line.substr(text + 1)});
        }
        EXPECT_EQ(result.steps.size(), steps.size()) << readFile(out);
        result.steps.resize(steps.size());
        return result;
    }

    std::string path(const fs::path& relative) const { return (root_ / relative).string(); }

    fs::path root_;
    std::map<std::string, std::optional<std::string>> environment_;
};

TEST(IsSubPath, ComparesLeadingElementsOneByOne) {
    const struct {
        const char* path;
        const char* base;
        bool expected;
    } cases[] = {
        {"/opt/app/bin", "/opt/app", true},
        {"/opt/app", "/opt/app", true},
        {"/opt/application", "/opt/app", false},
        {"/opt", "/opt/app", false},
        {"/opt/app/../x", "/opt/app", true},
        {"opt/app", "/opt", false},
        {"/opt/app", "", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSubPath(c.path, c.base), c.expected) << c.path << " in " << c.base;
}

TEST_F(PathRegistryTest, DataDirFollowsProgramNameAndPlace) {
    const struct {
        const char* dir;
        const char* name;
        const char* dataDir;
    } cases[] = {
        {"apps/P", "zorva_plugin", "apps/P/.././ZorvaPluginData"},
        {"apps/P", "civara_plugin", "apps/P/.././CivaraPluginData"},
        {"apps/P", "plugin", "apps/P/../P"},
        {"apps/P", "Zorva", "apps/P/../P"},
        {"apps/P", "zorv", "apps/P/../P"},
        {"common/Product", "civara", "common/./CivaraPluginData"},
        {"common/Product", "plugin", "common/Product"},
        {"home/.local/share/Product", "zorva_plugin",
         "home/.local/share/Product/.././ZorvaPluginData"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dir) + "/" + c.name);
        const fs::path program = install(c.dir, c.name);

        const DriverRun run = this->run(program, {"dataDir", "logDir", "tempDir", "dumpDir"});

        const std::string dataDir = path(c.dataDir);
        EXPECT_EQ(run.steps[0].text, dataDir);
        EXPECT_EQ(run.steps[1].text, dataDir + "/./logs");
        EXPECT_EQ(run.steps[2].text, dataDir + "/./data");
        EXPECT_EQ(run.steps[3].text, dataDir + "/./dumps");
        for (const auto& step : run.steps) EXPECT_TRUE(fs::is_directory(step.text)) << step.text;
    }
}

TEST_F(PathRegistryTest, DataDirThatCannotBeCreatedFallsBackToUserDataHomeAndSaysSo) {
    writeFile(root_ / "opt/ZorvaPluginData", "a file where the directory would go");
    const fs::path program = install("opt/P", "zorva_plugin");

    const DriverRun run = this->run(program, {"dataDir", "logDir"});

    EXPECT_EQ(run.steps[0].text, path("home/.local/share/./ZorvaPluginData"));
    EXPECT_EQ(run.steps[1].text, path("home/.local/share/./ZorvaPluginData/./logs"));
    EXPECT_TRUE(fs::is_directory(run.steps[1].text));
    EXPECT_NE(run.log.find("paths: unable to create or write data dir"), std::string::npos)
        << run.log;
}

TEST_F(PathRegistryTest, UserDataHomeThatCannotBeCreatedFailsDataDirWithUserAppDataError) {
    writeFile(root_ / "blocker", "");
    environment_["XDG_DATA_HOME"] = path("blocker/share");
    const fs::path program = install("apps/P", "plugin");

    const DriverRun run = this->run(program, {"dataDir", "userAppDataDir"});

    for (const auto& step : run.steps) {
        EXPECT_FALSE(step.ok);
        EXPECT_EQ(step.text, "Не удалось получить путь к userAppData");
    }
}

TEST_F(PathRegistryTest, ModulesDirIsModulesSubdirectoryWhenPresentElseProgramDir) {
    const fs::path plain = install("plain/P", "plugin");
    const fs::path withModules = install("with/P", "plugin");
    fs::create_directories(root_ / "with/P/modules");

    const DriverRun plainRun =
        run(plain, {"modulesDir", "mkdir:" + path("plain/P/modules"), "modulesDir"});
    const DriverRun modulesRun = run(withModules, {"modulesDir"});

    // The first answer is kept even after the directory appears.
    EXPECT_EQ(plainRun.steps[0].text, path("plain/P"));
    EXPECT_EQ(plainRun.steps[2].text, path("plain/P"));
    EXPECT_EQ(modulesRun.steps[0].text, path("with/P/./modules"));
}

TEST_F(PathRegistryTest, TokenResourceDirsLieThreeLevelsUpAndFailedCheckKeepsFailing) {
    const std::string tokens = path("zorva_plugin/modules/tokens");
    fs::create_directories(tokens + "/jacarta/resource/windows/X86_32");
    const fs::path program = install("build/out/bin", "plugin");

    const DriverRun run = this->run(
        program, {"jacartaResourceDir", "rutokenResourceDir",
                  "mkdir:" + tokens + "/rutoken/resource/windows/X86_32", "rutokenResourceDir"});

    EXPECT_TRUE(run.steps[0].ok);
    EXPECT_TRUE(fs::equivalent(run.steps[0].text, tokens + "/jacarta/resource/windows/X86_32"));
    EXPECT_EQ(run.steps[0].text,
              path("build/out/bin/../../../zorva_plugin/modules/tokens/jacarta/resource/windows/"
                   "X86_32"));
    for (const auto& step : {run.steps[1], run.steps[3]}) {
        EXPECT_FALSE(step.ok);
        EXPECT_EQ(step.text, "Не удалось получить путь к директории с ресурсами rutoken");
    }
}

TEST_F(PathRegistryTest, FirstStartWithoutAnyConfigurationRaisesConfigurationError) {
    const fs::path program = install("apps/P", "zorva_plugin");

    const DriverRun run = this->run(program, {"currentConfigFile"});

    EXPECT_FALSE(run.steps[0].ok);
    EXPECT_EQ(run.steps[0].text, "Не удалось прочитать файл конфигурации");
}

TEST_F(PathRegistryTest, CategoryComesFromUserConfigurationAndNeverFails) {
    const std::string zorva = R"({"format":{"type":"core","category":"zorva.plugin"}})";
    const std::string civara = R"({"format":{"type":"core","category":"civara.plugin"}})";
    const struct {
        const char* name;
        std::optional<std::string> user;
        std::optional<std::string> defaults;
        std::string expected;
        const char* warning;  // null: no warning
    } cases[] = {
        {"user file kept", zorva, civara, "zorva.plugin", nullptr},
        {"unreadable user file", std::string("{not json"), civara, "",
         "unable to get category from config, reason: JSON parse error"},
        {"no configuration", std::nullopt, std::nullopt, "",
         "unable to get category from config, reason: Не удалось прочитать файл конфигурации"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = "category" + std::to_string(index++);
        if (c.user) writeFile(root_ / dir / "ZorvaPluginData/config.json.user", *c.user);
        if (c.defaults) writeFile(root_ / dir / "P/config.json", *c.defaults);
        const fs::path program = install(dir + "/P", "zorva_plugin");

        const DriverRun run = this->run(program, {"currentConfigCategory"});

        EXPECT_TRUE(run.steps[0].ok);
        EXPECT_EQ(run.steps[0].text, c.expected);
        if (c.user) EXPECT_EQ(readFile(root_ / dir / "ZorvaPluginData/config.json.user"), *c.user);
        if (c.warning)
            EXPECT_NE(run.log.find(c.warning), std::string::npos) << run.log;
        else
            EXPECT_EQ(run.log.find("warning"), std::string::npos) << run.log;
    }
}

TEST_F(PathRegistryTest, FirstStartCopiesDefaultConfigurationByteForByte) {
    // Longer than the copy buffer, with bytes a text-mode copy would change.
    const std::string defaults =
        "{\"format\":{\"type\":\"core\",\"category\":\"civara.plugin\","
        "\"description\":\"" +
        std::string(9000, 'x') + "\\r\\n Ж\"}}\r\n\t";
    writeFile(root_ / "apps/P/config.json", defaults);
    const fs::path program = install("apps/P", "zorva_plugin");

    const DriverRun run = this->run(program, {"currentConfigFile", "currentConfigCategory"});

    const std::string userFile = path("apps/P/.././ZorvaPluginData/config.json.user");
    EXPECT_EQ(run.steps[0].text, userFile);
    EXPECT_EQ(readFile(userFile), defaults);
    EXPECT_EQ(run.steps[1].text, "civara.plugin");
    // Nothing but the copy itself is left in the data directory.
    EXPECT_EQ(std::distance(fs::directory_iterator(path("apps/ZorvaPluginData")),
                            fs::directory_iterator()),
              1);
}

TEST_F(PathRegistryTest, CurrentStyleFileKeepsOrReplacesUserCopyByFirstLine) {
    const struct {
        const char* name;
        std::optional<std::string> defaults;
        std::optional<std::string> user;
        std::optional<std::string> expected;  // none: the check fails
    } cases[] = {
        {"no user copy", "/* 1111 */\nbody {}\n", std::nullopt, "/* 1111 */\nbody {}\n"},
        {"same first line", "/* 1111 */\nbody {}\n", "/* 1111 */\nmine {}\n",
         "/* 1111 */\nmine {}\n"},
        {"other first line", "/* 2222 */\nbody {}\n", "/* 1111 */\nmine {}\n",
         "/* 2222 */\nbody {}\n"},
        {"no default", std::nullopt, "/* 1111 */\nmine {}\n", "/* 1111 */\nmine {}\n"},
        {"neither", std::nullopt, std::nullopt, std::nullopt},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A program named "plugin" keeps its data in its own directory.
        const std::string dir = "style" + std::to_string(index++) + "/P";
        if (c.defaults) writeFile(root_ / dir / "style.css", *c.defaults);
        if (c.user) writeFile(root_ / dir / "style.css.user", *c.user);
        const fs::path program = install(dir, "plugin");

        const DriverRun run = this->run(program, {"currentStyleFile"});

        EXPECT_EQ(run.steps[0].ok, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(run.steps[0].text, path(dir + "/../P/style.css.user"));
            EXPECT_EQ(readFile(run.steps[0].text), *c.expected);
        } else {
            EXPECT_EQ(run.steps[0].text, "Не удалось прочитать файл стилей пользователя");
        }
    }
}

}  // namespace
