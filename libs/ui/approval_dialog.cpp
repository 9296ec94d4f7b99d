#include "approval_dialog.h"

#include "dialog_buttons_style.h"
#include "prompt_runner.h"
#include "site_prompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

namespace zorva::plugin::ui {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

QDialogButtonBox* answerButtons(QDialog* dialog, bool& denied) {
    auto* box = new QDialogButtonBox;
    auto* style = new DialogButtonsStyle;
    style->setParent(dialog);
    box->setStyle(style);
    QPushButton* allow = box->addButton(QObject::tr("&Allow"), QDialogButtonBox::AcceptRole);
    box->addButton(QObject::tr("&Deny"), QDialogButtonBox::RejectRole);
    // Enter must not approve a site by accident: no button is the default.
    allow->setAutoDefault(false);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    // Escape and the window's close button reject without it: they only dismiss.
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, [dialog, &denied] {
        denied = true;
        dialog->reject();
    });
    return box;
}

}  // namespace

ApprovalDialog::ApprovalDialog(const QString& origin, const QString& productName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(productName);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setProperty("qss", "dialog");

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* question = new QLabel(questionText(origin, productName));
    question->setObjectName("question");
    // The origin is the page's own text: never let it be taken for markup.
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    layout->addWidget(question);
    auto* hint =
        new QLabel(tr("Deny blocks this site until you remove it from Approved sites; "
                      "closing this window only answers \"not now\"."));
    hint->setObjectName("hint");
    hint->setWordWrap(true);
    layout->addWidget(hint);
    layout->addWidget(answerButtons(this, denied_));
}

ApprovalDialog::~ApprovalDialog() = default;

QString ApprovalDialog::questionText(const QString& origin, const QString& productName) {
    return tr("%1 wants to use %2 on this computer.").arg(origin, productName);
}

std::optional<bool> askOriginApproval(const std::string& origin, const std::string& productName,
                                      SiteLedger& sites) {
    try {
        SitePrompt site(sites, origin);
        bool denied = false;
        const auto result =
            runPrompt([&] { return new ApprovalDialog(text(origin), text(productName)); },
                      [&denied](QDialog& dialog, PromptResult) {
                          denied = static_cast<ApprovalDialog&>(dialog).denied();
                      },
                      defaultPromptLimit, &site);
        if (result == PromptResult::TimedOut) return std::nullopt;
        if (result == PromptResult::Rejected && !denied) {
            site.dismissed();
            return std::nullopt;
        }
        site.answered();
        return result == PromptResult::Accepted;
    } catch (const SitePromptRefused&) {
        return std::nullopt;
    }
}

}  // namespace zorva::plugin::ui
