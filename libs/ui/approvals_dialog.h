#pragma once

#include <QDialog>

class QListWidget;

namespace zorva::plugin {

class OriginApprovals;

namespace ui {

// The tray's list of the sites the user answered about, allowed or denied;
// removing one makes the host ask about it again.
class ApprovalsDialog : public QDialog {
    Q_OBJECT

public:
    ApprovalsDialog(OriginApprovals& approvals, const QString& title, QWidget* parent = nullptr);
    ~ApprovalsDialog() override;

private:
    void fill();
    void removeSelected();

    OriginApprovals& approvals_;
    QListWidget* list_;
};

}  // namespace ui
}  // namespace zorva::plugin
