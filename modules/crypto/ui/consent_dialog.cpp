#include "consent_dialog.h"

#include "consent_lists.h"
#include "dialog_buttons_style.h"
#include "input_guard.h"
#include "pin_field.h"
#include "shown_text.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
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
    return origin.empty() ? ConsentDialog::tr("A program on this computer") : text(origin);
}

// The module's own words, in the user's language.
QString moduleText(const std::string& english, int count = -1) {
    return QCoreApplication::translate(crypto::consentTextContext, english.c_str(), nullptr, count);
}

// "%n" in the module's text stands for the number of documents.
QString operationText(const crypto::ConsentRequest& request) {
    const bool counted = request.operation.find("%n") != std::string::npos;
    return moduleText(request.operation, counted ? static_cast<int>(request.documents.size()) : -1);
}

// What will be made, and whom the host contacts for it.
QString levelText(const crypto::ConsentRequest& request) {
    const QString level = text(request.level), tsa = text(request.timestampHost);
    if (tsa.isEmpty()) return ConsentDialog::tr("Signature level %1").arg(level);
    if (!request.asksRevocation)
        return ConsentDialog::tr("Signature level %1; the host will ask %2 for a timestamp")
            .arg(level, tsa);
    return ConsentDialog::tr(
               "Signature level %1; the host will ask %2 for a timestamp and the "
               "certificates' OCSP responders or CRL servers for their status")
        .arg(level, tsa);
}

QString pinPrompt(const GuiRegistry::Impl& branding, const std::string& tokenLabel) {
    return text(branding.pinPromptTemplate()).replace("%1%", text(tokenLabel)).trimmed();
}

QString attemptsWarning(const crypto::ConsentToken& token) {
    if (token.pinFinalTry) return ConsentDialog::tr("Last attempt: a wrong PIN locks the token.");
    if (token.pinCountLow)
        return ConsentDialog::tr("A wrong PIN was entered before: few attempts are left.");
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

// On a low screen the lists give up rows, which they then scroll, until the
// window fits its available height.
void fitHeight(QWidget& dialog, std::initializer_list<QTreeWidget*> lists) {
    const QScreen* screen = dialog.screen();
    // Room for the title bar and the frame that the window manager adds.
    const int available = screen->availableGeometry().height() - 48;
    for (QTreeWidget* list : lists) {
        if (!list) continue;
        const int row = std::max(list->sizeHintForRow(0), list->fontMetrics().height() + 6);
        const int least = list->header()->sizeHint().height() + row + 2 * list->frameWidth() + 2;
        while (dialog.layout()->sizeHint().height() > available &&
               list->maximumHeight() - row >= least) {
            list->setMaximumHeight(list->maximumHeight() - row);
            dialog.layout()->invalidate();
        }
    }
}

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

    // Every part fits this width, so the window fits the screen however long
    // the page's texts are.
    const int width = promptTextWidth(this);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const bool originMarked = addOrigin(width);
    auto* operation = label("consentOperation", operationText(request));
    operation->setMaximumWidth(width);
    layout->addWidget(operation);
    if (!request.level.empty()) {
        auto* level = label("consentLevel", levelText(request));
        level->setMaximumWidth(width);
        layout->addWidget(level);
    }
    QTreeWidget* documents = nullptr;
    if (!request.documents.empty()) {
        documents = documentList(request.documents, width);
        layout->addWidget(documents);
    }
    if (request.hash) layout->addWidget(hashList(*request.hash));
    layout->addWidget(label("consentCertificatesCaption", tr("Certificate")));
    certificates_ = certificateList(request.certificates, request.preselectedId, width);
    layout->addWidget(certificates_);
    if (originMarked || (documents && markedTexts(*documents)) || markedTexts(*certificates_)) {
        auto* warning = label("consentMarkers", markerWarning());
        warning->setMaximumWidth(width);
        layout->addWidget(warning);
    }
    addPinArea();

    auto* buttons = new QDialogButtonBox;
    // Widgets do not own their style: the dialog does.
    auto* style = new DialogButtonsStyle;
    style->setParent(this);
    buttons->setStyle(style);
    sign_ = buttons->addButton(tr("Sign"), QDialogButtonBox::AcceptRole);
    sign_->setObjectName("consentSign");
    sign_->setDefault(true);
    cancel_ = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel_->setObjectName("consentCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(certificates_, &QTreeWidget::currentItemChanged, this, [this] { showCertificate(); });
    connect(pin_, &PinField::changed, this, [this] { updateButtons(); });
    guard_ = new InputGuard(this);
    connect(guard_, &InputGuard::holdingChanged, this, [this] { updateButtons(); });
    showCertificate();
    fitHeight(*this, {documents, certificates_});
}

ConsentDialog::~ConsentDialog() {
    // The list's own destruction must not reach this half-destroyed dialog.
    certificates_->disconnect(this);
}

// The origin in large type: elided so that its registrable domain and port
// stay, and whole in its tooltip.
bool ConsentDialog::addOrigin(int width) {
    const ShownText origin = visibleCharacters(originText(request_.origin));
    QLabel* shown = label("consentOrigin", {});
    shown->setWordWrap(false);
    layout()->addWidget(shown);
    // The dialog's sheet sets the origin's type once the label is its child.
    shown->ensurePolished();
    shown->setText(elideOrigin(origin.text, shown->fontMetrics(), width));
    if (shown->text() != origin.text || origin.marked) shown->setToolTip(fullTextTip(origin.text));
    return origin.marked;
}

void ConsentDialog::addPinArea() {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    pinPrompt_ = label("consentPinPrompt", {});
    pin_ = new PinField;
    pin_->setObjectName("consentPin");
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
        pinPrompt_->setText(tr("No certificate that can sign: insert the token that holds it."));
    } else if (pinPad) {
        pinPrompt_->setText(tr("Enter the PIN on the reader's keypad"));
    } else {
        pinPrompt_->setText(pinPrompt(branding_, certificate->token.label));
    }
    pin_->setVisible(certificate && !pinPad);
    // After a wrong PIN the error line says it already.
    const QString warning =
        certificate && error_->text().isEmpty() ? attemptsWarning(certificate->token) : QString();
    warning_->setText(warning);
    warning_->setVisible(!warning.isEmpty());
    updateButtons();
    if (pin_->isVisibleTo(this)) {
        pin_->setFocus();
    } else {
        sign_->setFocus();
    }
}

// Both buttons wait out the input guard, so the user sees that the window
// does not listen yet.
void ConsentDialog::updateButtons() {
    const crypto::ConsentCertificate* certificate = chosen();
    const bool listening = !checking() && !guard_->holding();
    sign_->setEnabled(listening && certificate && (certificate->token.pinPad || !pin_->isEmpty()));
    cancel_->setEnabled(listening);
}

crypto::ConsentAnswer ConsentDialog::takeAnswer() {
    crypto::ConsentAnswer answer;
    const crypto::ConsentCertificate* certificate = chosen();
    if (certificate) answer.certificateId = certificate->id;
    if (certificate && !certificate->token.pinPad) answer.pin = pin_->take();
    pin_->clear();
    return answer;
}

void ConsentDialog::showFailedAttempt(const crypto::ConsentFailure& failure) {
    if (failure.tokens.size() == request_.certificates.size()) {
        for (std::size_t i = 0; i < failure.tokens.size(); ++i)
            request_.certificates[i].token = failure.tokens[i];
    }
    error_->setText(moduleText(failure.error));
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
                         ? tr("Enter the PIN on the reader's keypad")
                         : tr("Checking the PIN…"));
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
