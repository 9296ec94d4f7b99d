#include "tray_icon_lock.h"

#include "path_registry.h"

#include <QDir>
#include <QStandardPaths>

namespace zorva::plugin {

TrayIconLock::TrayIconLock(const QString& path) : path_(path), file_(path) {
    // Held for the host's whole life, so its age says nothing: only a lock
    // whose process is gone counts as left over.
    file_.setStaleLockTime(0);
}

QString TrayIconLock::defaultPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    // Without the folder there is no lock, rather than one in the working folder.
    if (folder.isEmpty()) return {};
    const QString program =
        QString::fromStdString(path_registry::programLocation().filename().string());
    return QDir(folder).filePath(program + QStringLiteral(".tray.lock"));
}

std::optional<bool> TrayIconLock::holds() {
    if (file_.isLocked() || file_.tryLock(0)) return true;
    if (file_.error() == QLockFile::LockFailedError) return false;
    return std::nullopt;
}

}  // namespace zorva::plugin
