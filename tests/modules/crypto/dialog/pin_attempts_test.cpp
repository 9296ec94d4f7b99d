// The consent as the crypto module runs it against a SoftHSM2 token: each
// PIN is tried on the asking thread while the real window waits on an X
// display, answered with xdotool as a person would.
#include "consent_dialog.h"
#include "consent_login.h"
#include "event_wait.h"
#include "gui_consent.h"
#include "provider_registry.h"
#include "test_token.h"
#include "x_display.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

namespace zorva::plugin::ui {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

// The consent window's title in the default branding.
const QString title = "Creating an electronic signature";

// The X windows on screen with the consent window's title, as the X server
// lists them.
QStringList consentWindows() {
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", title});
    if (!search.waitForFinished(10000)) return {"xdotool did not finish"};
    return QString::fromUtf8(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

ConsentDialog* shownConsent() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ConsentDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

int rowOf(const QTreeWidget& tree, const QString& subject) {
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        if (tree.topLevelItem(i)->text(0) == subject) return i;
    return -1;
}

class PinAttemptsUnderX : public testing::Test {
protected:
    static void SetUpTestSuite() { test::brandedApplication(); }

    TestToken token_;
    cryptoki::ProviderRegistry registry_{{}};
};

TEST_F(PinAttemptsUnderX, WrongPinThenRightPinInTheSameWindowUnlocksTheUsersChoice) {
    const auto candidates = crypto::signingCertificates(registry_);
    crypto::ConsentRequest request;
    request.origin = "https://portal.example";
    request.operation = "Sign a hash prepared by the site";
    request.preselectedId = TestToken::certificateId("EC Signer");
    GuiConsent consent;
    auto unlocked = std::async(std::launch::async, [&] {
        return crypto::unlockWithConsent(consent, request, candidates);
    });
    ASSERT_TRUE(waitUntil([] { return shownConsent() && shownConsent()->isActiveWindow(); }));
    ConsentDialog& dialog = *shownConsent();
    const QPointer<QWidget> consentWindow = &dialog;
    const QStringList window = consentWindows();
    ASSERT_EQ(window, QStringList{QString::number(dialog.winId())});
    auto& certificates = *dialog.findChild<QTreeWidget*>("consentCertificates");
    const int rsa = rowOf(certificates, "CN=RSA Signer");
    ASSERT_GE(rsa, 0);
    certificates.setCurrentItem(certificates.topLevelItem(rsa));

    test::typePinAndSign(dialog, "0000");
    auto* error = dialog.findChild<QLabel*>("consentError");
    ASSERT_TRUE(waitUntil([&] { return error->isVisible(); })) << "no error shown";
    EXPECT_EQ(error->text(), "Wrong PIN. Few attempts left.");
    EXPECT_EQ(consentWindows(), window) << "not the same window";
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(rsa)) << "choice lost";
    auto approval = std::async(std::launch::async, [] {
        return runPrompt([] {
            auto* approval = new QDialog;
            approval->setWindowTitle("approval");
            return approval;
        });
    });
    test::typePinAndSign(dialog, "123456");

    ASSERT_TRUE(waitUntil([&] { return unlocked.wait_for(0s) == std::future_status::ready; }));
    const std::unique_ptr<crypto::UnlockedKey> key = unlocked.get();
    EXPECT_EQ(key->certificate().id, TestToken::certificateId("RSA Signer"));
    EXPECT_TRUE(waitUntil([] { return consentWindows().isEmpty(); })) << "the window stayed";
    QPointer<QWidget> next;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->windowTitle() == "approval") next = widget;
        return !next.isNull();
    })) << "the queued prompt never came";
    static_cast<QDialog&>(*next).accept();
    ASSERT_TRUE(waitUntil([&] { return approval.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(approval.get(), PromptResult::Accepted);
    // The application goes with the program's statics: no window may outlive it.
    EXPECT_TRUE(runEventsUntil([&] { return next.isNull() && consentWindow.isNull(); }));
}

}  // namespace
}  // namespace zorva::plugin::ui
