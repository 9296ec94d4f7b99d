#include "consent_dialog.h"

#include "consent_lists.h"
#include "dialog_buttons_style.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>
#include <initializer_list>

namespace zorva::plugin::ui {
namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QLabel* label(const char* name, const QString& content) {
    auto* label = new QLabel(content);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Pages send no origin only when a program on this computer asks.
QString originText(const std::string& origin) {
    return origin.empty() ? QString("A program on this computer") : text(origin);
}

QString pinPrompt(const GuiRegistry::Impl& branding, const std::string& tokenLabel) {
    return text(branding.pinPromptTemplate()).replace("%1%", text(tokenLabel)).trimmed();
}

QString attemptsWarning(const crypto::ConsentToken& token) {
    if (token.pinFinalTry) return "Last attempt: a wrong PIN locks the token.";
    if (token.pinCountLow) return "A wrong PIN was entered before: few attempts are left.";
    return {};
}

// The branding's sheet gives the look; these rules only weigh the parts. They
// stay out of the branding's sheet: users keep their copy of that one until
// its identifier changes, and the identifiers are fixed.
const char* const emphasis =
    "QLabel#consentOrigin { font-size: 22px; font-weight: bold; }"
    "QLabel#consentOperation { font-size: 15px; }"
    "QLabel#consentError { color: #c62828; font-weight: bold; }"
    "QLabel#consentWarning { color: #9a5b00; }"
    "QTreeWidget::item:disabled { color: #8c959f; }";

}  // namespace

ConsentDialog::ConsentDialog(const crypto::ConsentRequest& request,
                             const GuiRegistry::Impl& branding, QWidget* parent)
    : SubmittingDialog(parent), request_(request), branding_(branding) {
    // Not the product's name alone, which the site approval's window has.
    setWindowTitle(text(branding.signingTitle()));
    setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);
    setProperty("qss", "dialog");
    setStyleSheet(emphasis);
    setWindowIcon(QPixmap(text(branding.resourcePath("logo_32x32.png"))));

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(label("consentOrigin", originText(request.origin)));
    layout->addWidget(label("consentOperation", text(request.operation)));
    if (!request.level.empty()) layout->addWidget(label("consentLevel", text(request.level)));
    if (!request.documents.empty()) layout->addWidget(documentList(request.documents));
    layout->addWidget(label("consentCertificatesCaption", "Certificate"));
    certificates_ = certificateList(request.certificates, request.preselectedId);
    layout->addWidget(certificates_);
    addPinArea();

    auto* buttons = new QDialogButtonBox;
    // Widgets do not own their style: the dialog does.
    auto* style = new DialogButtonsStyle;
    style->setParent(this);
    buttons->setStyle(style);
    sign_ = buttons->addButton("Sign", QDialogButtonBox::AcceptRole);
    sign_->setObjectName("consentSign");
    sign_->setDefault(true);
    cancel_ = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    cancel_->setObjectName("consentCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(certificates_, &QTreeWidget::currentItemChanged, this, [this] { showCertificate(); });
    connect(pin_, &QLineEdit::textChanged, this, [this] { updateSignButton(); });
    showCertificate();
}

ConsentDialog::~ConsentDialog() {
    // The list's own destruction must not reach this half-destroyed dialog.
    certificates_->disconnect(this);
    pin_->setText(QString());
}

void ConsentDialog::addPinArea() {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    pinPrompt_ = label("consentPinPrompt", {});
    pin_ = new QLineEdit;
    pin_->setObjectName("consentPin");
    pin_->setEchoMode(QLineEdit::Password);
    pin_->setContextMenuPolicy(Qt::NoContextMenu);
    warning_ = label("consentWarning", {});
    layout->addWidget(pinPrompt_);
    layout->addWidget(pin_);
    layout->addWidget(warning_);
    // A wrong PIN comes back here: say so where the PIN is typed again.
    error_ = label("consentError", {});
    error_->hide();
    layout->addWidget(error_);
    status_ = label("consentStatus", {});
    status_->hide();
    layout->addWidget(status_);
}

const crypto::ConsentCertificate* ConsentDialog::chosen() const {
    const QTreeWidgetItem* item = certificates_->currentItem();
    if (!item || !(item->flags() & Qt::ItemIsSelectable)) return nullptr;
    return &request_.certificates.at(static_cast<std::size_t>(certificateIndex(*item)));
}

void ConsentDialog::showCertificate() {
    const crypto::ConsentCertificate* certificate = chosen();
    const bool pinPad = certificate && certificate->token.pinPad;
    if (!certificate) {
        pinPrompt_->setText("No certificate that can sign: insert the token that holds it.");
    } else if (pinPad) {
        pinPrompt_->setText("Enter the PIN on the reader's keypad");
    } else {
        pinPrompt_->setText(pinPrompt(branding_, certificate->token.label));
    }
    pin_->setVisible(certificate && !pinPad);
    // After a wrong PIN the error line says it already.
    const QString warning =
        certificate && error_->text().isEmpty() ? attemptsWarning(certificate->token) : QString();
    warning_->setText(warning);
    warning_->setVisible(!warning.isEmpty());
    updateSignButton();
    if (pin_->isVisibleTo(this)) {
        pin_->setFocus();
    } else {
        sign_->setFocus();
    }
}

void ConsentDialog::updateSignButton() {
    const crypto::ConsentCertificate* certificate = chosen();
    sign_->setEnabled(!checking() && certificate &&
                      (certificate->token.pinPad || !pin_->text().isEmpty()));
}

crypto::ConsentAnswer ConsentDialog::takeAnswer() {
    crypto::ConsentAnswer answer;
    const crypto::ConsentCertificate* certificate = chosen();
    if (certificate) answer.certificateId = certificate->id;
    if (certificate && !certificate->token.pinPad) {
        QByteArray pin = pin_->text().toUtf8();
        answer.pin = crypto::Secret(pin.constData(), static_cast<std::size_t>(pin.size()));
        std::memset(pin.data(), 0, static_cast<std::size_t>(pin.size()));
    }
    // Unlike clear(), drops the field's undo history, which holds what was typed.
    pin_->setText(QString());
    return answer;
}

void ConsentDialog::showFailedAttempt(const crypto::ConsentFailure& failure) {
    if (failure.tokens.size() == request_.certificates.size()) {
        for (std::size_t i = 0; i < failure.tokens.size(); ++i)
            request_.certificates[i].token = failure.tokens[i];
    }
    error_->setText(text(failure.error));
    error_->show();
}

// Every input waits, Cancel too: a second Enter pressed while a slow card
// checks the PIN would otherwise land on it. Escape and the window's close
// button still end the dialog.
void ConsentDialog::showChecking(bool checking) {
    const crypto::ConsentCertificate* certificate = chosen();
    for (QWidget* input : std::initializer_list<QWidget*>{cancel_, sign_, pin_, certificates_})
        input->setEnabled(!checking);
    status_->setText(certificate && certificate->token.pinPad
                         ? "Enter the PIN on the reader's keypad"
                         : "Checking the PIN…");
    status_->setVisible(checking);
    if (checking) {
        error_->clear();
        error_->hide();
    } else {
        // The keyboard focus passed the buttons while they froze, and a button
        // that takes the focus takes the default from Sign.
        sign_->setDefault(true);
        showCertificate();
    }
}

}  // namespace zorva::plugin::ui
