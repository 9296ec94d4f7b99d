#include "pin_field.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <openssl/crypto.h>

#include <algorithm>

namespace zorva::plugin::ui {
namespace {

const QChar dot(0x25cf);

// The keys the field leaves to the dialog: Enter submits, Escape cancels,
// and a held Control or Alt means a shortcut.
bool belongsToDialog(const QKeyEvent& event) {
    const int key = event.key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
           (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

bool isContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

PinField::PinField(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    // An input method keeps its own copy of the text it composes.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAttribute(Qt::WA_KeyCompression, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::IBeamCursor);
}

PinField::~PinField() = default;

cryptoki::Secret PinField::take() {
    cryptoki::Secret pin = std::move(pin_);
    clear();
    return pin;
}

void PinField::clear() {
    pin_ = cryptoki::Secret();
    length_ = 0;
    update();
    emit changed();
}

void PinField::keyPressEvent(QKeyEvent* event) {
    if (belongsToDialog(*event)) return event->ignore();
    if (event->key() == Qt::Key_Backspace) {
        removeLastCharacter();
    } else {
        // One key's character at a time: the text of the whole PIN never
        // exists outside the Secret.
        const QString typed = event->text();
        const bool printable = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                               [](QChar c) { return c.isPrint(); });
        if (printable) {
            QByteArray utf8 = typed.toUtf8();
            pin_.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
            length_ += static_cast<int>(typed.toUcs4().size());
            OPENSSL_cleanse(utf8.data(), static_cast<std::size_t>(utf8.size()));
        }
    }
    event->accept();
    update();
    emit changed();
}

void PinField::removeLastCharacter() {
    if (pin_.empty()) return;
    std::size_t size = pin_.size();
    while (size > 0 && isContinuationByte(pin_.bytes()[size - 1])) --size;
    pin_.truncate(size > 0 ? size - 1 : 0);
    --length_;
}

void PinField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
    const QRect area =
        style()->subElementRect(QStyle::SE_LineEditContents, &frame, this).adjusted(4, 0, -4, 0);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QString(length_, dot));
}

void PinField::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!pin_.empty()) clear();
}

QSize PinField::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    QStyleOptionFrame frame;
    frame.initFrom(this);
    const QSize text(metrics.horizontalAdvance(QString(17, 'x')),
                     std::max(metrics.height(), 14) + 6);
    return style()->sizeFromContents(QStyle::CT_LineEdit, &frame, text, this);
}

QSize PinField::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance('x') * 8, sizeHint().height()};
}

}  // namespace zorva::plugin::ui
