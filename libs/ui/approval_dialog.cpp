#include "approval_dialog.h"

#include "dialog_buttons_style.h"
#include "input_guard.h"
#include "prompt_runner.h"
#include "shown_text.h"
#include "site_prompt.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

namespace zorva::plugin::ui {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

}  // namespace

ApprovalDialog::ApprovalDialog(const QString& origin, const QString& productName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(productName);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setProperty("qss", "dialog");

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* question = new QLabel;
    question->setObjectName("question");
    // The origin is the page's own text: never let it be taken for markup.
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    layout->addWidget(question);
    // However long the origin, the window fits the screen, and the end of
    // its host and its port stay in sight.
    const int width = promptTextWidth(this);
    question->setMaximumWidth(width);
    question->ensurePolished();
    const ShownText shown = visibleCharacters(origin);
    const QString elided = elideOrigin(shown.text, question->fontMetrics(), width);
    question->setText(questionText(elided, productName));
    if (elided != shown.text || shown.marked) question->setToolTip(fullTextTip(shown.text));
    if (shown.marked) {
        auto* warning = new QLabel(markerWarning());
        warning->setObjectName("approvalMarkers");
        warning->setWordWrap(true);
        warning->setMaximumWidth(width);
        layout->addWidget(warning);
    }
    auto* hint =
        new QLabel(tr("Deny blocks this site until you remove it from Approved sites; "
                      "closing this window only answers \"not now\"."));
    hint->setObjectName("hint");
    hint->setWordWrap(true);
    hint->setMaximumWidth(width);
    layout->addWidget(hint);
    layout->addWidget(answerButtons());

    auto* guard = new InputGuard(this);
    connect(guard, &InputGuard::holdingChanged, this, [this](bool holding) {
        for (QPushButton* button : {allow_, deny_}) button->setEnabled(!holding);
        if (!holding) deny_->setFocus();
    });
}

ApprovalDialog::~ApprovalDialog() = default;

QString ApprovalDialog::questionText(const QString& origin, const QString& productName) {
    return tr("%1 wants to use %2 on this computer.").arg(origin, productName);
}

QDialogButtonBox* ApprovalDialog::answerButtons() {
    auto* box = new QDialogButtonBox;
    auto* style = new DialogButtonsStyle;
    style->setParent(this);
    box->setStyle(style);
    allow_ = box->addButton(QObject::tr("&Allow"), QDialogButtonBox::AcceptRole);
    allow_->setObjectName("approvalAllow");
    deny_ = box->addButton(QObject::tr("&Deny"), QDialogButtonBox::RejectRole);
    deny_->setObjectName("approvalDeny");
    // A focused button would take Enter as its own.
    for (QPushButton* button : {allow_, deny_}) button->setAutoDefault(false);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // Escape and the window's close button reject without it: they only dismiss.
    connect(box, &QDialogButtonBox::rejected, this, [this] {
        denied_ = true;
        reject();
    });
    return box;
}

// The button box makes its first accepting button the default once shown.
void ApprovalDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    for (QPushButton* button : {allow_, deny_}) button->setDefault(false);
}

// Allowing a site lasts: Enter, the key that ends so much else, answers nothing.
void ApprovalDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return event->accept();
    QDialog::keyPressEvent(event);
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
