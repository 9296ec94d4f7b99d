#pragma once

#include "secret.h"

#include <QWidget>

namespace zorva::plugin::ui {

// Where the user types a PIN. The typed characters go straight into a Secret
// as UTF-8 and nowhere else: no text of the widget's own, no undo history, no
// clipboard, no drag, no context menu, no input method. It draws one dot per
// character and wipes what was typed when it is hidden or goes.
class PinField : public QWidget {
    Q_OBJECT

public:
    explicit PinField(QWidget* parent = nullptr);
    ~PinField() override;

    bool isEmpty() const { return pin_.empty(); }
    // Characters typed, as the dots show them.
    int length() const { return length_; }
    // Hands the PIN over and leaves the field empty.
    cryptoki::Secret take();
    void clear();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void removeLastCharacter();

    cryptoki::Secret pin_;
    int length_ = 0;
};

}  // namespace zorva::plugin::ui
