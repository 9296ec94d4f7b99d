#include "approval_dialog.h"

#include "approvals_dialog.h"
#include "event_wait.h"
#include "input_guard.h"
#include "origin_approvals.h"
#include "qt_application.h"
#include "site_ledger.h"
#include "temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>

namespace {

using namespace zorva::plugin;
using namespace std::chrono_literals;

const std::string origin = "https://sign.example.org";

// The approval window of the product on screen, if one is.
ui::ApprovalDialog* shownApproval(const std::string& product) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ui::ApprovalDialog*>(widget);
            dialog && dialog->isVisible() && dialog->windowTitle().toStdString() == product)
            return dialog;
    return nullptr;
}

// The window has the keyboard and its input guard lets keys in.
bool listening(const std::string& product) {
    const ui::ApprovalDialog* dialog = shownApproval(product);
    return dialog && dialog->isActiveWindow() && !dialog->findChild<ui::InputGuard*>()->holding();
}

bool headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

// Types keys into the window of the given title as a person would, through
// the X server's keyboard: the window gets the focus first. (Keys sent to the
// window itself would outlive a window that closes on the key press.)
class Keyboard {
public:
    Keyboard(const QString& windowTitle, const QString& keys) {
        xdotool_.start("sh", {"-c",
                              "xdotool search --sync --onlyvisible --name \"$1\" windowfocus "
                              "--sync && xdotool key \"$2\"",
                              "keyboard", "^" + windowTitle + "$", keys});
    }
    std::string errors() { return xdotool_.readAllStandardError().toStdString(); }
    bool finished() const { return xdotool_.state() == QProcess::NotRunning; }
    bool succeeded() const {
        return finished() && xdotool_.exitStatus() == QProcess::NormalExit &&
               xdotool_.exitCode() == 0;
    }

private:
    QProcess xdotool_;
};

class ApprovalDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication<QApplication>(); }

    void SetUp() override {
        if (headless()) GTEST_SKIP() << "needs a display with xdotool";
    }

    // Each prompt gets a title of its own: the window of the one before may
    // still be on its way out.
    static std::string nextProduct() {
        static int prompts = 0;
        return "ApprovalTest" + std::to_string(++prompts);
    }

    // Each question starts with a fresh ledger: a dismissal would hold the
    // next question back.
    static std::optional<bool> answerWith(const QString& keys) {
        const std::string product = nextProduct();
        ui::SiteLedger sites;
        auto answer = std::async(std::launch::async,
                                 [&] { return ui::askOriginApproval(origin, product, sites); });
        EXPECT_TRUE(runEventsUntil([&] { return listening(product); })) << "never took keys";
        Keyboard keyboard(QString::fromStdString(product), keys);
        EXPECT_TRUE(runEventsUntil([&] {
            return keyboard.finished() && answer.wait_for(0s) == std::future_status::ready;
        })) << "no answer";
        EXPECT_TRUE(keyboard.succeeded()) << keys.toStdString() << ": " << keyboard.errors();
        return answer.get();
    }
};

TEST_F(ApprovalDialogTest, KeysOfTheUserGiveTheAnswer) {
    struct Case {
        const char* keys;
        std::optional<bool> answer;
    };
    // Escape only dismisses: no answer is kept.
    const Case cases[] = {{"alt+a", true}, {"alt+d", false}, {"Escape", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(answerWith(c.keys), c.answer) << c.keys;
}

// Keys sent as the window comes up were meant for the page; Enter never
// answers. The keyboard starts on Deny once the window listens.
TEST_F(ApprovalDialogTest, KeysAsTheWindowComesUpAndEnterLaterAnswerNothing) {
    for (const char* early : {"Return", "KP_Enter", "space", "alt+a", "Escape"}) {
        SCOPED_TRACE(early);
        const std::string product = nextProduct();
        ui::SiteLedger sites;
        auto answer = std::async(std::launch::async,
                                 [&] { return ui::askOriginApproval(origin, product, sites); });
        Keyboard keys(QString::fromStdString(product), early);
        ASSERT_TRUE(runEventsUntil([&] { return keys.finished(); }));
        EXPECT_TRUE(keys.succeeded()) << keys.errors();
        ui::ApprovalDialog* dialog = shownApproval(product);
        ASSERT_NE(dialog, nullptr);
        for (const char* button : {"approvalAllow", "approvalDeny"})
            EXPECT_FALSE(dialog->findChild<QPushButton*>(button)->isEnabled()) << button;

        ASSERT_TRUE(runEventsUntil([&] { return listening(product); }));
        EXPECT_EQ(QApplication::focusWidget(), dialog->findChild<QPushButton*>("approvalDeny"));
        for (const char* button : {"approvalAllow", "approvalDeny"}) {
            EXPECT_TRUE(dialog->findChild<QPushButton*>(button)->isEnabled()) << button;
            EXPECT_FALSE(dialog->findChild<QPushButton*>(button)->isDefault()) << button;
        }
        Keyboard enter(QString::fromStdString(product), "Return");
        ASSERT_TRUE(runEventsUntil([&] { return enter.finished(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(answer.wait_for(0s), std::future_status::timeout) << "answered";
        Keyboard deny(QString::fromStdString(product), "alt+d");
        ASSERT_TRUE(
            runEventsUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }));
        EXPECT_EQ(answer.get(), std::optional<bool>(false));
        ASSERT_TRUE(runEventsUntil([&] { return deny.finished(); }));
    }
}

TEST_F(ApprovalDialogTest, QuestionNamesTheOriginAndTheProductAsPlainText) {
    ui::ApprovalDialog dialog("https://<b>x</b>.example", "ZorvaPlugin");
    const auto* question = dialog.findChild<QLabel*>("question");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text().toStdString(),
              "https://<b>x</b>.example wants to use ZorvaPlugin on this computer.");
    EXPECT_EQ(question->textFormat(), Qt::PlainText);
}

// However long or deceiving the origin, the window fits the screen, the end
// of the host and the port stay in sight, and hidden characters show.
TEST_F(ApprovalDialogTest, OriginIsElidedToFitTheScreenAndItsHiddenCharactersShow) {
    struct Case {
        QString origin, ends;
        bool marked;
    };
    const Case cases[] = {
        {"https://" + QString(240, 'h') + ".example.org:8443", "h.example.org:8443", false},
        {QString::fromUtf8("https://bank\u202Egro.example"),
         QString::fromUtf8("bank⟨U+202E⟩gro.example"), true},
        {"https://a.example", "https://a.example", false},
    };
    for (const Case& c : cases) {
        ui::ApprovalDialog dialog(c.origin, "ZorvaPlugin");
        dialog.show();
        ASSERT_TRUE(runEventsUntil([&] { return dialog.isVisible(); }));
        const QRect screen = dialog.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(dialog.frameGeometry())) << c.origin.toStdString();
        const QString question = dialog.findChild<QLabel*>("question")->text();
        EXPECT_TRUE(question.startsWith("https://")) << question.toStdString();
        EXPECT_TRUE(question.contains(c.ends + " wants to use ZorvaPlugin"))
            << question.toStdString();
        EXPECT_EQ(dialog.findChild<QLabel*>("approvalMarkers") != nullptr, c.marked);
    }
}

TEST_F(ApprovalDialogTest, RemovedSiteLeavesTheListAndTheFile) {
    TempDir dir;
    OriginApprovals approvals(dir / "permissions.json", {});
    approvals.setAsk([](const std::string& asked) { return asked == origin; });
    approvals.admits(origin);
    approvals.admits("https://other.example");
    ui::ApprovalsDialog dialog(approvals, "Approved sites test");
    auto* list = dialog.findChild<QListWidget*>("approvals");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text().toStdString(), "https://other.example (denied)");
    EXPECT_EQ(list->item(1)->text().toStdString(), origin + " (allowed)");
    dialog.show();

    // The first row is selected when the dialog opens.
    Keyboard keyboard("Approved sites test", "alt+r");
    ASSERT_TRUE(runEventsUntil([&] { return keyboard.finished() && list->count() == 1; }));

    EXPECT_TRUE(keyboard.succeeded());
    EXPECT_EQ(list->item(0)->text().toStdString(), origin + " (allowed)");
    EXPECT_EQ(readFile(dir / "permissions.json"),
              R"({"origins":{"https://sign.example.org":"allow"}})");
}

}  // namespace
