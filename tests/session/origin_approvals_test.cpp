#include "origin_approvals.h"

#include "log_capture.h"
#include "temp_dir.h"

#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zorva::plugin;
namespace fs = boost::filesystem;

const std::string listed = "https://sign.example.org";
const std::string stranger = "https://stranger.example";

class OriginApprovalsTest : public testing::Test {
protected:
    OriginApprovals approvals(const std::string& allowlist = listed) const {
        std::vector<module::OriginAllowlist> lists;
        if (!allowlist.empty()) lists.emplace_back(allowlist);
        return OriginApprovals(file, lists);
    }

    TempDir dir;
    const fs::path file = dir / "permissions.json";
};

// What the user answers, what the origin may then do, and what is kept.
TEST_F(OriginApprovalsTest, AnswersDecideAndOnlyGivenAnswersAreKept) {
    struct Case {
        const char* name;
        std::optional<bool> answer;
        bool admitted;
        std::optional<bool> kept;
    };
    const Case cases[] = {
        {"allowed", true, true, true},
        {"denied", false, false, false},
        {"not answered", std::nullopt, false, std::nullopt},
    };
    for (const Case& c : cases) {
        fs::remove(file);
        OriginApprovals first = approvals();
        first.setAsk([&](const std::string&) { return c.answer; });

        EXPECT_EQ(first.admits(stranger), c.admitted) << c.name;
        EXPECT_EQ(first.isApproved(stranger), c.admitted) << c.name;

        // A later run reads what this one kept, without asking.
        OriginApprovals later = approvals();
        int asked = 0;
        later.setAsk([&](const std::string&) { return ++asked, std::optional<bool>(true); });
        const auto answers = later.answers();
        const auto kept = answers.find(stranger);
        EXPECT_EQ(kept == answers.end() ? std::nullopt : std::optional<bool>(kept->second), c.kept)
            << c.name;
        later.admits(stranger);
        EXPECT_EQ(asked, c.kept ? 0 : 1) << c.name;
    }
}

// A denial holds for every origin of the site, so fresh subdomains get no
// question of their own; an Allow holds for its one origin.
TEST_F(OriginApprovalsTest, DenialHoldsForTheWholeSiteAndAnAllowForItsOrigin) {
    struct Case {
        const char* answered;
        bool answer;
        const char* next;
        bool asked;
    };
    const Case cases[] = {
        {"https://a.evil.example.com", false, "https://fresh.evil.example.com:8443", false},
        {"https://a.evil.example.com", false, "https://example.com", false},
        {"https://a.good.example.org", true, "https://b.good.example.org", true},
        {"https://a.evil.example.com", false, "https://other.example.net", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next);
        fs::remove(file);
        OriginApprovals approvals = this->approvals();
        std::vector<std::string> asked;
        approvals.setAsk([&](const std::string& origin) {
            asked.push_back(origin);
            return origin == c.answered ? std::optional<bool>(c.answer) : std::nullopt;
        });
        approvals.admits(c.answered);

        EXPECT_FALSE(approvals.admits(c.next));
        EXPECT_EQ(asked.size(), c.asked ? 2u : 1u);
    }
}

TEST_F(OriginApprovalsTest, ListedOriginIsApprovedWithoutAskingOrWritingAFile) {
    OriginApprovals gate = approvals("https://sign.example.org http://localhost:*");
    gate.setAsk([](const std::string& origin) -> std::optional<bool> {
        ADD_FAILURE() << "asked about " << origin;
        return false;
    });

    EXPECT_TRUE(gate.admits(listed));
    EXPECT_TRUE(gate.admits("http://localhost:5173"));
    EXPECT_TRUE(gate.isApproved("HTTPS://SIGN.EXAMPLE.ORG"));
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(OriginApprovalsTest, WithoutAWayToAskAnUnknownOriginIsRefusedAndLogged) {
    LogCapture log;
    OriginApprovals gate = approvals();

    EXPECT_FALSE(gate.admits(stranger));
    EXPECT_TRUE(log.contains(LogCapture::Severity::warning,
                             "session: no way to ask about origin \"" + stranger + "\""));
}

TEST_F(OriginApprovalsTest, KeptFileIsTheUsersAloneAndNamesEachAnswer) {
    OriginApprovals gate = approvals();
    gate.setAsk([](const std::string& origin) { return origin == stranger; });
    gate.admits(stranger);
    gate.admits("https://other.example");

    EXPECT_EQ(fs::status(file).permissions(), fs::owner_read | fs::owner_write);
    EXPECT_EQ(readFile(file),
              R"({"origins":{"https://other.example":"deny","https://stranger.example":"allow"}})");
}

TEST_F(OriginApprovalsTest, ForgottenOriginIsAskedAgain) {
    OriginApprovals gate = approvals();
    std::vector<bool> answers = {true, false};
    gate.setAsk([&](const std::string&) {
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    ASSERT_TRUE(gate.admits(stranger));

    gate.forget(stranger);

    EXPECT_FALSE(gate.isApproved(stranger));
    EXPECT_FALSE(gate.admits(stranger));
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(approvals().answers().at(stranger), false);
}

TEST_F(OriginApprovalsTest, ConnectionsOfOneOriginWaitForOneQuestion) {
    OriginApprovals gate = approvals();
    std::promise<void> asking;
    std::promise<bool> answer;
    auto answered = answer.get_future().share();
    std::atomic<int> asked{0};
    gate.setAsk([&](const std::string&) {
        if (++asked == 1) asking.set_value();
        return std::optional<bool>(answered.get());
    });

    auto first = std::async(std::launch::async, [&] { return gate.admits(stranger); });
    asking.get_future().wait();
    auto second = std::async(std::launch::async, [&] { return gate.admits(stranger); });
    // Another origin is not held up by the open question.
    EXPECT_TRUE(gate.admits(listed));
    answer.set_value(true);

    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(asked, 1);
}

TEST_F(OriginApprovalsTest, UnreadableFileStartsEmptyAndIsLogged) {
    LogCapture log;
    writeFile(file, "{\"origins\": [1, 2");

    OriginApprovals gate = approvals();

    EXPECT_TRUE(gate.answers().empty());
    EXPECT_EQ(log.texts("session: origin approvals not read: ").size(), 1u);
}

}  // namespace
