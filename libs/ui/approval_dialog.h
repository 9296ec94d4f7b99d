#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QPushButton;

#include <optional>
#include <string>

namespace zorva::plugin::ui {

// Asks whether a web site may use the product: Allow accepts, Deny (and
// Escape, and closing the window) rejects. No button is the default and
// Enter answers nothing; the keyboard starts on Deny, and the window takes
// no input for a moment after it comes up or gets the keyboard back.
class ApprovalDialog : public QDialog {
    Q_OBJECT

public:
    ApprovalDialog(const QString& origin, const QString& productName, QWidget* parent = nullptr);
    ~ApprovalDialog() override;

    static QString questionText(const QString& origin, const QString& productName);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QDialogButtonBox* answerButtons();

    QPushButton* allow_ = nullptr;
    QPushButton* deny_ = nullptr;
};

// Asks the user through the process's prompt queue: true allows, false
// denies, none when nobody answered in time.
std::optional<bool> askOriginApproval(const std::string& origin, const std::string& productName);

}  // namespace zorva::plugin::ui
