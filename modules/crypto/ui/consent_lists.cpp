#include "consent_lists.h"

#include "consent_dialog.h"
#include "shown_text.h"

#include <QColor>
#include <QHeaderView>
#include <QLocale>
#include <QStringList>
#include <QTreeWidget>

#include <algorithm>
#include <iterator>

namespace zorva::plugin::ui {
namespace {

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QTreeWidget* table(const char* name, const QStringList& headers) {
    auto* tree = new QTreeWidget;
    tree->setObjectName(name);
    tree->setHeaderLabels(headers);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return tree;
}

// The table is as wide as its columns and as high as its rows, up to a few
// rows; more scroll.
void fitContents(QTreeWidget& tree, int visibleRows) {
    tree.setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    tree.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int rows = std::min(std::max(tree.topLevelItemCount(), 1), visibleRows);
    const int rowHeight = std::max(tree.sizeHintForRow(0), tree.fontMetrics().height() + 6);
    tree.setMaximumHeight(tree.header()->sizeHint().height() + rows * rowHeight +
                          2 * tree.frameWidth() + 2);
}

constexpr int markedRole = Qt::UserRole + 2;

// Sets a cell to a page's or a certificate's text as the user must see it.
// A marked text leads with a warning sign and takes the warning's colour.
void setShownCell(QTreeWidgetItem& item, int column, const std::string& utf8, int width) {
    const ShownText shown = visibleCharacters(text(utf8));
    const QString sign = shown.marked ? QString::fromUtf8("⚠ ") : QString();
    const QFontMetrics metrics = item.treeWidget()->fontMetrics();
    item.setText(column,
                 sign + elideMiddle(shown.text, metrics, width - metrics.horizontalAdvance(sign)));
    if (item.text(column) != shown.text)
        item.setToolTip(
            column, fullTextTip(shown.marked ? shown.text + "\n\n" + markerWarning() : shown.text));
    if (!shown.marked) return;
    item.setForeground(column, QColor(0x9a, 0x5b, 0x00));
    item.setData(0, markedRole, true);
}

bool selectable(const QTreeWidgetItem& item) { return item.flags() & Qt::ItemIsSelectable; }

QTreeWidgetItem* preselected(QTreeWidget& tree, const QString& id) {
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree.topLevelItem(i);
        if (!selectable(*item)) continue;
        if (item->data(0, Qt::UserRole + 1).toString() == id) return item;
        if (!first) first = item;
    }
    return first;
}

}  // namespace

// Qt words the units of its data sizes in English whatever the language:
// they are translated here, the number follows the language's locale.
QString sizeText(std::uint64_t size) {
    static const char* const units[] = {
        QT_TRANSLATE_NOOP("zorva::plugin::ui::ConsentDialog", "%1 KiB"),
        QT_TRANSLATE_NOOP("zorva::plugin::ui::ConsentDialog", "%1 MiB"),
        QT_TRANSLATE_NOOP("zorva::plugin::ui::ConsentDialog", "%1 GiB"),
        QT_TRANSLATE_NOOP("zorva::plugin::ui::ConsentDialog", "%1 TiB")};
    if (size < 1024) return ConsentDialog::tr("%1 bytes").arg(size);
    double value = static_cast<double>(size) / 1024;
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(units); ++unit) value /= 1024;
    return ConsentDialog::tr(units[unit]).arg(QLocale().toString(value, 'f', 2));
}

QTreeWidget* documentList(const std::vector<crypto::ConsentDocument>& documents, int width) {
    QTreeWidget* tree = table(
        "consentDocuments", {ConsentDialog::tr("Document"), ConsentDialog::tr("Size"), "SHA-256"});
    for (const auto& document : documents) {
        auto* item = new QTreeWidgetItem(
            tree, {QString(), sizeText(document.size), text(document.sha256Prefix)});
        setShownCell(*item, 0, document.name, width * 11 / 20);
        item->setToolTip(1, ConsentDialog::tr("%1 bytes").arg(document.size));
        item->setFlags(Qt::ItemIsEnabled);
    }
    fitContents(*tree, 5);
    return tree;
}

QTreeWidget* hashList(const crypto::ConsentHash& hash) {
    QTreeWidget* tree =
        table("consentHash", {ConsentDialog::tr("Hash function"), ConsentDialog::tr("Hash")});
    auto* item = new QTreeWidgetItem(tree, {text(hash.function), text(hash.prefix)});
    item->setFlags(Qt::ItemIsEnabled);
    fitContents(*tree, 1);
    return tree;
}

QTreeWidget* certificateList(const std::vector<crypto::ConsentCertificate>& certificates,
                             const std::string& preselectedId, int width) {
    QTreeWidget* tree =
        table("consentCertificates", {ConsentDialog::tr("Subject"), ConsentDialog::tr("Issuer"),
                                      ConsentDialog::tr("Valid until")});
    for (std::size_t i = 0; i < certificates.size(); ++i) {
        const auto& certificate = certificates[i];
        const QString until = text(certificate.validUntil) +
                              (certificate.expired ? ConsentDialog::tr(" (expired)") : QString());
        auto* item = new QTreeWidgetItem(tree, {QString(), QString(), until});
        setShownCell(*item, 0, certificate.subject, width * 2 / 5);
        setShownCell(*item, 1, certificate.issuer, width / 4);
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setData(0, Qt::UserRole + 1, text(certificate.id));
        // Shown so the user sees why a known certificate is missing from the choice.
        item->setFlags(certificate.expired ? Qt::NoItemFlags
                                           : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    if (QTreeWidgetItem* current = preselected(*tree, text(preselectedId)))
        tree->setCurrentItem(current);
    fitContents(*tree, 4);
    return tree;
}

int certificateIndex(const QTreeWidgetItem& item) { return item.data(0, Qt::UserRole).toInt(); }

bool markedTexts(const QTreeWidget& list) {
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.topLevelItem(i)->data(0, markedRole).toBool()) return true;
    return false;
}

}  // namespace zorva::plugin::ui
