#pragma once

#include <QString>

class QFontMetrics;
class QWidget;

namespace zorva::plugin::ui {

// A text of a page or a certificate as the user is shown it.
struct ShownText {
    QString text;
    // Some characters became markers: the row warns of them.
    bool marked = false;
};

// Every character that changes how the text around it reads or that shows
// nothing of itself (bidirectional controls, zero-width and other format
// characters, control characters, line and paragraph breaks, invisible
// fillers) becomes a visible marker such as "⟨U+202E⟩".
ShownText visibleCharacters(const QString& text);

// Fits the text into `width` pixels with "…" in its middle, so both its
// start and its end (a file name's extension) stay visible.
QString elideMiddle(const QString& text, const QFontMetrics& metrics, int width);

// Fits a web origin into `width` pixels: the scheme, the end of the host and
// the port always stay; the host loses characters from its front, so its
// registrable domain is the last to go.
QString elideOrigin(const QString& origin, const QFontMetrics& metrics, int width);

// The warning beside texts that hold markers.
QString markerWarning();

// The widest a prompt's text may be: the screen's available width, less room
// for the window's frame and margins, and no wider than a prompt reads well.
int promptTextWidth(const QWidget* window);

// The full text for the tooltip of a text that may be elided; it wraps
// instead of running off the screen.
QString fullTextTip(const QString& text);

}  // namespace zorva::plugin::ui
