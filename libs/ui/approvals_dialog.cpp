#include "approvals_dialog.h"

#include "dialog_buttons_style.h"
#include "origin_approvals.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

namespace zorva::plugin::ui {
namespace {

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

}  // namespace

ApprovalsDialog::ApprovalsDialog(OriginApprovals& approvals, const QString& title, QWidget* parent)
    : QDialog(parent), approvals_(approvals), list_(new QListWidget) {
    setWindowTitle(title);
    setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);
    setProperty("qss", "dialog");

    auto* box = new QDialogButtonBox;
    auto* style = new DialogButtonsStyle;
    style->setParent(this);
    box->setStyle(style);
    QPushButton* remove = box->addButton(tr("&Remove"), QDialogButtonBox::ActionRole);
    box->addButton(QDialogButtonBox::Close)->setText(tr("Close"));
    connect(remove, &QPushButton::clicked, this, &ApprovalsDialog::removeSelected);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Sites that asked to use this computer:")));
    list_->setObjectName("approvals");
    list_->setMinimumWidth(420);
    layout->addWidget(list_);
    layout->addWidget(box);
    fill();
}

ApprovalsDialog::~ApprovalsDialog() = default;

void ApprovalsDialog::fill() {
    list_->clear();
    for (const auto& [origin, allowed] : approvals_.answers()) {
        auto* item = new QListWidgetItem(
            tr("%1 (%2)").arg(text(origin), allowed ? tr("allowed") : tr("denied")), list_);
        item->setData(Qt::UserRole, text(origin));
    }
    if (list_->count() > 0) list_->setCurrentRow(0);
}

void ApprovalsDialog::removeSelected() {
    const QListWidgetItem* item = list_->currentItem();
    if (!item) return;
    approvals_.forget(item->data(Qt::UserRole).toString().toStdString());
    fill();
}

}  // namespace zorva::plugin::ui
