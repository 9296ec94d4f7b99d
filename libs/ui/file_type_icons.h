#pragma once

#include <QString>

#include <map>
#include <set>

namespace zorva::plugin::ui {

// Icons of the files that dialogs list for signing, by extension with its
// leading dot, in lower case. The empty extension is a file without one.
// Lookups are exact: callers lower-case the extension first and fall back to
// the icon of the empty extension.
extern const std::map<QString, QString> fileTypeIcons;

// Extensions of pictures that a dialog can preview.
extern const std::set<QString> stillImageExtensions;
extern const std::set<QString> animatedImageExtensions;

}  // namespace zorva::plugin::ui
