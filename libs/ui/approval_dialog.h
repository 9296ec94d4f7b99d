#pragma once

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

namespace zorva::plugin::ui {

// Asks whether a web site may use the product: Allow accepts, Deny (and
// Escape, and closing the window) rejects.
class ApprovalDialog : public QDialog {
    Q_OBJECT

public:
    ApprovalDialog(const QString& origin, const QString& productName, QWidget* parent = nullptr);
    ~ApprovalDialog() override;

    static QString questionText(const QString& origin, const QString& productName);
};

// Asks the user through the process's prompt queue: true allows, false
// denies, none when nobody answered in time.
std::optional<bool> askOriginApproval(const std::string& origin, const std::string& productName);

}  // namespace zorva::plugin::ui
