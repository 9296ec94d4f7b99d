#include <gtest/gtest.h>

#include "event_wait.h"
#include "exception.h"
#include "gui_consent.h"
#include "private_install.h"
#include "qt_application.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>

#include <chrono>
#include <future>

// The real consent: the question goes to the GUI thread (this test's main
// thread, running its event loop) while a worker waits, as a connection
// thread of the host does. Each case runs in a process and a private install
// of its own (isolated_main.cpp): the dialog's branding comes from it.
namespace {

namespace crypto = zorva::plugin::crypto;

crypto::ConsentRequest question() {
    crypto::ConsentRequest request;
    request.origin = "https://portal.example";
    request.operation = "Sign 1 document";
    request.documents = {{"contract.pdf", 1234, "0123456789abcdef"}};
    request.certificates = {{"id-1", "CN=Signer", "CN=CA", "2030-01-01 00:00:00", false, {}}};
    request.preselectedId = "id-1";
    return request;
}

QDialog* shownDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

class GuiConsentTest : public testing::Test {
protected:
    void SetUp() override {
        installDefaults("zorva.plugin", "");
        ensureApplication<QApplication>();
    }

    // Asks on a worker thread; the event loop runs until the answer is in.
    template <class User>
    std::future<crypto::ConsentAnswer> ask(crypto::GuiConsent& consent, User user) {
        auto answer = std::async(std::launch::async, [&] { return consent.ask(question()); });
        user();
        EXPECT_TRUE(runEventsUntil(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return answer;
    }

    static int failureCode(std::future<crypto::ConsentAnswer>& answer) {
        try {
            answer.get();
        } catch (const zorva::plugin::exception::ApplicationException& error) {
            return error.code().value();
        }
        return 0;
    }
};

TEST_F(GuiConsentTest, TheAnswerOfTheDialogReachesTheWaitingThread) {
    crypto::GuiConsent consent;

    auto answer = ask(consent, [] {
        ASSERT_TRUE(runEventsUntil([] { return shownDialog() != nullptr; }));
        shownDialog()->findChild<QLineEdit*>("consentPin")->setText("123456");
        shownDialog()->accept();
    });

    const crypto::ConsentAnswer given = answer.get();
    EXPECT_EQ(given.certificateId, "id-1");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(given.pin.bytes()), given.pin.size()),
              "123456");
}

TEST_F(GuiConsentTest, ACancelledDialogIs20003) {
    crypto::GuiConsent consent;

    auto answer = ask(consent, [] {
        ASSERT_TRUE(runEventsUntil([] { return shownDialog() != nullptr; }));
        shownDialog()->reject();
    });

    EXPECT_EQ(failureCode(answer), 20003);
}

TEST_F(GuiConsentTest, NoAnswerInTimeIs20003AndTheDialogCloses) {
    crypto::GuiConsent consent(std::chrono::seconds(1));

    auto answer = ask(consent, [] {});

    EXPECT_EQ(failureCode(answer), 20003);
    EXPECT_TRUE(runEventsUntil([] { return shownDialog() == nullptr; }));
}

}  // namespace
