#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QPushButton;

#include <optional>
#include <string>

namespace zorva::plugin::ui {

class SiteLedger;

// Asks whether a web site may use the product: Allow accepts, Deny rejects
// and blocks the site; Escape and closing the window reject too, but only
// dismiss the question ("not now"). No button is the default and Enter
// answers nothing; the keyboard starts on Deny, and the window takes no input
// for a moment after it comes up or gets the keyboard back.
class ApprovalDialog : public QDialog {
    Q_OBJECT

public:
    ApprovalDialog(const QString& origin, const QString& productName, QWidget* parent = nullptr);
    ~ApprovalDialog() override;

    static QString questionText(const QString& origin, const QString& productName);
    // Whether the user chose Deny, not merely closed the window.
    bool denied() const { return denied_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QDialogButtonBox* answerButtons();

    QPushButton* allow_ = nullptr;
    QPushButton* deny_ = nullptr;
    bool denied_ = false;
};

// Asks the user through the process's prompt queue: true allows, false
// denies, none when the user dismissed the question, nobody answered in time
// or the site may not be asked now (the ledger holds back a site whose
// questions the user dismissed, and asks about an origin once at a time).
std::optional<bool> askOriginApproval(const std::string& origin, const std::string& productName,
                                      SiteLedger& sites);

}  // namespace zorva::plugin::ui
