// Every window of the host in one language: the user's locale (LANG, set by
// the test's registration) picks Russian or English through the program's
// own translator installation and the shipped localization.qm, and no
// window may show a text of the other language. What the window shows as
// data (origins, names, certificates, digits) is taken out before the check.
#include "about_dialog.h"
#include "approval_dialog.h"
#include "approvals_dialog.h"
#include "consent_dialog.h"
#include "consent_requests.h"
#include "environment.h"
#include "gui_registry.h"
#include "origin_approvals.h"
#include "platform.h"
#include "process_env.h"
#include "qt_application.h"
#include "session.h"
#include "system_tray.h"
#include "temp_dir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTranslator>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zorva::plugin;

bool russian() { return process_env::get("ZORVA_EXPECT_LANGUAGE").value_or("") == "ru"; }

// The texts of a Russian window that are no language: the product's name, the
// hash function, the support address.
const QStringList neutral{"ZorvaPlugin", "SHA-256", "plugin@zorva.org"};

QString shown(const QString& text) {
    QString plain =
        Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
    return plain.remove('&');
}

void addTree(const QTreeWidget& tree, QStringList& texts) {
    for (int column = 0; column < tree.columnCount(); ++column)
        texts << tree.headerItem()->text(column);
    for (int row = 0; row < tree.topLevelItemCount(); ++row)
        for (int column = 0; column < tree.columnCount(); ++column)
            texts << tree.topLevelItem(row)->text(column)
                  << tree.topLevelItem(row)->toolTip(column);
}

// Everything a window shows in words, hidden parts too.
QStringList textsOf(const QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        texts << widget->toolTip();
        if (const auto* label = qobject_cast<const QLabel*>(widget)) texts << shown(label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << shown(button->text());
        if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            texts << edit->placeholderText();
        if (const auto* tree = qobject_cast<const QTreeWidget*>(widget)) addTree(*tree, texts);
        if (const auto* list = qobject_cast<const QListWidget*>(widget))
            for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
    }
    texts.removeAll(QString());
    return texts;
}

const QRegularExpression cyrillic("\\p{Cyrillic}");
const QRegularExpression latin("[A-Za-z]");

void expectOneLanguage(const std::string& window, const QStringList& texts,
                       const QStringList& data) {
    bool anyWord = false;
    for (const QString& text : texts) {
        QString rest = text;
        for (const QString& part : data) rest.remove(part);
        if (russian())
            for (const QString& part : neutral) rest.remove(part);
        const QRegularExpression& foreign = russian() ? latin : cyrillic;
        EXPECT_FALSE(rest.contains(foreign))
            << window << ": \"" << text.toStdString() << "\" mixes the languages";
        anyWord = anyWord || rest.contains(russian() ? cyrillic : latin);
    }
    EXPECT_TRUE(anyWord) << window << " shows no text of its language";
}

class WindowLanguage : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication<QApplication>();
        // Installed as the host installs it, and kept for the program's life.
        translator = installTranslator().release();
    }

    static QStringList requestData(const crypto::ConsentRequest& request) {
        QStringList data{QString::fromStdString(request.origin),
                         QString::fromStdString(request.level),
                         QString::fromStdString(request.timestampHost)};
        for (const auto& document : request.documents)
            data << QString::fromStdString(document.name)
                 << QString::fromStdString(document.sha256Prefix);
        for (const auto& certificate : request.certificates)
            data << QString::fromStdString(certificate.subject)
                 << QString::fromStdString(certificate.issuer)
                 << QString::fromStdString(certificate.validUntil)
                 << QString::fromStdString(certificate.token.label);
        return data;
    }

    void expectConsent(const std::string& state, const crypto::ConsentRequest& request,
                       const std::function<void(ui::ConsentDialog&)>& change = {}) {
        for (const auto& [category, branding] : registry.implementations()) {
            ui::ConsentDialog dialog(request, *branding);
            if (change) change(dialog);
            expectOneLanguage("consent " + state + " (" + category + ")", textsOf(dialog),
                              requestData(request));
        }
    }

    static QTranslator* translator;
    const ui::GuiRegistry registry{"zorva.plugin"};
    const ui::GuiRegistry::Impl& zorva = registry.impl();
};

QTranslator* WindowLanguage::translator = nullptr;

TEST_F(WindowLanguage, TheDescribedTextsAreTheRussianOnes) {
    const std::string pid = std::to_string(platform::processId());
    SystemTray tray(Session::instance(), zorva);
    tray.setUp();
    ui::ConsentDialog consent(test::portalRequest(), zorva);

    if (russian()) {
        EXPECT_EQ(tray.toolTip().toStdString(),
                  "Имя процесса: ZorvaPlugin\nИД процесса: " + pid + "\nПротокол: ");
        EXPECT_EQ(consent.windowTitle().toStdString(), "Создание электронной подписи");
    } else {
        EXPECT_EQ(tray.toolTip().toStdString(),
                  "Process name: ZorvaPlugin\nProcess ID: " + pid + "\nProtocol: ");
        EXPECT_EQ(consent.windowTitle().toStdString(), "Creating an electronic signature");
    }
}

TEST_F(WindowLanguage, TrayAndItsWindows) {
    const QStringList pid{QString::number(platform::processId())};
    TempDir dir;
    OriginApprovals approvals(dir / "permissions.json", {});
    approvals.setAsk([](const std::string& origin) { return origin == "https://portal.example"; });
    approvals.admits("https://portal.example");
    approvals.admits("https://other.example");
    const QStringList origins{"https://portal.example", "https://other.example"};

    for (const auto& [category, branding] : registry.implementations()) {
        const QString product = QString::fromStdString(branding->applicationName());
        SystemTray tray(Session::instance(), *branding);
        tray.setUp();
        QStringList menu{tray.toolTip()};
        for (const QAction* action : tray.contextMenu()->actions()) menu << shown(action->text());
        expectOneLanguage("tray (" + category + ")", menu, pid);

        ui::AboutDialog about(product, {}, ui::AboutDialog::bodyText(product), {});
        expectOneLanguage("about (" + category + ")", textsOf(about), {"2024"});
        ui::ApprovalDialog approval("https://portal.example", product);
        expectOneLanguage("site approval (" + category + ")", textsOf(approval), origins);
        ui::ApprovalsDialog approved(approvals, product);
        expectOneLanguage("approved sites (" + category + ")", textsOf(approved), origins);
    }
}

TEST_F(WindowLanguage, ConsentInEveryState) {
    // The operations as the crypto module words them.
    const auto documents = [] {
        auto request = test::portalRequest();
        request.operation = "Sign %n documents";
        return request;
    };
    expectConsent("for documents", documents());

    auto hash = test::portalRequest();
    hash.documents.clear();
    hash.operation = "Sign a hash prepared by the site";
    hash.origin.clear();
    expectConsent("for a hash from a local program", hash);

    auto last = test::portalRequest();
    last.operation = "Sign 1 document";
    last.documents.resize(1);
    for (auto& certificate : last.certificates) certificate.token.pinFinalTry = true;
    expectConsent("after a wrong PIN", last, [](ui::ConsentDialog& dialog) {
        dialog.showFailedAttempt({"Wrong PIN. Few attempts left.", {}});
    });
    expectConsent("on the last attempt", last);

    auto pinPad = documents();
    for (auto& certificate : pinPad.certificates) certificate.token.pinPad = true;
    expectConsent("with a PIN pad while checking", pinPad,
                  [](ui::ConsentDialog& dialog) { dialog.accept(); });

    auto expired = documents();
    for (auto& certificate : expired.certificates) certificate.expired = true;
    expectConsent("without a certificate that can sign", expired);
}

}  // namespace
