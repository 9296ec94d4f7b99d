#pragma once

// Drives real windows on the test's X display as a person would: xdotool
// sends the keys through the X server, and pictures are taken from it.

#include "input_guard.h"
#include "pin_field.h"
#include "qt_application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace zorva::plugin::test {

// The widgets application with the default branding's fonts and style sheet,
// as the host sets them up.
inline void brandedApplication() {
    ensureApplication<QApplication>();
    for (const char* font : {":/font/roboto-regular.ttf", ":/font/Roboto-Bold.woff2"})
        QFontDatabase::addApplicationFont(font);
    QFile style(":/zorva_plugin/style.css");
    ASSERT_TRUE(style.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
}

// Lets the event loop run until the condition holds; false after the limit.
inline bool waitUntil(const std::function<bool()>& condition, int limitMs = 10000) {
    const QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs xdotool to its end; the X server applies the keys whatever the event
// loop does meanwhile.
inline void xdotool(const QStringList& arguments) {
    QProcess run;
    run.start("xdotool", arguments);
    ASSERT_TRUE(run.waitForFinished(10000)) << "xdotool did not finish";
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
}

// True once the window has the keyboard and its input guard lets keys in.
inline bool listening(QWidget& window) {
    const auto* guard = window.findChild<ui::InputGuard*>();
    return window.isActiveWindow() && (!guard || !guard->holding());
}

// Gives the window the keyboard and waits until it takes keys: a window that
// gets the keyboard back ignores them for a moment.
inline void focus(QWidget& window) {
    xdotool({"windowfocus", "--sync", QString::number(window.winId())});
    ASSERT_TRUE(waitUntil([&] { return listening(window); })) << "the window never took keys";
}

// Gives the window the keyboard, types the text and waits until the focused
// widget shows all of it.
inline void typeInto(QWidget& window, const QString& text,
                     const std::function<int()>& typedLength) {
    focus(window);
    xdotool({"type", "--delay", "30", text});
    ASSERT_TRUE(waitUntil([&] { return typedLength() == text.size(); }))
        << "typed " << typedLength() << " of " << text.size() << " characters";
}

inline void pressKey(QWidget& window, const char* key) {
    focus(window);
    xdotool({"key", key});
}

// The PIN field once the window asks for a PIN: empty, enabled and focused,
// as after it opened or after a wrong PIN; null when it does not.
inline ui::PinField* waitForPinField(QWidget& window) {
    auto* field = window.findChild<ui::PinField*>("consentPin");
    const bool asks = field && waitUntil([&] {
                          return field->isEmpty() && field->isEnabled() && field->hasFocus();
                      });
    return asks ? field : nullptr;
}

// Types a PIN into the consent window and signs, once the window is ready
// for it: the field empty once the last PIN was taken, and enabled once that
// one was found wrong.
inline void typePinAndSign(QWidget& window, const QString& pin) {
    ui::PinField* const field = waitForPinField(window);
    ASSERT_TRUE(field);
    typeInto(window, pin, [&] { return field->length(); });
    pressKey(window, "Return");
}

// A picture of the window as the X server shows it, into the directory
// named by ZORVA_SCREENSHOTS (the test's own temporary one otherwise).
inline void screenshot(QWidget& window, const QString& name, const QString& fallbackDir) {
    QCoreApplication::processEvents();
    const QString dir = qEnvironmentVariableIsEmpty("ZORVA_SCREENSHOTS")
                            ? fallbackDir
                            : qEnvironmentVariable("ZORVA_SCREENSHOTS");
    const QPixmap picture = window.screen()->grabWindow(window.winId());
    ASSERT_FALSE(picture.isNull());
    ASSERT_TRUE(picture.save(QDir(dir).filePath(name + ".png")));
}

}  // namespace zorva::plugin::test
