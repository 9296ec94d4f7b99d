#pragma once

#include "consent.h"
#include "gui_registry.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace zorva::plugin::ui {

// The user's consent to one signature: which site asks, what it wants signed,
// with which key, and the PIN. The PIN is typed here, never in the page; a
// key behind a PIN pad is unlocked on the reader instead.
class ConsentDialog : public QDialog {
    Q_OBJECT

public:
    ConsentDialog(const crypto::ConsentRequest& request, const GuiRegistry::Impl& branding,
                  QWidget* parent = nullptr);
    ~ConsentDialog() override;

    // The chosen certificate and the PIN, which leaves the dialog with it: the
    // field is emptied. Meaningful once the dialog was accepted.
    crypto::ConsentAnswer takeAnswer();

private:
    void addPinArea(const QString& previousError);
    void showCertificate();
    const crypto::ConsentCertificate* chosen() const;
    void updateSignButton();

    // A copy: the dialog may outlive the asking call by a turn of the event loop.
    const crypto::ConsentRequest request_;
    const GuiRegistry::Impl& branding_;
    QTreeWidget* certificates_ = nullptr;
    QLabel* pinPrompt_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QLabel* warning_ = nullptr;
    QPushButton* sign_ = nullptr;
};

}  // namespace zorva::plugin::ui
