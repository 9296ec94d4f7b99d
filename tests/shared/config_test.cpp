#include <gtest/gtest.h>

#include "built_in_tables.h"
#include "config.h"
#include "file_description.h"

namespace {

using zorva::plugin::FileInfo;
using zorva::plugin::format::Config;

std::string readError(const std::string& text) {
    try {
        json_dto::from_json<Config>(text);
    } catch (const json_dto::ex_t& error) {
        return error.what();
    }
    return "no error";
}

TEST(ConfigRecord, EmptyObjectWritesEveryFieldEmpty) {
    EXPECT_EQ(json_dto::to_json(json_dto::from_json<Config>("{}")),
              R"({"format":{"type":"","version":"","category":"","description":""},)"
              R"("dependencies":[],"methods":[],"meta":[]})");
}

TEST(ConfigRecord, DependenciesAreOrderedByTypeAndFirstDuplicateWins) {
    const auto config = json_dto::from_json<Config>(
        R"({"dependencies":[{"format":{"type":"rutoken"}},{"format":{"type":"jacarta"}},)"
        R"({"format":{"type":"esmart"}},{"format":{"type":"crypto"}},{"format":{"type":"nmh"}},)"
        R"({"format":{"type":"system"}},{"format":{"type":"ws","version":"1"}},)"
        R"({"format":{"type":"ws","version":"2"}}]})");
    std::string order;
    for (const auto& dependency : config.dependencies)
        order += dependency.format.type + dependency.format.version + " ";
    EXPECT_EQ(order, "crypto esmart jacarta nmh rutoken system ws1 ");
}

TEST(ConfigRecord, MetaEntriesOfOneFormatCollapseToTheFirst) {
    const auto config = json_dto::from_json<Config>(
        R"({"meta":[{"format":{"type":"ws","category":"protocol"},"data":"ws://a"},)"
        R"({"format":{"type":"ws","category":"protocol"},"data":"ws://b"},)"
        R"({"format":{"type":"ws","category":"allow"},"data":"x"}]})");
    EXPECT_EQ(json_dto::to_json(config.meta),
              R"([{"format":{"type":"ws","version":"","category":"allow","description":""},)"
              R"("data":"x"},{"format":{"type":"ws","version":"","category":"protocol",)"
              R"("description":""},"data":"ws://a"}])");
}

TEST(ConfigRecord, MethodsCollapseOnlyWhenAllFieldsEqualAndWriteInJsonOrder) {
    const auto config = json_dto::from_json<Config>(
        R"({"methods":[{"type":"a","result":"r"},{"type":"a","result":"r"},)"
        R"({"type":"a","result":"r","description":"d"}]})");
    ASSERT_EQ(config.methods.size(), 2u);
    EXPECT_NE(json_dto::to_json(config).find(
                  R"("methods":[{"type":"a","result":"r","data":"","description":""},)"
                  R"({"type":"a","result":"r","data":"","description":"d"}],"meta":[]})"),
              std::string::npos);
}

TEST(ConfigRecord, NestedDependenciesRoundTrip) {
    const std::string text =
        R"({"format":{"type":"core","version":"1","category":"c","description":""},)"
        R"("dependencies":[{"format":{"type":"ws","version":"","category":"","description":""},)"
        R"("dependencies":[{"format":{"type":"x","version":"","category":"","description":""},)"
        R"("dependencies":[],"methods":[],"meta":[]}],"methods":[],"meta":[]}],)"
        R"("methods":[],"meta":[]})";
    EXPECT_EQ(json_dto::to_json(json_dto::from_json<Config>(text)), text);
}

TEST(ConfigRecord, ReadFailuresCarryTheirFrames) {
    const std::string frame = "error reading field ";
    EXPECT_EQ(readError(R"({"methods":[{"type":"a"}]})"),
              frame + "\"methods\": " + frame + "\"result\": mandatory field doesn't exist");
    EXPECT_EQ(readError(R"({"format":{}})"),
              frame + "\"format\": " + frame + "\"type\": mandatory field doesn't exist");
    EXPECT_EQ(readError(R"({"meta":{}})"),
              frame + "\"meta\": value can't be deserialized into std::set-like container!");
    EXPECT_EQ(readError(R"({"dependencies":null})"),
              frame + "\"dependencies\": non nullable field is null");
    EXPECT_EQ(readError(R"({"methods":[{"type":"a","result":""}]})"), "no error");
}

TEST(ConfigRecord, NestingBeyondTheBoundFailsWithAClearErrorAndWithinItReads) {
    const auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) text += R"({"dependencies":[)";
        text += "{}";
        for (int i = 0; i < levels; ++i) text += "]}";
        return text;
    };
    EXPECT_EQ(readError(nested(40)), "no error");

    for (const int levels : {64, 200000}) {
        const std::string error = readError(nested(levels));

        EXPECT_NE(error.find("nesting deeper than 64 records"), std::string::npos)
            << levels << ": " << error.substr(0, 200);
    }
    // The bound counts the levels being read, not those read before.
    EXPECT_EQ(readError(nested(40)), "no error");
}

TEST(BuiltInTables, CoreConfigNamesThePluginIidAndSevenModules) {
    const Config& core = zorva::plugin::builtInCoreConfig();
    EXPECT_EQ(core.format.type, "core");
    EXPECT_EQ(core.format.version, "1.3.19.0");
    EXPECT_EQ(core.format.category, "plugin");
    std::string types;
    for (const auto& dependency : core.dependencies) types += dependency.format.type + " ";
    EXPECT_EQ(types, "crypto esmart jacarta nmh rutoken system ws ");
}

TEST(BuiltInTables, StateAndStageNames) {
    EXPECT_EQ(zorva::plugin::moduleStateName(1), "loaded");
    EXPECT_EQ(zorva::plugin::moduleStateName(2), "load failed");
    EXPECT_EQ(zorva::plugin::moduleStateName(3), "not found");
    EXPECT_EQ(zorva::plugin::moduleStateName(4), "conflict [ not found dependencies ]");
    EXPECT_EQ(zorva::plugin::stageName(0), "start");
    EXPECT_EQ(zorva::plugin::stageName(1), "finish");
    EXPECT_EQ(zorva::plugin::stageName(2), "meta");
}

TEST(FileInfoRecord, EmptyObjectWritesAllKeysWithHashBeforeContentFormat) {
    EXPECT_EQ(json_dto::to_json(json_dto::from_json<FileInfo>("{}")),
              R"({"id":"","name":"","path":"","content":"","contentEncoding":"",)"
              R"("hash":{"algorithm":"","value":""},"contentFormat":""})");
}

TEST(FileInfoRecord, DescriptionWithContentCutOutReadsWithEmptyContent) {
    const std::string opening = R"({"id":"u","name":"a.pdf","content":")";
    const std::string closing = R"(","contentEncoding":"base64","hash":{"value":"ab"}})";
    const auto file = json_dto::from_json<FileInfo>(opening + closing);
    EXPECT_EQ(file.content, "");
    EXPECT_EQ(file.name, "a.pdf");
    EXPECT_EQ(file.hash.value, "ab");
}

TEST(FileInfoRecord, NullOrMistypedHashFails) {
    EXPECT_THROW(json_dto::from_json<FileInfo>(R"({"hash":null})"), json_dto::ex_t);
    try {
        json_dto::from_json<FileInfo>(R"({"hash":1})");
        FAIL();
    } catch (const json_dto::ex_t& error) {
        EXPECT_STREQ(error.what(),
                     "error reading field \"hash\": error reading field \"algorithm\": unable to "
                     "extract field \"algorithm\": parent json type must be object");
    }
}

}  // namespace
