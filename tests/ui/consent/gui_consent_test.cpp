// The consent as the crypto module asks for it: from a request's thread,
// through the process's prompt queue, answered in the real window on an X
// display with xdotool.
#include "gui_consent.h"
#include "consent_dialog.h"
#include "consent_requests.h"
#include "exception.h"
#include "prompt_notice.h"
#include "x_display.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace zorva::plugin::ui {
namespace {

using namespace std::chrono_literals;
using test::portalRequest;
using test::waitUntil;
using test::xdotool;

std::vector<ConsentDialog*> shownDialogs() {
    std::vector<ConsentDialog*> shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ConsentDialog*>(widget); dialog && dialog->isVisible())
            shown.push_back(dialog);
    return shown;
}

QString originOf(ConsentDialog& dialog) {
    return dialog.findChild<QLabel*>("consentOrigin")->text();
}

// The code of the application error the call raised, 0 when it answered.
int errorCodeOf(std::future<crypto::ConsentAnswer>& asked) {
    try {
        asked.get();
        return 0;
    } catch (const exception::ApplicationException& error) {
        return error.code().value();
    }
}

class GuiConsentUnderX : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::brandedApplication(); }

    // Asks as a request's thread does.
    static std::future<crypto::ConsentAnswer> ask(GuiConsent& consent,
                                                  const crypto::ConsentRequest& request) {
        return std::async(std::launch::async, [&consent, request] { return consent.ask(request); });
    }

    // The one consent window on screen once it has the keyboard.
    static ConsentDialog& shownDialog() {
        ConsentDialog* shown = nullptr;
        EXPECT_TRUE(waitUntil([&] {
            const auto dialogs = shownDialogs();
            shown = dialogs.size() == 1 && dialogs[0]->isActiveWindow() ? dialogs[0] : nullptr;
            return shown != nullptr;
        })) << "no consent window came up";
        if (!shown) throw std::runtime_error("no consent window");
        return *shown;
    }

    static void answered(std::future<crypto::ConsentAnswer>& asked) {
        ASSERT_TRUE(waitUntil([&] { return asked.wait_for(0s) == std::future_status::ready; }))
            << "the asking thread still waits";
    }
};

TEST_F(GuiConsentUnderX, PinTypedInTheWindowReachesTheAskingThread) {
    GuiConsent consent;
    auto asked = ask(consent, portalRequest());
    ConsentDialog& dialog = shownDialog();
    auto* pin = dialog.findChild<QLineEdit*>("consentPin");

    test::typeInto(dialog, "4321", [&] { return pin->text().size(); });
    test::pressKey(dialog, "Return");

    answered(asked);
    const crypto::ConsentAnswer answer = asked.get();
    EXPECT_EQ(answer.certificateId, "ec");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(answer.pin.bytes()), answer.pin.size()),
              "4321");
}

TEST_F(GuiConsentUnderX, EscapeAndSilenceUntilTheLimitAreBothCancelledByTheUser) {
    struct Case {
        const char* key;
        std::chrono::milliseconds limit;
    };
    for (const Case& c : {Case{"Escape", 120s}, Case{nullptr, 300ms}}) {
        GuiConsent consent(c.limit);
        auto asked = ask(consent, portalRequest());
        ConsentDialog& dialog = shownDialog();
        if (c.key) test::pressKey(dialog, c.key);

        answered(asked);
        EXPECT_EQ(errorCodeOf(asked), 20003) << (c.key ? c.key : "time-out");
        EXPECT_TRUE(waitUntil([] { return shownDialogs().empty(); })) << "the window stayed";
    }
}

TEST_F(GuiConsentUnderX, SecondRequestWaitsUnseenUntilTheFirstIsAnswered) {
    GuiConsent consent;
    crypto::ConsentRequest second = portalRequest();
    second.origin = "https://second.example";
    auto first = ask(consent, portalRequest());
    ConsentDialog& firstDialog = shownDialog();
    auto waiting = ask(consent, second);

    // Whenever the second call comes in, its window waits for the first answer.
    ASSERT_TRUE(waitUntil([&] { return firstDialog.isActiveWindow(); }));
    EXPECT_EQ(shownDialogs().size(), 1u);
    EXPECT_EQ(originOf(firstDialog), "https://portal.example");
    EXPECT_EQ(waiting.wait_for(0s), std::future_status::timeout);
    test::pressKey(firstDialog, "Escape");
    answered(first);
    EXPECT_EQ(errorCodeOf(first), 20003);

    ConsentDialog& secondDialog = shownDialog();
    EXPECT_EQ(originOf(secondDialog), "https://second.example");
    test::pressKey(secondDialog, "Escape");
    answered(waiting);
    EXPECT_EQ(errorCodeOf(waiting), 20003);
}

// A window manager that refuses the keyboard to a window asking for it on its
// own leaves the prompt behind the browser: the user is pointed to it.
TEST_F(GuiConsentUnderX, PromptLeftWithoutTheKeyboardIsPointedToByTheTrayNotice) {
    std::vector<QString> notices;
    setAttentionNotice([&](const QString& window) { notices.push_back(window); });
    QWidget browser;
    browser.setWindowTitle("browser");
    browser.show();
    GuiConsent consent;
    auto asked = ask(consent, portalRequest());
    ConsentDialog& dialog = shownDialog();

    xdotool({"windowfocus", "--sync", QString::number(browser.winId())});
    ASSERT_TRUE(waitUntil([&] { return !notices.empty(); })) << "no notice";
    EXPECT_EQ(notices, std::vector<QString>{dialog.windowTitle()});
    test::pressKey(dialog, "Escape");
    answered(asked);
    EXPECT_EQ(errorCodeOf(asked), 20003);
    setAttentionNotice({});
}

}  // namespace
}  // namespace zorva::plugin::ui
