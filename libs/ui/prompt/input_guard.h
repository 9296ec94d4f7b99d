#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

namespace zorva::plugin::ui {

// Keeps a window deaf for a moment after it comes up, is raised or gets the
// keyboard back, as browsers do for their permission prompts: a key or a
// click meant for the window that was there before (a PIN typed into the
// page, an Enter that finished a form) must not answer this one. Meanwhile
// every key and mouse press aimed at the window or one of its widgets is
// dropped, and the window disables its buttons so the user sees it waits.
class InputGuard : public QObject {
    Q_OBJECT

public:
    static constexpr int holdMs = 1000;

    // Guards `window` for its life; the window is the parent.
    explicit InputGuard(QWidget* window);

    bool holding() const { return timer_.isActive(); }

signals:
    // Holding starts or ends: the window's cue to disable or free its buttons.
    void holdingChanged(bool holding);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void hold();
    bool insideWindow(QObject* object) const;

    QWidget* const window_;
    QTimer timer_;
};

}  // namespace zorva::plugin::ui
