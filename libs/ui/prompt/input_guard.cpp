#include "input_guard.h"

#include "logging.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace zorva::plugin::ui {
namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace

InputGuard::InputGuard(QWidget* window) : QObject(window), window_(window) {
    setObjectName("inputGuard");
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        PLUGIN_LOG(info) << "ui: the prompt \"" << window_->windowTitle().toStdString()
                         << "\" takes input";
        emit holdingChanged(false);
    });
    // Keys go to the focused widget and clicks to the one under the pointer,
    // each of them a child: only the application sees them all first.
    QCoreApplication::instance()->installEventFilter(this);
}

bool InputGuard::eventFilter(QObject* object, QEvent* event) {
    const QEvent::Type type = event->type();
    if (object == window_ &&
        (type == QEvent::Show || type == QEvent::WindowActivate || type == QEvent::ZOrderChange)) {
        hold();
    }
    return holding() && isUserInput(type) && insideWindow(object);
}

void InputGuard::hold() {
    const bool was = holding();
    timer_.start(holdMs);
    if (was) return;
    // Programs that type as a person would (the tests) wait for the next line.
    PLUGIN_LOG(info) << "ui: the prompt \"" << window_->windowTitle().toStdString()
                     << "\" ignores input for a moment";
    emit holdingChanged(true);
}

bool InputGuard::insideWindow(QObject* object) const {
    const auto* widget = qobject_cast<const QWidget*>(object);
    return widget && (widget == window_ || window_->isAncestorOf(widget));
}

}  // namespace zorva::plugin::ui
