// The consent as the crypto module asks for it: from a request's thread,
// through the process's prompt queue, answered in the real window on an X
// display with xdotool.
#include "gui_consent.h"
#include "consent_dialog.h"
#include "consent_requests.h"
#include "cryptoki_error.h"
#include "prompt_notice.h"
#include "x_display.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
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

// Records the most consent windows on screen at once, each time one comes up.
class ShowWatch : public QObject {
public:
    ShowWatch() { qApp->installEventFilter(this); }
    ~ShowWatch() override { qApp->removeEventFilter(this); }

    std::size_t most = 0;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<ConsentDialog*>(object))
            most = std::max(most, shownDialogs().size());
        return false;
    }
};

// Plays the asking module's part: each answer the user gives is tried in
// turn, with the outcomes the test scripted, on the asking thread.
class ScriptedAttempts {
public:
    using Outcome = std::function<std::optional<crypto::ConsentFailure>()>;

    explicit ScriptedAttempts(std::vector<Outcome> outcomes) : outcomes_(std::move(outcomes)) {}

    std::optional<crypto::ConsentFailure> operator()(crypto::ConsentAnswer answer) {
        const std::lock_guard<std::mutex> lock(mutex_);
        tried_.push_back(
            {answer.certificateId,
             std::string(reinterpret_cast<const char*>(answer.pin.bytes()), answer.pin.size()),
             std::this_thread::get_id()});
        return outcomes_.at(tried_.size() - 1)();
    }

    struct Tried {
        std::string certificateId, pin;
        std::thread::id thread;
    };
    std::vector<Tried> tried() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return tried_;
    }

private:
    std::mutex mutex_;
    std::vector<Outcome> outcomes_;
    std::vector<Tried> tried_;
};

std::optional<crypto::ConsentFailure> signs() { return std::nullopt; }

std::optional<crypto::ConsentFailure> wrongPin() {
    return crypto::ConsentFailure{"Wrong PIN. Few attempts left.", {}};
}

// The code of the error the call raised, 0 when it answered.
int errorCodeOf(std::future<void>& asked) {
    try {
        asked.get();
        return 0;
    } catch (const std::system_error& error) {
        return error.code().value();
    }
}

// The code and text of the error the call raised; 0 when it answered.
std::pair<int, std::string> failureOf(std::future<void>& asked) {
    try {
        asked.get();
        return {0, {}};
    } catch (const std::system_error& error) {
        return {error.code().value(), error.what()};
    }
}

class GuiConsentUnderX : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::brandedApplication(); }

    // Asks as a request's thread does.
    static std::future<void> ask(GuiConsent& consent, const crypto::ConsentRequest& request,
                                 ScriptedAttempts& attempts) {
        return std::async(std::launch::async, [&consent, &attempts, request] {
            consent.ask(request, [&attempts](crypto::ConsentAnswer answer) {
                return attempts(std::move(answer));
            });
        });
    }

    static std::future<void> askUnanswered(GuiConsent& consent,
                                           const crypto::ConsentRequest& request) {
        return std::async(std::launch::async, [&consent, request] {
            consent.ask(request, [](crypto::ConsentAnswer) { return signs(); });
        });
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

    static void answered(std::future<void>& asked) {
        ASSERT_TRUE(waitUntil([&] { return asked.wait_for(0s) == std::future_status::ready; }))
            << "the asking thread still waits";
    }
};

TEST_F(GuiConsentUnderX, PinTypedInTheWindowIsTriedOnTheAskingThread) {
    GuiConsent consent;
    ScriptedAttempts attempts({signs});
    auto asked = ask(consent, portalRequest(), attempts);
    ConsentDialog& dialog = shownDialog();

    test::typePinAndSign(dialog, "4321");

    answered(asked);
    EXPECT_EQ(errorCodeOf(asked), 0);
    ASSERT_EQ(attempts.tried().size(), 1u);
    EXPECT_EQ(attempts.tried()[0].certificateId, "ec");
    EXPECT_EQ(attempts.tried()[0].pin, "4321");
    EXPECT_NE(attempts.tried()[0].thread, std::this_thread::get_id()) << "tried on the GUI thread";
    EXPECT_TRUE(waitUntil([] { return shownDialogs().empty(); })) << "the window stayed";
}

TEST_F(GuiConsentUnderX, WrongPinKeepsTheWindowAndItsQueueTurnUntilTheRightPinSigns) {
    ShowWatch watch;
    GuiConsent consent;
    ScriptedAttempts attempts({wrongPin, signs});
    auto asked = ask(consent, portalRequest(), attempts);
    ConsentDialog& dialog = shownDialog();
    const WId window = dialog.winId();
    test::typePinAndSign(dialog, "0000");
    auto* error = dialog.findChild<QLabel*>("consentError");
    ASSERT_TRUE(waitUntil([&] { return error->isVisible(); })) << "no error shown";

    crypto::ConsentRequest second = portalRequest();
    second.origin = "https://second.example";
    auto waiting = askUnanswered(consent, second);
    EXPECT_EQ(error->text(), "Wrong PIN. Few attempts left.");
    test::typePinAndSign(dialog, "1234");

    answered(asked);
    EXPECT_EQ(errorCodeOf(asked), 0);
    const auto tried = attempts.tried();
    ASSERT_EQ(tried.size(), 2u);
    EXPECT_EQ(tried[0].pin, "0000");
    EXPECT_EQ(tried[1].pin, "1234");
    ConsentDialog& next = shownDialog();
    EXPECT_EQ(originOf(next), "https://second.example");
    EXPECT_NE(next.winId(), window);
    test::pressKey(next, "Escape");
    answered(waiting);
    EXPECT_EQ(errorCodeOf(waiting), 20003);
    EXPECT_EQ(watch.most, 1u) << "two windows at once";
}

// Whatever ends the window, the question is not asked again: a cancel, the
// time limit (which starts anew after a wrong PIN) and a login that fails
// for good, such as a PIN locked by the last wrong try.
TEST_F(GuiConsentUnderX, CancelTimeOutAndALockedPinEachCloseTheWindowWithTheirError) {
    const auto locked = []() -> std::optional<crypto::ConsentFailure> {
        CRYPTOKI_CHECK(CKR_PIN_LOCKED, "login");
        return std::nullopt;
    };
    struct Case {
        const char* name;
        std::chrono::milliseconds limit;
        std::vector<ScriptedAttempts::Outcome> outcomes;
        std::vector<QString> pins;
        const char* key;
        int code;
    };
    const Case cases[] = {
        {"escape", 120s, {}, {}, "Escape", 20003},
        {"escape after a wrong PIN", 120s, {wrongPin}, {"0000"}, "Escape", 20003},
        {"time-out", 300ms, {}, {}, nullptr, 20003},
        {"time-out after a wrong PIN", 2s, {wrongPin}, {"0000"}, nullptr, 20003},
        {"locked", 120s, {wrongPin, locked}, {"0000", "1111"}, nullptr, 164},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuiConsent consent(c.limit);
        ScriptedAttempts attempts(c.outcomes);
        auto asked = ask(consent, portalRequest(), attempts);
        ConsentDialog& dialog = shownDialog();
        for (const QString& pin : c.pins) test::typePinAndSign(dialog, pin);
        if (c.key) {
            // The key answers the window once it asks again, not while a PIN
            // is being checked.
            ASSERT_TRUE(test::waitForPinField(dialog)) << c.name;
            test::pressKey(dialog, c.key);
        }

        answered(asked);
        EXPECT_EQ(errorCodeOf(asked), c.code) << c.name;
        EXPECT_EQ(attempts.tried().size(), c.pins.size()) << c.name;
        EXPECT_TRUE(waitUntil([] { return shownDialogs().empty(); })) << c.name << " stayed";
    }
}

TEST_F(GuiConsentUnderX, SecondRequestWaitsUnseenUntilTheFirstIsAnswered) {
    GuiConsent consent;
    crypto::ConsentRequest second = portalRequest();
    second.origin = "https://second.example";
    auto first = askUnanswered(consent, portalRequest());
    ConsentDialog& firstDialog = shownDialog();
    auto waiting = askUnanswered(consent, second);

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

// A page cannot keep windows coming: a second request of an origin whose
// window is up is refused at once, not queued, and after a cancel the whole
// site gets no window for a while. The user's own programs are never held back.
TEST_F(GuiConsentUnderX, PendingOriginAndACancelledSiteAreAnsweredAtOnceWithoutAWindow) {
    struct Case {
        const char* name;
        const char* first;
        const char* second;
        // The second asks while the first window shows, else once it was cancelled.
        bool whileShown;
        // What the second gets at once; 0: it gets a window of its own.
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"same origin while shown", "https://portal.example", "https://portal.example", true, 20001,
         "an action is already pending"},
        {"subdomain after a cancel", "https://portal.example", "https://fresh.portal.example",
         false, 20003, "no new one for 15 s"},
        {"program after a cancel", "", "", false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuiConsent consent;
        crypto::ConsentRequest first = portalRequest(), second = portalRequest();
        first.origin = c.first;
        second.origin = c.second;
        auto asked = askUnanswered(consent, first);
        ConsentDialog& firstDialog = shownDialog();
        if (!c.whileShown) {
            test::pressKey(firstDialog, "Escape");
            answered(asked);
            ASSERT_TRUE(waitUntil([] { return shownDialogs().empty(); }));
        }

        auto again = askUnanswered(consent, second);
        if (c.code != 0) {
            answered(again);
            const auto [code, text] = failureOf(again);
            EXPECT_EQ(code, c.code);
            EXPECT_NE(text.find(c.text), std::string::npos) << text;
            EXPECT_EQ(shownDialogs().size(), c.whileShown ? 1u : 0u);
        } else {
            test::pressKey(shownDialog(), "Escape");
            answered(again);
            EXPECT_EQ(errorCodeOf(again), 20003);
        }
        if (c.whileShown) {
            test::pressKey(firstDialog, "Escape");
            answered(asked);
        }
        EXPECT_EQ(errorCodeOf(asked), 20003);
    }
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
    auto asked = askUnanswered(consent, portalRequest());
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
