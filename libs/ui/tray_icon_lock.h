#pragma once

#include <QLockFile>
#include <QString>

#include <optional>

namespace zorva::plugin {

// Decides which of the user's running hosts shows its icon: the one holding
// the lock file. A host that ends, or crashes, leaves the lock to the next
// one that asks.
class TrayIconLock {
public:
    explicit TrayIconLock(const QString& path);

    // The lock file in the user's private runtime folder, one per program
    // name: another user's host can neither take nor hold it.
    static QString defaultPath();

    // Takes the lock when it is free; true while this host holds it. None
    // when the lock file cannot be made at all.
    std::optional<bool> holds();

    const QString& path() const { return path_; }

private:
    QString path_;
    QLockFile file_;
};

}  // namespace zorva::plugin
