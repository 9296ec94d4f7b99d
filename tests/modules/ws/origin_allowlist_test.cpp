#include <gtest/gtest.h>

#include "origin_allowlist.h"

#include <string>

namespace {

using zorva::plugin::format::Config;
using zorva::plugin::format::MetaSet;
using zorva::plugin::module::OriginAllowlist;

Config::Meta metaEntry(const std::string& type, const std::string& category,
                       const std::string& data) {
    Config::Meta meta;
    meta.format.type = type;
    meta.format.category = category;
    meta.data = data;
    return meta;
}

struct Case {
    std::string origin;
    bool allowed;
};

TEST(OriginAllowlist, AllowsListedOriginsAndPortWildcardsOnly) {
    const OriginAllowlist list("https://sign.example.org, http://localhost:*\thttp://[::1]:*");
    const Case cases[] = {
        {"https://sign.example.org", true},
        {"HTTPS://Sign.Example.ORG", true},  // browsers lowercase; people may not
        {"http://sign.example.org", false},
        {"https://sign.example.org:443", false},
        {"https://sign.example.org.evil.test", false},
        {"http://localhost", true},
        {"http://localhost:8080", true},
        {"http://localhost:65535", true},
        {"http://localhost:123456", false},
        {"http://localhost:", false},
        {"http://localhost:80x", false},
        {"http://localhost.evil.test", false},
        {"http://localhost:8080.evil.test", false},
        {"https://localhost:8080", false},
        {"http://[::1]:3000", true},
        {"null", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(list.allows(c.origin), c.allowed) << c.origin;
}

TEST(OriginAllowlist, EmptyListAllowsNoPage) {
    EXPECT_FALSE(OriginAllowlist(" , ").allows("http://localhost"));
}

TEST(OriginAllowlist, ReadsOnlyItsOwnMetaEntry) {
    const MetaSet without{metaEntry("ws", "protocol", "ws://localhost:9000"),
                          metaEntry("ws", "origins", "https://a.test")};
    EXPECT_FALSE(OriginAllowlist::fromMeta(without));

    MetaSet with = without;
    with.insert(metaEntry("ws", "protocol.origins", "https://b.test"));
    const auto list = OriginAllowlist::fromMeta(with);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->allows("https://b.test"));
    EXPECT_FALSE(list->allows("https://a.test"));
}

// A module that takes the first meta entry as its address, as earlier ones
// do, must still find the protocol entry of a shipped configuration.
TEST(OriginAllowlist, EntrySortsAfterTheProtocolEntry) {
    const MetaSet meta{metaEntry("ws", "protocol.origins", "https://a.test"),
                       metaEntry("ws", "protocol", "ws://localhost:9000")};
    EXPECT_EQ(meta.begin()->data, "ws://localhost:9000");
    EXPECT_EQ(meta.size(), 2u);
}

}  // namespace
