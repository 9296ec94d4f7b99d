#pragma once

#include "consent.h"
#include "gui_registry.h"
#include "submitting_dialog.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace zorva::plugin::ui {

class InputGuard;
class PinField;

// The user's consent to one signature: which site asks, what it wants signed,
// with which key, and the PIN. The PIN is typed here, never in the page; a
// key behind a PIN pad is unlocked on the reader instead. Sign submits the
// answer and the window stays while the PIN is checked; a wrong one is shown
// in it and the user tries again with their choice of certificate kept.
// For a moment after it comes up or gets the keyboard back the window takes
// no input at all: keys typed for the page must not land in the PIN.
class ConsentDialog : public SubmittingDialog {
    Q_OBJECT

public:
    ConsentDialog(const crypto::ConsentRequest& request, const GuiRegistry::Impl& branding,
                  QWidget* parent = nullptr);
    ~ConsentDialog() override;

    // The chosen certificate and the PIN, which leaves the dialog with it: the
    // field is emptied. Meaningful once the user submitted.
    crypto::ConsentAnswer takeAnswer();
    // Why the last answer failed, with the tokens' states after it.
    void showFailedAttempt(const crypto::ConsentFailure& failure);

protected:
    void showChecking(bool checking) override;

private:
    bool addOrigin(int width);
    void addPinArea();
    void showCertificate();
    const crypto::ConsentCertificate* chosen() const;
    void updateButtons();

    // A copy: the dialog may outlive the asking call by a turn of the event
    // loop. Its token states follow each failed attempt.
    crypto::ConsentRequest request_;
    const GuiRegistry::Impl& branding_;
    QTreeWidget* certificates_ = nullptr;
    QLabel* pinPrompt_ = nullptr;
    PinField* pin_ = nullptr;
    QLabel* warning_ = nullptr;
    QLabel* error_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* sign_ = nullptr;
    QPushButton* cancel_ = nullptr;
    InputGuard* guard_ = nullptr;
};

}  // namespace zorva::plugin::ui
