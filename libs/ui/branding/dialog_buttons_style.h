#pragma once

#include <QProxyStyle>

namespace zorva::plugin::ui {

// Dialog buttons show their captions only: the style sheets give them the
// look, and an icon beside the caption would break it.
class DialogButtonsStyle : public QProxyStyle {
public:
    DialogButtonsStyle();
    ~DialogButtonsStyle() override;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace zorva::plugin::ui
