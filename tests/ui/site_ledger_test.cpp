#include "site_ledger.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using zorva::plugin::ui::SiteLedger;

class SiteLedgerTest : public testing::Test {
protected:
    SiteLedger::Clock::time_point now_{};
    SiteLedger ledger_{[this] { return now_; }};
};

TEST_F(SiteLedgerTest, EmbargoGrowsWithEachDismissalToAnHour) {
    struct Case {
        unsigned dismissals;
        SiteLedger::Clock::duration embargo;
    };
    const Case cases[] = {{0, 0s}, {1, 15s}, {2, 5min}, {3, 1h}, {9, 1h}};
    for (const Case& c : cases)
        EXPECT_EQ(SiteLedger::embargoAfter(c.dismissals), c.embargo) << c.dismissals;
}

TEST_F(SiteLedgerTest, DismissalsOfAnySubdomainHoldTheWholeSiteBack) {
    EXPECT_EQ(ledger_.dismissed("https://a.example.com"), 15s);
    EXPECT_EQ(ledger_.dismissed("https://b.example.com"), 5min);
    EXPECT_EQ(ledger_.dismissed("https://fresh.example.com:8443"), 1h);

    now_ += 10min;
    EXPECT_EQ(ledger_.embargoLeft("https://example.com"), 50min);
    EXPECT_EQ(ledger_.embargoLeft("https://example.org"), 0s);
    now_ += 50min;
    EXPECT_EQ(ledger_.embargoLeft("https://a.example.com"), 0s);
}

TEST_F(SiteLedgerTest, AnAnswerStartsTheCountAnew) {
    ledger_.dismissed("https://a.example.com");
    ledger_.dismissed("https://a.example.com");
    ledger_.answered("https://b.example.com");

    EXPECT_EQ(ledger_.embargoLeft("https://a.example.com"), 0s);
    EXPECT_EQ(ledger_.dismissed("https://a.example.com"), 15s);
}

TEST_F(SiteLedgerTest, EachOriginHasOnePendingPromptAtATime) {
    EXPECT_TRUE(ledger_.startPending("https://a.example.com"));
    EXPECT_FALSE(ledger_.startPending("https://a.example.com"));
    EXPECT_TRUE(ledger_.startPending("https://b.example.com"));

    ledger_.endPending("https://a.example.com");
    EXPECT_TRUE(ledger_.startPending("https://a.example.com"));
}

}  // namespace
