#include "submitting_dialog.h"

namespace zorva::plugin::ui {

void SubmittingDialog::accept() {
    if (checking_) return;
    checking_ = true;
    showChecking(true);
    emit submitted();
}

void SubmittingDialog::resume() {
    checking_ = false;
    showChecking(false);
}

}  // namespace zorva::plugin::ui
