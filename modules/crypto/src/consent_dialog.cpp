#include "consent_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zorva::plugin::crypto {
namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QString documentLine(const ConsentDocument& document) {
    return QStringLiteral("%1 (%2, SHA-256 %3…)")
        .arg(text(document.name), QLocale().formattedDataSize(static_cast<qint64>(document.size)),
             text(document.sha256Prefix));
}

QString certificateLine(const ConsentCertificate& certificate) {
    return QStringLiteral("%1, issued by %2, valid until %3%4")
        .arg(text(certificate.subject), text(certificate.issuer), text(certificate.validUntil),
             certificate.expired ? QStringLiteral(" (expired)") : QString());
}

void wipe(QString& secret) { std::fill(secret.begin(), secret.end(), QChar(0)); }

}  // namespace

ConsentDialog::ConsentDialog(const ConsentRequest& request, QWidget* parent)
    : QDialog(parent),
      request_(request),
      certificates_(new QComboBox(this)),
      pin_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Signature request"));
    auto* layout = new QVBoxLayout(this);
    const QString origin =
        request.origin.empty() ? QStringLiteral("this computer") : text(request.origin);
    layout->addWidget(
        new QLabel(QStringLiteral("%1 asks: %2").arg(origin, text(request.operation)), this));
    for (const auto& document : request.documents)
        layout->addWidget(new QLabel(documentLine(document), this));

    for (const auto& certificate : request.certificates)
        certificates_->addItem(certificateLine(certificate), text(certificate.id));
    const auto preselected = std::find_if(
        request.certificates.begin(), request.certificates.end(),
        [&](const auto& certificate) { return certificate.id == request.preselectedId; });
    if (preselected != request.certificates.end())
        certificates_->setCurrentIndex(
            static_cast<int>(preselected - request.certificates.begin()));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Certificate"), certificates_);
    pin_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("PIN"), pin_);
    layout->addLayout(form);
    if (!request.previousError.empty())
        layout->addWidget(new QLabel(text(request.previousError), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Sign"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(certificates_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ConsentDialog::showPinFieldFor);
    showPinFieldFor(certificates_->currentIndex());
    pin_->setFocus();
}

ConsentDialog::~ConsentDialog() { pin_->clear(); }

void ConsentDialog::showPinFieldFor(int certificate) {
    const bool pinPad = certificate >= 0 &&
                        request_.certificates[static_cast<std::size_t>(certificate)].token.pinPad;
    pin_->setEnabled(!pinPad);
    pin_->setPlaceholderText(pinPad ? QStringLiteral("Enter the PIN on the reader") : QString());
}

ConsentAnswer ConsentDialog::takeAnswer() {
    QString typed = pin_->text();
    pin_->clear();
    QByteArray utf8 = typed.toUtf8();
    wipe(typed);
    ConsentAnswer answer{certificates_->currentData().toString().toStdString(),
                         Secret(utf8.constData(), static_cast<std::size_t>(utf8.size()))};
    utf8.fill('\0');
    return answer;
}

}  // namespace zorva::plugin::crypto
