#include "user_identity.h"

#include "process_env.h"

#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::UserIdentity;
namespace env = zorva::plugin::process_env;

// Sets the three identity variables for one test and puts the old values back.
class UserIdentityTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& [name, value] : saved_) setVariable(name, value);
    }

    void setNames(std::optional<std::string> domain, std::optional<std::string> user,
                  std::optional<std::string> pc) {
        setVariable("USERDOMAIN", domain);
        setVariable("USERNAME", user);
        setVariable("COMPUTERNAME", pc);
    }

private:
    void setVariable(const std::string& name, const std::optional<std::string>& value) {
        saved_.emplace(name, env::get(name));
        if (value)
            env::set(name, *value);
        else
            env::unset(name);
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(UserIdentityTest, DomainQualifiesUserAndPcOnlyWhenItCounts) {
    const struct {
        std::optional<std::string> domain;
        std::string user;
        std::string pc;
        std::string expectedUser;
        std::string expectedPc;
    } cases[] = {
        {"CORP", "ivan", "WS01", "CORP\\ivan", "WS01.corp"},
        {"(none)", "ivan", "WS01", "ivan", "WS01"},
        {"(NONE)", "ivan", "WS01", "(NONE)\\ivan", "WS01.(none)"},
        {"", "ivan", "WS01", "ivan", "WS01"},
        {std::nullopt, "ivan", "WS01", "ivan", "WS01"},
        {"Corp", "Иван", "ПК-01", "Corp\\Иван", "ПК-01.corp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.domain.value_or("(unset)"));
        setNames(c.domain, c.user, c.pc);

        const UserIdentity identity = UserIdentity::current();

        EXPECT_EQ(identity.user, c.expectedUser);
        EXPECT_EQ(identity.pc, c.expectedPc);
        EXPECT_EQ(identity.process, "user_identity_test");
    }
}

TEST_F(UserIdentityTest, JsonHoldsUserPcProcessInOrderWithoutDomain) {
    setNames("CORP", "Иван", "WS01");

    const std::string json = json_dto::to_json(UserIdentity::current());

    EXPECT_EQ(json,
              "{\"user\":\"CORP\\\\Иван\",\"pc\":\"WS01.corp\","
              "\"process\":\"user_identity_test\"}");
}

TEST_F(UserIdentityTest, UserAgentTextIsBuiltOnceAndKeepsFirstValues) {
    setNames(std::nullopt, "first", "PC1");
    const std::string first = zorva::plugin::userAgentText();
    setNames(std::nullopt, "second", "PC2");

    const std::string second = zorva::plugin::userAgentText();

    EXPECT_EQ(first, R"({"user":"first","pc":"PC1","process":"user_identity_test"})");
    EXPECT_EQ(second, first);
}

}  // namespace
