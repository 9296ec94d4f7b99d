#include <gtest/gtest.h>

#include "log_capture.h"
#include "module.h"
#include "module_loader.h"
#include "modules_dir.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using zorva::plugin::ModuleLoader;
using zorva::plugin::format::Config;
using zorva::plugin::format::ConfigPtr;
using Severity = LogCapture::Severity;

const std::string iid = "plugin";

std::unique_ptr<ModuleLoader> makeLoader(const ModulesDir& modules, int policy = 0) {
    return std::make_unique<ModuleLoader>(iid, modules.qpath(), policy);
}

ConfigPtr configNaming(const std::string& json) {
    return boost::make_shared<Config>(json_dto::from_json<Config>(json));
}

std::vector<std::string> toStrings(const QStringList& list) {
    std::vector<std::string> strings;
    for (const auto& item : list) strings.push_back(item.toStdString());
    return strings;
}

std::vector<std::string> warnings(const LogCapture& log) {
    std::vector<std::string> texts;
    for (const auto& [severity, text] : log.records())
        if (severity == Severity::warning) texts.push_back(text);
    return texts;
}

TEST(ModuleLoaderFind, FindsPluginsInTheRootFirstThenInSubSubDirectories) {
    ModulesDir modules;
    const auto deep = modules.place("gamma", "a/b");
    const auto top = modules.place("ws19");
    modules.place("plain");
    modules.place("gamma", "", pluginFile("gamma") + ".1");  // versioned names do not match
    modules.place("gamma", "", "testmod_gamma.so");          // nor names without "lib"
    modules.place("ws20", ".hidden");
    writeFile(modules.path() / "libtext.so", "not a library at all");
    fs::create_symlink(top, modules.path() / "liblink.so");
    fs::create_directory_symlink(modules.path(), modules.path() / "a/b/loop");
    LogCapture log;

    const auto found = ModuleLoader::findEntries(iid, modules.qpath());

    EXPECT_EQ(toStrings(found), (std::vector<std::string>{top.string(), deep.string()}));
    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "find entries in: " + modules.path().string() + " by iid: plugin ...",
                  "found entry: " + top.string(), "found entry: " + deep.string()}));
}

TEST(ModuleLoaderFind, MatchesTheIidExactly) {
    struct Case {
        std::string iid;
        std::vector<std::string> plugins;
    };
    const std::vector<Case> cases = {
        {"plugin", {"ws19"}},
        {"pluginx", {"wrongiid"}},
        {"plugi", {}},
        {"zorva.plugin", {}},
    };
    ModulesDir modules;
    modules.place("ws19");
    modules.place("wrongiid");
    for (const auto& testCase : cases) {
        std::vector<std::string> expected;
        for (const auto& plugin : testCase.plugins)
            expected.push_back((modules.path() / pluginFile(plugin)).string());

        const auto found = ModuleLoader::findEntries(testCase.iid, modules.qpath());

        EXPECT_EQ(toStrings(found), expected) << testCase.iid;
    }
}

TEST(ModuleLoaderFind, MissingDirectoryGivesAnEmptyTableAndNotFound) {
    TempDir dir;
    LogCapture log;

    ModuleLoader loader(iid, QString::fromStdString((dir.path() / "absent").string()), 0);
    loader.load(
        configNaming(R"({"format":{"type":"core"},"dependencies":[{"format":{"type":"ws"}}]})"));

    EXPECT_TRUE(loader.table().empty());
    EXPECT_TRUE(log.texts("load module: ").empty());
}

struct DuplicateCase {
    int policy;
    std::string first;   // read first: it lies in the root
    std::string second;  // read second: it lies in a subdirectory
    std::string winner;
    std::string keptVersion;
    std::vector<std::string> warnings;
};

class ModuleLoaderDuplicates : public testing::TestWithParam<DuplicateCase> {};

TEST_P(ModuleLoaderDuplicates, PolicyDecidesWhichPluginStays) {
    const auto& param = GetParam();
    ModulesDir modules;
    const auto first = modules.place(param.first);
    const auto second = modules.place(param.second, "sub");
    LogCapture log;

    const auto loader = makeLoader(modules, param.policy);

    const std::string type = loader->table().begin()->first;
    ASSERT_EQ(loader->table().size(), 1u);
    const auto& entry = loader->table().at(type);
    EXPECT_EQ(entry.config->format.version, param.keptVersion);
    EXPECT_EQ(entry.loader->fileName().toStdString(),
              (param.winner == "first" ? first : second).string());
    EXPECT_EQ(warnings(log), param.warnings);
    EXPECT_EQ(log.texts("read module: ").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    AllPolicies, ModuleLoaderDuplicates,
    testing::Values(
        DuplicateCase{0,
                      "ws19",
                      "ws20",
                      "first",
                      "1.3.19.0",
                      {"ignore module: ws version: 1.3.20.0 as dublicate of: 1.3.19.0"}},
        DuplicateCase{1,
                      "ws19",
                      "ws20",
                      "second",
                      "1.3.20.0",
                      {"replace module: ws version: 1.3.19.0 as obsolete by: 1.3.20.0"}},
        DuplicateCase{1,
                      "ws20",
                      "ws19",
                      "second",
                      "1.3.19.0",
                      {"replace module: ws version: 1.3.20.0 as obsolete by: 1.3.19.0"}},
        DuplicateCase{2,
                      "ws19",
                      "ws20",
                      "second",
                      "1.3.20.0",
                      {"replace module: ws version: 1.3.19.0 as obsolete by: 1.3.20.0"}},
        DuplicateCase{2,
                      "ws20",
                      "ws19",
                      "first",
                      "1.3.20.0",
                      {"ignore module: ws version: 1.3.19.0 as obsolete"}},
        // Versions compare as text: "1.10" sorts before "1.9".
        DuplicateCase{2,
                      "ver110",
                      "ver19",
                      "second",
                      "1.9",
                      {"replace module: ver version: 1.10 as obsolete by: 1.9"}},
        DuplicateCase{2,
                      "ws19",
                      "ws19",
                      "first",
                      "1.3.19.0",
                      {"skip module: ws version: 1.3.19.0 as equivalent"}},
        DuplicateCase{7, "ws19", "ws20", "first", "1.3.19.0", {}}));

TEST(ModuleLoaderRead, InvalidMetadataIsLoggedAndSkipped) {
    ModulesDir modules;
    modules.place("badmeta");
    modules.place("gamma");
    LogCapture log;

    const auto loader = makeLoader(modules);

    EXPECT_EQ(loader->table().size(), 1u);
    EXPECT_EQ(loader->table().count("gamma"), 1u);
    EXPECT_TRUE(log.contains(Severity::error,
                             "read module from entry: libtestmod_badmeta.so failed: "
                             "error reading field \"format\": error reading field \"type\": "
                             "mandatory field doesn't exist"));
}

TEST(ModuleLoaderRead, MissingDependenciesRemoveOnlyThePluginThatMissesThem) {
    ModulesDir modules;
    for (const char* plugin : {"alpha", "beta", "gamma"}) modules.place(plugin);
    LogCapture log;

    const auto loader = makeLoader(modules);

    const auto& table = loader->table();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.at("beta").loader, nullptr);
    // alpha needs beta, which was read: removals do not cascade.
    EXPECT_NE(table.at("alpha").loader, nullptr);
    EXPECT_NE(table.at("gamma").loader, nullptr);
    EXPECT_EQ(log.texts("remove module: "),
              (std::vector<std::string>{
                  "remove module: beta as conflicted, missed dependencies: omega zeta"}));
    EXPECT_TRUE(log.contains(Severity::error, log.texts("remove module: ").at(0)));
}

// beta is reached only as alpha's dependency, so its own missing
// dependencies are not looked at.
TEST(ModuleLoaderLoad, LoadsNamedTypesAndTheirDirectDependenciesOnly) {
    ModulesDir modules;
    for (const char* plugin : {"ws19", "alpha", "beta", "gamma", "broken", "notmodule"})
        modules.place(plugin);
    const auto loader = makeLoader(modules);
    LogCapture log;

    loader->load(configNaming(
        R"({"format":{"type":"core"},"dependencies":[{"format":{"type":"alpha"}},)"
        R"({"format":{"type":"broken"}},{"format":{"type":"nmh"}},{"format":{"type":"ws"}},)"
        R"({"format":{"type":"notmodule"}}]})"));

    EXPECT_EQ(log.texts(),
              (std::vector<std::string>{
                  "load module: alpha, state: loaded", "load module: beta, state: not found",
                  "load module: broken, state: load failed",
                  "load module: notmodule, state: loaded", "load module: ws, state: loaded"}));
    const auto& table = loader->table();
    EXPECT_TRUE(table.at("alpha").loader->isLoaded());
    EXPECT_TRUE(table.at("ws").loader->isLoaded());
    EXPECT_FALSE(table.at("broken").loader->isLoaded());
    EXPECT_FALSE(table.at("gamma").loader->isLoaded());
    // The session refuses a root object that is not a module.
    using zorva::plugin::module::Module;
    EXPECT_NE(dynamic_cast<Module*>(table.at("ws").loader->instance()), nullptr);
    EXPECT_NE(table.at("notmodule").loader->instance(), nullptr);
    EXPECT_EQ(dynamic_cast<Module*>(table.at("notmodule").loader->instance()), nullptr);
}

TEST(ModuleLoaderLoad, ConfigurationNamingOnlyWsLeavesOtherPluginsUnloaded) {
    ModulesDir modules;
    for (const char* plugin : {"ws19", "gamma", "alpha", "beta"}) modules.place(plugin);
    const auto loader = makeLoader(modules);
    LogCapture log;

    loader->load(configNaming(R"({"format":{"type":"ws"}})"));
    loader->load(configNaming(R"({"format":{"type":"ws"}})"));

    EXPECT_EQ(log.texts(), (std::vector<std::string>{"load module: ws, state: loaded",
                                                     "load module: ws, state: loaded"}));
    EXPECT_FALSE(loader->table().at("gamma").loader->isLoaded());
    EXPECT_FALSE(loader->table().at("alpha").loader->isLoaded());
}

}  // namespace
