#pragma once

#include <QDialog>
#include <QString>

namespace zorva::plugin::ui {

// The product's about box: logo, texts with links, one Close button.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    AboutDialog(const QString& title, const QString& iconPath, const QString& body,
                const QString& logoPath, QWidget* parent = nullptr);
    ~AboutDialog() override;

    // The about text of a product: its name, the vendor and the year.
    static QString bodyText(const QString& applicationName);

protected:
    bool event(QEvent* event) override;
};

}  // namespace zorva::plugin::ui
