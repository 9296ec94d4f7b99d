#pragma once

#include <QDialog>

namespace zorva::plugin::ui {

// A prompt whose accept (its OK button, Enter) hands the answer to the asking
// thread instead of closing: the window stays up, its inputs frozen, while
// the answer is checked, then it either closes or lets the user try again.
// PromptSession shows it and carries the answer over.
class SubmittingDialog : public QDialog {
    Q_OBJECT

public:
    using QDialog::QDialog;

    // Submits once; further accepts wait until the user may try again.
    void accept() override;
    // The answer was not good enough: the inputs are free again.
    void resume();
    bool checking() const { return checking_; }

signals:
    void submitted();

protected:
    // Freezes the inputs while the answer is checked, and frees them again.
    virtual void showChecking(bool checking) = 0;

private:
    bool checking_ = false;
};

}  // namespace zorva::plugin::ui
