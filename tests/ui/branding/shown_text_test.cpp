#include "shown_text.h"

#include "qt_application.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

using namespace zorva::plugin::ui;

TEST(ShownText, CharactersThatChangeHowATextReadsBecomeMarkers) {
    struct Case {
        const char* given;
        const char* shown;
        bool marked;
    };
    const Case cases[] = {
        {"contract.pdf", "contract.pdf", false},
        {"Договор №15 — итог.pdf", "Договор №15 — итог.pdf", false},
        {"invoice_\u202Efdp.exe", "invoice_⟨U+202E⟩fdp.exe", true},
        {"a\u2066b\u2069c\u200Ed\u200F", "a⟨U+2066⟩b⟨U+2069⟩c⟨U+200E⟩d⟨U+200F⟩", true},
        {"con\u200Btract\u200D\uFEFF", "con⟨U+200B⟩tract⟨U+200D⟩⟨U+FEFF⟩", true},
        {"a\nALSO SIGNED: b\r\tc", "a⟨U+000A⟩ALSO SIGNED: b⟨U+000D⟩⟨U+0009⟩c", true},
        {"line\u2028para\u2029", "line⟨U+2028⟩para⟨U+2029⟩", true},
        {"blank\u3164filler", "blank⟨U+3164⟩filler", true},
        {"tag\U000E0041", "tag⟨U+E0041⟩", true},
    };
    for (const Case& c : cases) {
        const ShownText shown = visibleCharacters(QString::fromUtf8(c.given));
        EXPECT_EQ(shown.text.toStdString(), c.shown);
        EXPECT_EQ(shown.marked, c.marked) << c.shown;
    }
}

TEST(ShownText, ElisionKeepsANamesEndAndAnOriginsSchemeHostEndAndPort) {
    ensureApplication<QGuiApplication>();
    const QFontMetrics metrics{QFont()};
    const int width = metrics.horizontalAdvance(QString(40, 'x'));
    struct Case {
        QString given, starts, ends;
        bool origin;
    };
    const Case cases[] = {
        {QString(500, 'n') + "_final.pdf", "nnn", "n_final.pdf", false},
        {"short.pdf", "short.pdf", "short.pdf", false},
        {"https://" + QString(240, 'h') + ".bank.example.co.uk:8443", "https://…",
         "h.bank.example.co.uk:8443", true},
        {"http://[::1]:" + QString(20, '1'), "http://", ":11111111111111111111", true},
        {"x://" + QString(60, 'a') + ":" + QString(60, '9'), "x://aaa", "999", true},
        {"https://sign.example.org", "https://sign.example.org", "https://sign.example.org", true},
    };
    for (const Case& c : cases) {
        const QString shown =
            c.origin ? elideOrigin(c.given, metrics, width) : elideMiddle(c.given, metrics, width);
        EXPECT_TRUE(shown.startsWith(c.starts)) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.ends)) << shown.toStdString();
        if (shown != c.given) {
            EXPECT_TRUE(shown.contains(QString::fromUtf8("…"))) << shown.toStdString();
            EXPECT_LE(metrics.horizontalAdvance(shown), width) << shown.toStdString();
        }
    }
}

}  // namespace
