#include "about_dialog.h"

#include "dialog_buttons_style.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace zorva::plugin::ui {
namespace {

constexpr int copyrightYear = 2024;

// The support address is the package's contact; the product has no web site
// or telephone line of its own to give.
const char* const bodyTemplate = QT_TRANSLATE_NOOP(
    "zorva::plugin::ui::AboutDialog",
    "%0 links web pages to the user's workstation for electronic signature work: tokens, "
    "certificates and the documents to sign.<br/><br/>"
    "© %1 Norvel LLC. All rights reserved.<br/><br/>"
    "Support: <a href=\"mailto:plugin@zorva.org\">plugin@zorva.org</a>");

QLabel* textLabel(const QString& title, const QString& body) {
    auto* label = new QLabel(QString("%0<br/><br/>%1").arg(title, body));
    label->setWordWrap(true);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                                   Qt::LinksAccessibleByKeyboard);
    return label;
}

QDialogButtonBox* closeButtonBox(QDialog* dialog) {
    auto* box = new QDialogButtonBox;
    // Widgets do not own their style: the dialog does.
    auto* style = new DialogButtonsStyle;
    style->setParent(dialog);
    box->setStyle(style);
    box->addButton(QDialogButtonBox::Close)->setText(QObject::tr("Close"));
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

}  // namespace

AboutDialog::AboutDialog(const QString& title, const QString& iconPath, const QString& body,
                         const QString& logoPath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);
    setProperty("qss", "dialog");
    setWindowIcon(QPixmap(iconPath));

    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* logo = new QLabel;
    logo->setPixmap(QPixmap(logoPath));
    layout->addWidget(logo, 0, 0, 1, 1);
    layout->addWidget(textLabel(title, body), 0, 1, 4, 4);
    layout->addWidget(closeButtonBox(this), 4, 0, 1, 5);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::bodyText(const QString& applicationName) {
    return tr(bodyTemplate).arg(applicationName, QString::number(copyrightYear, 10));
}

bool AboutDialog::event(QEvent* event) {
    // Claim Escape before any shortcut does, so it reaches the dialog as a
    // key press and closes it.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

}  // namespace zorva::plugin::ui
