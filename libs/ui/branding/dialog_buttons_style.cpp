#include "dialog_buttons_style.h"

namespace zorva::plugin::ui {

DialogButtonsStyle::DialogButtonsStyle() = default;

DialogButtonsStyle::~DialogButtonsStyle() = default;

int DialogButtonsStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                  QStyleHintReturn* returnData) const {
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace zorva::plugin::ui
