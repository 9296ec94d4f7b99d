#include "shown_text.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QVector>
#include <QWidget>

#include <algorithm>

namespace zorva::plugin::ui {
namespace {

// Letters by category that still draw nothing.
bool isInvisibleFiller(char32_t code) {
    return code == 0x034F || code == 0x115F || code == 0x1160 || code == 0x2800 || code == 0x3164 ||
           code == 0xFFA0;
}

bool needsMarker(char32_t code) {
    switch (QChar::category(code)) {
        case QChar::Other_Format:
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return isInvisibleFiller(code);
    }
}

QString marker(char32_t code) {
    return QString::fromUtf8("⟨U+%1⟩").arg(
        QString::number(static_cast<uint>(code), 16).toUpper().rightJustified(4, '0'));
}

// Cuts at whole characters: half a surrogate pair draws as a box.
QString leftCharacters(const QString& text, int count) {
    if (count > 0 && count < text.size() && text.at(count - 1).isHighSurrogate()) --count;
    return text.left(count);
}

QString rightCharacters(const QString& text, int count) {
    if (count > 0 && count < text.size() && text.at(text.size() - count).isLowSurrogate()) --count;
    return text.right(count);
}

// The most of the text's end that fits `width` behind "…".
QString elideFront(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis = QString::fromUtf8("…");
    int low = 0, high = text.size();
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(ellipsis + rightCharacters(text, middle)) <= width) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return ellipsis + rightCharacters(text, low);
}

}  // namespace

ShownText visibleCharacters(const QString& text) {
    ShownText shown;
    const QVector<uint> codes = text.toUcs4();
    for (const uint code : codes) {
        if (needsMarker(code)) {
            shown.text += marker(code);
            shown.marked = true;
        } else {
            shown.text += QString::fromUcs4(&code, 1);
        }
    }
    return shown;
}

QString elideMiddle(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis = QString::fromUtf8("…");
    // As much of both ends as fits, the end a little favoured: it holds the
    // extension.
    int low = 0, high = text.size();
    const auto candidate = [&](int kept) {
        const int front = kept * 2 / 5;
        return leftCharacters(text, front) + ellipsis + rightCharacters(text, kept - front);
    };
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(candidate(middle)) <= width) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return candidate(low);
}

QString elideOrigin(const QString& origin, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(origin) <= width) return origin;
    static const QRegularExpression parts("^([^:/]*://)?([^/]*?)(:[0-9]*)?(/.*)?$");
    const QRegularExpressionMatch match = parts.match(origin);
    if (!match.hasMatch()) return elideMiddle(origin, metrics, width);
    const QString scheme = match.captured(1);
    const QString port = match.captured(3) + match.captured(4);
    const int room = width - metrics.horizontalAdvance(scheme + port);
    // No origin a browser sends has a tail this long: then it is only a text.
    if (room < width / 3) return elideMiddle(origin, metrics, width);
    return scheme + elideFront(match.captured(2), metrics, room) + port;
}

QString markerWarning() {
    return QCoreApplication::translate(
        "zorva::plugin::ui::ShownText",
        "⚠ Some texts hold characters that change how they read or that cannot be seen: "
        "each is shown as ⟨U+…⟩.");
}

int promptTextWidth(const QWidget* window) {
    const QScreen* screen =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const int available = screen ? screen->availableGeometry().width() : 800;
    return std::max(160, std::min(available - 80, 720));
}

QString fullTextTip(const QString& text) {
    // Rich text wraps; the text itself is escaped, never markup.
    return "<p style='white-space:pre-wrap'>" + text.toHtmlEscaped() + "</p>";
}

}  // namespace zorva::plugin::ui
