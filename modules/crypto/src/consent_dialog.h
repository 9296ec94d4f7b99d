#pragma once

#include "consent.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace zorva::plugin::crypto {

// The plain question: who asks, what is to be signed, with which certificate,
// and the PIN (no PIN field for a PIN-pad token: the reader asks).
class ConsentDialog : public QDialog {
public:
    explicit ConsentDialog(const ConsentRequest& request, QWidget* parent = nullptr);
    ~ConsentDialog() override;

    // The choice and the PIN; the PIN field is emptied.
    ConsentAnswer takeAnswer();

private:
    void showPinFieldFor(int certificate);

    ConsentRequest request_;
    QComboBox* certificates_;
    QLineEdit* pin_;
};

}  // namespace zorva::plugin::crypto
