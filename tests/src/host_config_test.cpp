#include "host_config.h"

#include "temp_dir.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace zorva::plugin;

format::ConfigPtr config(const std::string& json) {
    return boost::make_shared<format::Config>(json_dto::from_json<format::Config>(json));
}

std::string metaJson(const format::ConfigPtr& config) { return json_dto::to_json(config->meta); }

struct MetaCase {
    std::string name;
    std::string meta;
    std::string expected;
};

class SetProtocolMeta : public testing::TestWithParam<MetaCase> {};

TEST_P(SetProtocolMeta, LeavesOneProtocolEntryNamingTheModule) {
    const auto target = config(R"({"meta":)" + GetParam().meta + "}");

    host_config::setProtocolMeta(target, "nmh");

    EXPECT_EQ(metaJson(target), GetParam().expected);
}

const std::string nmh =
    R"({"format":{"type":"nmh","version":"","category":"protocol","description":""},"data":""})";
const std::string other =
    R"({"format":{"type":"ws","version":"","category":"address","description":""},"data":"x"})";

INSTANTIATE_TEST_SUITE_P(
    Meta, SetProtocolMeta,
    testing::Values(MetaCase{"NoMetaGetsTheEntry", "[]", "[" + nmh + "]"},
                    MetaCase{"ProtocolEntryIsReplaced",
                             R"([{"format":{"type":"ws","category":"protocol"},"data":"ws://x"}])",
                             "[" + nmh + "]"},
                    MetaCase{"OtherEntriesStay",
                             R"([{"format":{"type":"ws","category":"address"},"data":"x"}])",
                             "[" + nmh + "," + other + "]"}),
    [](const auto& info) { return info.param.name; });

TEST(LoadConfig, BrokenFileRaisesParseError) {
    TempDir dir;
    writeFile(dir / "config.json", R"({"format":)");
    EXPECT_THROW(host_config::loadConfig(dir / "config.json"), json_dto::ex_t);
}

}  // namespace
