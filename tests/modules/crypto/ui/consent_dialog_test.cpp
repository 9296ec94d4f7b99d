// The consent dialog as the user meets it: a real window on an X display,
// driven with xdotool, its texts read back from the widgets and a picture
// taken of each state.
#include "consent_dialog.h"
#include "consent_lists.h"
#include "consent_requests.h"
#include "input_guard.h"
#include "pin_field.h"
#include "temp_dir.h"
#include "x_display.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zorva::plugin::ui {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using test::portalRequest;
using test::pressKey;
using test::typeInto;
using test::waitUntil;
using test::xdotool;

Rows rowsOf(const QTreeWidget& tree) {
    Rows rows;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        rows.emplace_back();
        for (int column = 0; column < tree.columnCount(); ++column)
            rows.back().push_back(tree.topLevelItem(i)->text(column).toStdString());
    }
    return rows;
}

std::string pinOf(const crypto::ConsentAnswer& answer) {
    return {reinterpret_cast<const char*>(answer.pin.bytes()), answer.pin.size()};
}

class ConsentDialogUnderX : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::brandedApplication(); }

    // Shows the dialog as the prompt runner does and waits until it has the keyboard.
    ConsentDialog& show(const crypto::ConsentRequest& request) {
        request_ = request;
        dialog_ = std::make_unique<ConsentDialog>(request_, branding_);
        dialog_->show();
        dialog_->raise();
        dialog_->activateWindow();
        EXPECT_TRUE(waitUntil([&] { return dialog_->isActiveWindow(); }))
            << "the dialog never got the keyboard";
        return *dialog_;
    }

    // Waits until the user pressed Sign, and takes their answer.
    crypto::ConsentAnswer submitted() {
        EXPECT_TRUE(waitUntil([&] { return dialog_->checking(); })) << "not submitted";
        return dialog_->takeAnswer();
    }

    // Waits until the user closed the dialog; true when they signed.
    bool closedWithSign() {
        EXPECT_TRUE(waitUntil([&] { return !dialog_->isVisible(); })) << "still open";
        return dialog_->result() == QDialog::Accepted;
    }

    template <class Widget = QLabel>
    Widget& part(const char* name) {
        auto* widget = dialog_->findChild<Widget*>(name);
        if (!widget) throw std::runtime_error(std::string("no part ") + name);
        return *widget;
    }

    void typePin(const QString& pin) {
        auto& field = part<PinField>("consentPin");
        typeInto(*dialog_, pin, [&] { return field.length(); });
    }

    void screenshot(const char* name) {
        test::screenshot(*dialog_, name, QString::fromStdString(pictures_.path().string()));
    }

    const ZorvaPluginGuiRegistryImpl branding_;
    crypto::ConsentRequest request_;
    std::unique_ptr<ConsentDialog> dialog_;
    TempDir pictures_;
};

TEST_F(ConsentDialogUnderX, ShowsSiteDocumentsAndSigningCertificatesThenSignsWithTypedPin) {
    show(portalRequest());

    EXPECT_EQ(dialog_->windowTitle(), "Creating an electronic signature");
    EXPECT_EQ(part("consentOrigin").text(), "https://portal.example");
    EXPECT_EQ(part("consentOperation").text(), "Sign 3 documents");
    EXPECT_EQ(part("consentLevel").text(),
              "Signature level CAdES-T; the host will ask tsa.example.org for a timestamp");
    EXPECT_EQ(rowsOf(part<QTreeWidget>("consentDocuments")),
              (Rows{{"contract.pdf", "20.00 MiB", "9f86d081884c7d65"},
                    {"annex.txt", "15 bytes", "e3b0c44298fc1c14"},
                    {"Приложение.docx", "1.50 KiB", "2c26b46b68ffc68f"}}));
    auto& certificates = part<QTreeWidget>("consentCertificates");
    EXPECT_EQ(rowsOf(certificates),
              (Rows{{"CN=Ivan Petrov, O=Example", "CN=Test CA", "2027-12-08 09:00:00"},
                    {"CN=Ivan Petrov, O=Old", "CN=Test CA", "2021-01-01 00:00:00 (expired)"},
                    {"CN=Ivan Petrov (EC)", "CN=Test CA", "2028-06-30 12:00:00"}}));
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(2)) << "the page's choice";
    EXPECT_EQ(part("consentPinPrompt").text(), "Enter the user PIN of the token \nIvan's token");
    EXPECT_FALSE(part<QPushButton>("consentSign").isEnabled()) << "no PIN yet";
    screenshot("consent-dialog");

    typePin("1234");
    EXPECT_EQ(part<PinField>("consentPin").length(), 4);
    screenshot("consent-pin-typed");
    pressKey(*dialog_, "Return");

    const crypto::ConsentAnswer answer = submitted();
    EXPECT_EQ(answer.certificateId, "ec");
    EXPECT_EQ(pinOf(answer), "1234");
    EXPECT_TRUE(part<PinField>("consentPin").isEmpty()) << "the PIN stayed in the field";
}

TEST_F(ConsentDialogUnderX, EscapeCancelsAfterThePinWasTyped) {
    show(portalRequest());
    typePin("1234");
    pressKey(*dialog_, "Escape");
    EXPECT_FALSE(closedWithSign());
}

// Sign hands the answer over and the window stays while the PIN is checked;
// a wrong one is shown in it, and the user types the right one there.
TEST_F(ConsentDialogUnderX, WrongPinIsShownInTheSameWindowWhichTakesTheRightPinNext) {
    show(portalRequest());
    auto& certificates = part<QTreeWidget>("consentCertificates");
    certificates.setCurrentItem(certificates.topLevelItem(0));
    EXPECT_FALSE(part("consentError").isVisible());
    typePin("0000");
    pressKey(*dialog_, "Return");

    EXPECT_EQ(pinOf(submitted()), "0000");
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(part("consentStatus").text(), "Checking the PIN…");
    for (const char* input : {"consentCertificates", "consentPin", "consentSign", "consentCancel"})
        EXPECT_FALSE(part<QWidget>(input).isEnabled()) << input << " open while checking";
    screenshot("consent-checking");

    crypto::ConsentFailure failure{"Wrong PIN. Few attempts left.", {}};
    for (const auto& certificate : request_.certificates) {
        failure.tokens.push_back(certificate.token);
        failure.tokens.back().pinCountLow = true;
    }
    dialog_->showFailedAttempt(failure);
    dialog_->resume();
    EXPECT_TRUE(part("consentError").isVisible());
    EXPECT_EQ(part("consentError").text(), "Wrong PIN. Few attempts left.");
    EXPECT_FALSE(part("consentWarning").isVisible()) << "the error says it already";
    EXPECT_FALSE(part("consentStatus").isVisible());
    EXPECT_TRUE(part<PinField>("consentPin").isEmpty());
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(0)) << "the user's choice";
    ASSERT_TRUE(waitUntil([&] { return part<PinField>("consentPin").hasFocus(); }));
    screenshot("consent-wrong-pin");
    typePin("1234");
    pressKey(*dialog_, "KP_Enter");

    const crypto::ConsentAnswer answer = submitted();
    EXPECT_EQ(answer.certificateId, "rsa");
    EXPECT_EQ(pinOf(answer), "1234");
    EXPECT_FALSE(part("consentError").isVisible()) << "the old error while checking again";
    dialog_->done(QDialog::Accepted);
    EXPECT_TRUE(closedWithSign());
}

TEST_F(ConsentDialogUnderX, PinPadTokenAsksForThePinOnTheReaderAndSignsOnEnter) {
    crypto::ConsentRequest request = portalRequest();
    request.operation = "Sign a hash prepared by the site";
    request.documents.clear();
    for (auto& certificate : request.certificates) certificate.token.pinPad = true;
    show(request);

    EXPECT_EQ(part("consentPinPrompt").text(), "Enter the PIN on the reader's keypad");
    EXPECT_FALSE(part<PinField>("consentPin").isVisible());
    EXPECT_EQ(dialog_->findChild<QTreeWidget*>("consentDocuments"), nullptr);
    screenshot("consent-pin-pad");
    pressKey(*dialog_, "Return");

    const crypto::ConsentAnswer answer = submitted();
    EXPECT_EQ(answer.certificateId, "ec");
    EXPECT_TRUE(answer.pin.empty());
    EXPECT_EQ(part("consentStatus").text(), "Enter the PIN on the reader's keypad")
        << "the login waits for the reader";
    EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(ConsentDialogUnderX, ExpiredCertificateIsShownButTheKeyboardCannotChooseIt) {
    crypto::ConsentRequest request = portalRequest();
    request.preselectedId = "old";
    show(request);
    auto& certificates = part<QTreeWidget>("consentCertificates");
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(0))
        << "an expired choice of the page falls back to the first that can sign";

    xdotool({"windowfocus", "--sync", QString::number(dialog_->winId())});
    certificates.setFocus();
    ASSERT_TRUE(waitUntil([&] { return certificates.hasFocus(); }));
    pressKey(*dialog_, "Down");
    ASSERT_TRUE(
        waitUntil([&] { return certificates.currentItem() != certificates.topLevelItem(0); }));
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(2)) << "skips the expired one";
    pressKey(*dialog_, "Escape");
    EXPECT_FALSE(closedWithSign());
}

TEST_F(ConsentDialogUnderX, OnlyExpiredCertificatesLeaveNothingToSignWith) {
    crypto::ConsentRequest request = portalRequest();
    request.certificates.erase(request.certificates.begin());
    request.certificates.pop_back();
    show(request);
    EXPECT_EQ(part("consentPinPrompt").text(),
              "No certificate that can sign: insert the token that holds it.");
    EXPECT_FALSE(part<QPushButton>("consentSign").isEnabled());
    EXPECT_EQ(dialog_->takeAnswer().certificateId, "");
    pressKey(*dialog_, "Escape");
    EXPECT_FALSE(closedWithSign());
}

TEST_F(ConsentDialogUnderX, TokenFlagsWarnOfTheAttemptsLeftUntilAPinWasWrong) {
    struct Case {
        bool countLow, finalTry;
        std::string error, warning;
    };
    const Case cases[] = {
        {false, false, "", ""},
        {true, false, "", "A wrong PIN was entered before: few attempts are left."},
        {true, true, "", "Last attempt: a wrong PIN locks the token."},
        {true, true, "Wrong PIN. One attempt left.", ""},
    };
    for (const Case& c : cases) {
        crypto::ConsentRequest request = portalRequest();
        request.certificates[2].token.pinCountLow = c.countLow;
        request.certificates[2].token.pinFinalTry = c.finalTry;
        show(request);
        if (!c.error.empty()) {
            dialog_->accept();
            dialog_->showFailedAttempt({c.error, {}});
            dialog_->resume();
        }
        EXPECT_EQ(part("consentWarning").isVisible(), !c.warning.empty()) << c.warning;
        EXPECT_EQ(part("consentWarning").text().toStdString(), c.warning);
        if (c.finalTry && c.error.empty()) screenshot("consent-last-attempt");
        dialog_->reject();
    }
}

// Keys meant for the page, typed as the window comes up or gets the keyboard
// back, must neither sign nor spend one of the token's PIN tries.
TEST_F(ConsentDialogUnderX, KeysTypedAsTheWindowComesUpOrComesBackAreIgnored) {
    struct Case {
        const char* name;
        bool comesBack;
        QString text;
        const char* key;
    };
    const Case cases[] = {
        {"PIN and Enter as it comes up", false, "123456", "Return"},
        {"stray text and keypad Enter as it comes up", false, "hello", "KP_Enter"},
        {"Escape as it comes up", false, "", "Escape"},
        {"PIN and Enter as it gets the keyboard back", true, "123456", "Return"},
    };
    QWidget page;
    page.setWindowTitle("page");
    page.show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        request_ = portalRequest();
        dialog_ = std::make_unique<ConsentDialog>(request_, branding_);
        const auto& guard = *dialog_->findChild<InputGuard*>();
        dialog_->show();
        if (c.comesBack) {
            test::focus(*dialog_);
            xdotool({"windowfocus", "--sync", QString::number(page.winId())});
            ASSERT_TRUE(waitUntil([&] { return page.isActiveWindow(); }));
        }
        xdotool({"windowfocus", "--sync", QString::number(dialog_->winId())});
        if (!c.text.isEmpty()) xdotool({"type", "--delay", "30", c.text});
        xdotool({"key", c.key});
        ASSERT_TRUE(waitUntil([&] { return guard.holding(); }));
        EXPECT_FALSE(part<QPushButton>("consentCancel").isEnabled()) << "looks ready too early";
        EXPECT_FALSE(part<QPushButton>("consentSign").isEnabled()) << "looks ready too early";

        ASSERT_TRUE(waitUntil([&] { return test::listening(*dialog_); }));
        QCoreApplication::processEvents();
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_FALSE(dialog_->checking()) << "submitted";
        EXPECT_TRUE(part<PinField>("consentPin").isEmpty()) << "keys reached the PIN";
        EXPECT_TRUE(part<QPushButton>("consentCancel").isEnabled());
        typePin("1");
        dialog_->reject();
    }
}

// The X server's own figures, as xdotool gives them: X, Y, WIDTH and HEIGHT
// of a window, WIDTH and HEIGHT of the screen.
std::map<QString, int> xGeometry(const QStringList& arguments) {
    QProcess run;
    run.start("xdotool", arguments);
    EXPECT_TRUE(run.waitForFinished(10000));
    std::map<QString, int> figures;
    for (const QString& line : QString::fromUtf8(run.readAllStandardOutput()).split('\n'))
        if (line.contains('=')) figures[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    return figures;
}

// The page's and the certificate's texts are shown as they are: whatever
// their length the window and its Sign button stay on the screen, the end of
// a name and the registrable domain and port of an origin stay in sight, and
// characters that change how a text reads are shown as markers with a warning.
TEST_F(ConsentDialogUnderX, LongAndDeceivingTextsAreShownWhollyVisibleInAWindowThatFits) {
    const std::string longHost = std::string(240, 'h') + ".example.org";
    struct Case {
        const char* name;
        std::string origin, document, subject;
        // What the origin, the first document and the first subject show.
        QString shownOrigin, shownDocument, shownSubject;
        bool marked;
    };
    const Case cases[] = {
        {"10,000-character name", "https://portal.example", std::string(10000, 'n') + "_end.pdf",
         "CN=Ivan Petrov, O=Example", "https://portal.example", "n_end.pdf",
         "CN=Ivan Petrov, O=Example", false},
        {"253-character host", "https://" + longHost + ":8443", "contract.pdf",
         "CN=Ivan Petrov, O=Example", "h.example.org:8443", "contract.pdf",
         "CN=Ivan Petrov, O=Example", false},
        {"450-character subject", "https://portal.example", "contract.pdf",
         "CN=Ivan Petrov, O=" + std::string(430, 'o'), "https://portal.example", "contract.pdf",
         "oooo", false},
        {"right-to-left override", "https://portal.example", "invoice_\u202Efdp.exe",
         "CN=Ivan\u200BPetrov", "https://portal.example",
         QString::fromUtf8("invoice_⟨U+202E⟩fdp.exe"), QString::fromUtf8("CN=Ivan⟨U+200B⟩Petrov"),
         true},
        {"line break", "https://portal.example", "a.pdf\nALSO SIGNED: b.pdf",
         "CN=Ivan Petrov, O=Example", "https://portal.example",
         QString::fromUtf8("a.pdf⟨U+000A⟩ALSO SIGNED: b.pdf"), "CN=Ivan Petrov, O=Example", true},
        {"origin with a bidi isolate", "https://portal\u2067.example", "contract.pdf",
         "CN=Ivan Petrov, O=Example", QString::fromUtf8("https://portal⟨U+2067⟩.example"),
         "contract.pdf", "CN=Ivan Petrov, O=Example", true},
    };
    auto screen = xGeometry({"getdisplaygeometry", "--shell"});
    ASSERT_GT(screen["WIDTH"], 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        crypto::ConsentRequest request = portalRequest();
        request.origin = c.origin;
        request.documents[0].name = c.document;
        request.certificates[0].subject = c.subject;
        show(request);
        QCoreApplication::processEvents();

        auto window =
            xGeometry({"getwindowgeometry", "--shell", QString::number(dialog_->winId())});
        ASSERT_GT(window["WIDTH"], 0);
        const QRect onScreen(0, 0, screen["WIDTH"], screen["HEIGHT"]);
        EXPECT_TRUE(
            onScreen.contains(QRect(window["X"], window["Y"], window["WIDTH"], window["HEIGHT"])))
            << window["WIDTH"] << "x" << window["HEIGHT"] << " at " << window["X"] << ","
            << window["Y"];
        auto& sign = part<QPushButton>("consentSign");
        EXPECT_TRUE(onScreen.contains(QRect(sign.mapToGlobal(QPoint(0, 0)), sign.size())))
            << "Sign off screen";

        const QString origin = part("consentOrigin").text();
        EXPECT_TRUE(origin.startsWith("https://")) << origin.toStdString();
        EXPECT_TRUE(origin.endsWith(c.shownOrigin)) << origin.toStdString();
        const QTreeWidgetItem& document = *part<QTreeWidget>("consentDocuments").topLevelItem(0);
        EXPECT_TRUE(document.text(0).endsWith(c.shownDocument)) << document.text(0).toStdString();
        const QTreeWidgetItem& subject = *part<QTreeWidget>("consentCertificates").topLevelItem(0);
        const QString warningSign = QString::fromUtf8("⚠ ");
        EXPECT_TRUE(QString(subject.text(0)).remove(warningSign).startsWith("CN=Ivan"))
            << subject.text(0).toStdString();
        EXPECT_TRUE(subject.text(0).endsWith(c.shownSubject)) << subject.text(0).toStdString();
        const QString ellipsis = QString::fromUtf8("…");
        const std::pair<QString, std::string> texts[] = {
            {origin, c.origin}, {document.text(0), c.document}, {subject.text(0), c.subject}};
        for (const auto& [shown, given] : texts)
            EXPECT_EQ(shown.contains(ellipsis), given.size() > 200) << shown.toStdString();
        if (document.text(0).contains(ellipsis))
            EXPECT_TRUE(document.toolTip(0).contains(QString::fromStdString(c.document)));
        EXPECT_EQ(dialog_->findChild<QLabel*>("consentMarkers") != nullptr, c.marked);
        if (c.marked) screenshot("consent-marked-text");
        dialog_->reject();
    }
}

TEST(PinFieldKeys, TypedCharactersBecomeTheSecretAndBackspaceTakesWholeCharacters) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, QString>> keys;
        std::string pin;
        int length;
    };
    const Case cases[] = {
        {"digits", {{Qt::Key_1, "1"}, {Qt::Key_2, "2"}, {Qt::Key_3, "3"}}, "123", 3},
        {"backspace", {{Qt::Key_1, "1"}, {Qt::Key_2, "2"}, {Qt::Key_Backspace, ""}}, "1", 1},
        {"cyrillic then backspace",
         {{Qt::Key_A, "a"},
          {0, QString::fromUtf8("ж")},
          {0, QString::fromUtf8("я")},
          {Qt::Key_Backspace, ""}},
         "a\xd0\xb6",
         2},
        {"backspace on nothing", {{Qt::Key_Backspace, ""}}, "", 0},
        {"tab is no character", {{Qt::Key_1, "1"}, {Qt::Key_Tab, "\t"}}, "1", 1},
    };
    test::brandedApplication();
    for (const Case& c : cases) {
        PinField field;
        for (const auto& [key, text] : c.keys) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
            QCoreApplication::sendEvent(&field, &press);
        }
        EXPECT_EQ(field.length(), c.length) << c.name;
        const cryptoki::Secret pin = field.take();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(pin.bytes()), pin.size()), c.pin)
            << c.name;
        EXPECT_TRUE(field.isEmpty()) << c.name;
        EXPECT_EQ(field.length(), 0) << c.name;
    }
}

TEST(ConsentSizeText, CountsBytesThenBinaryUnits) {
    const std::pair<std::uint64_t, const char*> cases[] = {{0, "0 bytes"},
                                                           {1023, "1023 bytes"},
                                                           {1024, "1.00 KiB"},
                                                           {20 * 1024 * 1024, "20.00 MiB"},
                                                           {1ULL << 40, "1.00 TiB"}};
    for (const auto& [size, text] : cases) EXPECT_EQ(sizeText(size).toStdString(), text);
}

}  // namespace
}  // namespace zorva::plugin::ui
