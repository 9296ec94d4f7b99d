#include "prompt_runner.h"

#include "event_wait.h"
#include "prompt_session.h"
#include "qt_application.h"
#include "submitting_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace zorva::plugin;
using namespace std::chrono_literals;
using ui::PromptResult;

// Prompts are real windows: only a display shows them. Headless, the runner
// answers at once that nobody can see them.
bool headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

class PromptRunnerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication<QApplication>(); }

    void SetUp() override {
        if (headless()) GTEST_SKIP() << "needs a display";
    }

    // The prompt dialogs on screen now.
    static std::vector<QDialog*> shownPrompts() {
        std::vector<QDialog*> shown;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                shown.push_back(dialog);
        return shown;
    }

    static QDialog* waitForPrompt() {
        QDialog* shown = nullptr;
        EXPECT_TRUE(runEventsUntil([&] {
            const auto prompts = shownPrompts();
            shown = prompts.size() == 1 ? prompts.front() : nullptr;
            return shown != nullptr;
        })) << "no prompt shown";
        return shown;
    }

    // Waits on the GUI thread's events for a caller's outcome.
    template <class T>
    static T outcomeOf(std::future<T>& future) {
        EXPECT_TRUE(runEventsUntil([&] {
            return future.wait_for(0s) == std::future_status::ready;
        })) << "the caller is still waiting";
        return future.get();
    }

    static std::future<PromptResult> prompt(
        const std::string& name, std::chrono::milliseconds limit = ui::defaultPromptLimit,
        std::string* readBack = nullptr) {
        return std::async(std::launch::async, [=] {
            return ui::runPrompt(
                [name] {
                    auto* dialog = new QDialog;
                    dialog->setObjectName(QString::fromStdString(name));
                    return dialog;
                },
                [readBack](QDialog& dialog, PromptResult) {
                    if (readBack) *readBack = dialog.objectName().toStdString();
                },
                limit);
        });
    }
};

TEST_F(PromptRunnerTest, HowTheDialogEndsIsWhatTheCallerGets) {
    struct Case {
        const char* name;
        void (*end)(QDialog&);
        PromptResult expected;
    };
    const Case cases[] = {
        {"accepted", [](QDialog& d) { d.accept(); }, PromptResult::Accepted},
        {"rejected", [](QDialog& d) { d.reject(); }, PromptResult::Rejected},
        {"closed", [](QDialog& d) { d.close(); }, PromptResult::Rejected},
    };
    for (const Case& c : cases) {
        std::string readBack;
        auto outcome = prompt(c.name, ui::defaultPromptLimit, &readBack);
        QPointer<QDialog> shown = waitForPrompt();
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->windowFlags() & Qt::WindowStaysOnTopHint) << c.name;
        EXPECT_EQ(shown->property("qss").toString(), "dialog") << c.name;

        // Through the event loop, as a click would.
        QTimer::singleShot(0, shown, [&c, &shown] { c.end(*shown); });

        EXPECT_EQ(outcomeOf(outcome), c.expected) << c.name;
        EXPECT_EQ(readBack, c.name);
        EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); })) << c.name << " not deleted";
    }
}

TEST_F(PromptRunnerTest, UnansweredDialogClosesAtTheLimitAsTimedOut) {
    auto outcome = prompt("slow", 300ms);
    QPointer<QDialog> shown = waitForPrompt();

    EXPECT_EQ(outcomeOf(outcome), PromptResult::TimedOut);
    EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); }));
}

// Callers that came while a prompt was open wait for it; which of two callers
// that came at the same moment goes first is theirs to race for.
TEST_F(PromptRunnerTest, PromptsComeOneAtATimeEachToItsOwnCaller) {
    std::map<std::string, std::future<PromptResult>> outcomes;
    outcomes["first"] = prompt("first");
    QPointer<QDialog> shown = waitForPrompt();
    outcomes["second"] = prompt("second");
    outcomes["third"] = prompt("third");
    std::vector<std::string> seen;
    while (shown) {
        const std::string name = shown->objectName().toStdString();
        seen.push_back(name);
        shown->accept();
        EXPECT_EQ(outcomeOf(outcomes.at(name)), PromptResult::Accepted) << name;
        if (seen.size() == outcomes.size()) break;
        // Never two at once, even while the next one comes up.
        ASSERT_TRUE(runEventsUntil([&] {
            const auto prompts = shownPrompts();
            EXPECT_LE(prompts.size(), 1u);
            return prompts.size() == 1 && prompts.front()->objectName().toStdString() != name;
        })) << "no prompt after "
            << name;
        shown = shownPrompts().front();
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen.front(), "first");
    EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); }));
}

TEST_F(PromptRunnerTest, FailingFactoryReachesTheCallerAndFreesTheQueue) {
    auto failing = std::async(std::launch::async, [] {
        return ui::runPrompt([]() -> QDialog* { throw std::runtime_error("no dialog today"); });
    });
    EXPECT_THROW(outcomeOf(failing), std::runtime_error);

    auto next = prompt("next");
    QPointer<QDialog> shown = waitForPrompt();
    shown->accept();
    EXPECT_EQ(outcomeOf(next), PromptResult::Accepted);
    EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); }));
}

TEST_F(PromptRunnerTest, GuiThreadMayNotWaitForAPrompt) {
    EXPECT_THROW(ui::runPrompt([] { return new QDialog; }), std::logic_error);
}

// A dialog that stays up across tries, as the consent dialog does.
class TryDialog : public ui::SubmittingDialog {
public:
    bool frozen = false;

protected:
    void showChecking(bool checking) override { frozen = checking; }
};

// Runs a session on its own thread: `check` is the caller's work with each
// submission, returning true when the answer was good.
struct SessionRun {
    std::atomic<int> submissions{0};
    std::atomic<int> tries{0};
    std::future<PromptResult> outcome;

    void start(std::function<bool(int attempt)> check, std::chrono::milliseconds limit) {
        outcome = std::async(std::launch::async, [this, check, limit] {
            ui::PromptSession prompt([] { return new TryDialog; },
                                     [this](ui::SubmittingDialog&) { ++submissions; }, {}, limit);
            for (;;) {
                const PromptResult result = prompt.next();
                if (result != PromptResult::Accepted) return result;
                if (check(++tries)) return prompt.accept();
                prompt.retry([](ui::SubmittingDialog& dialog) { dialog.setObjectName("again"); });
            }
        });
    }
};

TEST_F(PromptRunnerTest, SessionKeepsOneWindowAcrossTriesAndTheQueueUntilItEnds) {
    SessionRun run;
    run.start([](int attempt) { return attempt == 2; }, ui::defaultPromptLimit);
    QPointer<QDialog> shown = waitForPrompt();
    ASSERT_TRUE(shown);
    auto other = prompt("other");
    auto& dialog = static_cast<TryDialog&>(*shown);

    dialog.accept();
    dialog.accept();
    ASSERT_TRUE(runEventsUntil([&] { return dialog.objectName() == "again"; })) << "no retry";
    EXPECT_EQ(run.submissions, 1) << "an accept while checking submitted again";
    EXPECT_FALSE(dialog.frozen);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(shownPrompts(), std::vector<QDialog*>{shown.data()})
        << "another prompt between tries";
    dialog.accept();

    EXPECT_EQ(outcomeOf(run.outcome), PromptResult::Accepted);
    EXPECT_EQ(run.tries, 2);
    QPointer<QDialog> next = waitForPrompt();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->objectName(), "other");
    next->accept();
    EXPECT_EQ(outcomeOf(other), PromptResult::Accepted);
}

// The user's time does not run while the caller checks (a PIN-pad login
// waits for the reader), and starts anew for the next try.
TEST_F(PromptRunnerTest, SessionTimeLimitStopsWhileCheckingAndRunsAgainForTheNextTry) {
    const auto limit = 300ms;
    std::promise<void> checked;
    auto release = checked.get_future().share();
    SessionRun run;
    run.start(
        [release](int) {
            release.wait();
            return false;
        },
        limit);
    QPointer<QDialog> shown = waitForPrompt();
    ASSERT_TRUE(shown);
    shown->accept();
    ASSERT_TRUE(runEventsUntil([&] { return run.tries == 1; }));

    EXPECT_FALSE(runEventsUntil([&] { return shown.isNull() || !shown->isVisible(); },
                                static_cast<int>(3 * limit.count())))
        << "timed out while checking";
    checked.set_value();
    ASSERT_TRUE(runEventsUntil([&] { return shown && shown->objectName() == "again"; }));

    EXPECT_EQ(outcomeOf(run.outcome), PromptResult::TimedOut);
    EXPECT_EQ(run.tries, 1);
    EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); }));
}

// However the session ends early, the dialog goes with it: the user closes
// it while the caller checks, or the caller's check fails and it leaves.
TEST_F(PromptRunnerTest, SessionEndsWithTheWindowWhoeverLeavesFirst) {
    struct Case {
        const char* name;
        bool userCloses;
    };
    for (const Case& c : {Case{"user closes", true}, Case{"caller leaves", false}}) {
        std::promise<void> closed;
        auto userLeft = closed.get_future().share();
        const bool userCloses = c.userCloses;
        SessionRun run;
        run.start(
            [userLeft, userCloses](int) {
                if (!userCloses) throw std::runtime_error("the check failed for good");
                userLeft.wait();
                return true;
            },
            ui::defaultPromptLimit);
        QPointer<QDialog> shown = waitForPrompt();
        ASSERT_TRUE(shown);
        shown->accept();
        if (userCloses) {
            ASSERT_TRUE(runEventsUntil([&] { return run.tries == 1; }));
            shown->reject();
            closed.set_value();
            EXPECT_EQ(outcomeOf(run.outcome), PromptResult::Rejected) << c.name;
        } else {
            EXPECT_THROW(outcomeOf(run.outcome), std::runtime_error) << c.name;
        }
        EXPECT_TRUE(runEventsUntil([&] { return shown.isNull(); })) << c.name;
    }
}

TEST(PromptRunnerHeadless, AnswersAtOnceThatNobodyCanSeeIt) {
    ensureApplication<QApplication>();
    if (!headless()) GTEST_SKIP() << "has a display";
    auto outcome =
        std::async(std::launch::async, [] { return ui::runPrompt([] { return new QDialog; }); });
    EXPECT_EQ(outcome.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(outcome.get(), PromptResult::TimedOut);
}

}  // namespace
