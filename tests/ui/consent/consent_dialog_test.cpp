// The consent dialog as the user meets it: a real window on an X display,
// driven with xdotool, its texts read back from the widgets and a picture
// taken of each state.
#include "consent_dialog.h"
#include "consent_lists.h"
#include "consent_requests.h"
#include "temp_dir.h"
#include "x_display.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

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
        auto& field = part<QLineEdit>("consentPin");
        typeInto(*dialog_, pin, [&] { return field.text().size(); });
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

    EXPECT_EQ(dialog_->windowTitle(), "Создание электронной подписи");
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
    EXPECT_EQ(part("consentPinPrompt").text(), "Введите ПИН пользователя от токена \nIvan's token");
    EXPECT_FALSE(part<QPushButton>("consentSign").isEnabled()) << "no PIN yet";
    screenshot("consent-dialog");

    typePin("1234");
    EXPECT_EQ(part<QLineEdit>("consentPin").displayText(), QString(4, QChar(0x25cf)))
        << "the PIN is masked";
    screenshot("consent-pin-typed");
    pressKey(*dialog_, "Return");

    const crypto::ConsentAnswer answer = submitted();
    EXPECT_EQ(answer.certificateId, "ec");
    EXPECT_EQ(pinOf(answer), "1234");
    EXPECT_TRUE(part<QLineEdit>("consentPin").text().isEmpty()) << "the PIN stayed in the field";
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
    EXPECT_TRUE(part<QLineEdit>("consentPin").text().isEmpty());
    EXPECT_FALSE(part<QLineEdit>("consentPin").isUndoAvailable()) << "the wrong PIN can come back";
    EXPECT_EQ(certificates.currentItem(), certificates.topLevelItem(0)) << "the user's choice";
    ASSERT_TRUE(waitUntil([&] { return part<QLineEdit>("consentPin").hasFocus(); }));
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
    EXPECT_FALSE(part<QLineEdit>("consentPin").isVisible());
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
