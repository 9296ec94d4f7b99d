#include "prompt_runner.h"

#include "event_wait.h"
#include "qt_application.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
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

TEST(PromptRunnerHeadless, AnswersAtOnceThatNobodyCanSeeIt) {
    ensureApplication<QApplication>();
    if (!headless()) GTEST_SKIP() << "has a display";
    auto outcome =
        std::async(std::launch::async, [] { return ui::runPrompt([] { return new QDialog; }); });
    EXPECT_EQ(outcome.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(outcome.get(), PromptResult::TimedOut);
}

}  // namespace
