#include "user_identity.h"

#include "scoped_environment.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::UserIdentity;

class UserIdentityTest : public ::testing::Test {
protected:
    void setNames(const std::optional<std::string>& domain, const std::optional<std::string>& user,
                  const std::optional<std::string>& pc) {
        environment_.set("USERDOMAIN", domain);
        environment_.set("USERNAME", user);
        environment_.set("COMPUTERNAME", pc);
    }

private:
    ScopedEnvironment environment_;
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
        // Bytes that are no UTF-8 (a Windows-1251 name, a cut sequence) are dropped.
        {"D\xff", "\xc8\xe2\xe0\xed-ivan", "WS\xd0", "D\\-ivan", "WS.d"},
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
