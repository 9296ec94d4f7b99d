#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Runs the event loop of the calling thread until the condition holds or the
// time is up; tells whether the condition held.
inline bool runEventsUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        // Wakes at least every 50 ms for conditions that no event announces.
        QEventLoop slice;
        QTimer::singleShot(50, &slice, &QEventLoop::quit);
        slice.exec();
    }
    return true;
}
