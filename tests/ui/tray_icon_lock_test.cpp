#include "tray_icon_lock.h"

#include "temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using zorva::plugin::TrayIconLock;

QString pathIn(const TempDir& dir) { return QString::fromStdString((dir / "tray.lock").string()); }

// A process that has already ended: its id names no running process.
qint64 endedProcessId() {
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    EXPECT_TRUE(process.waitForStarted());
    const qint64 id = process.processId();
    EXPECT_TRUE(process.waitForFinished());
    return id;
}

TEST(TrayIconLock, TheSecondHostWaitsUntilTheFirstEnds) {
    const TempDir dir;
    auto first = std::make_unique<TrayIconLock>(pathIn(dir));
    TrayIconLock second(pathIn(dir));

    EXPECT_EQ(first->holds(), true);
    EXPECT_EQ(second.holds(), false);
    EXPECT_EQ(first->holds(), true);
    first.reset();
    EXPECT_EQ(second.holds(), true);
}

TEST(TrayIconLock, TheLockOfAHostThatCrashedIsTakenOver) {
    const TempDir dir;
    std::string leftOver;
    {
        TrayIconLock crashed(pathIn(dir));
        ASSERT_EQ(crashed.holds(), true);
        leftOver = readFile(dir / "tray.lock");
    }
    // The same lock file, as a process that ended without removing it leaves it.
    writeFile(dir / "tray.lock",
              std::to_string(endedProcessId()) + leftOver.substr(leftOver.find('\n')));
    TrayIconLock next(pathIn(dir));

    EXPECT_EQ(next.holds(), true);
}

TEST(TrayIconLock, NoAnswerWhereNoLockFileCanBeMade) {
    const TempDir dir;
    TrayIconLock lock(QString::fromStdString((dir / "missing" / "tray.lock").string()));

    EXPECT_EQ(lock.holds(), std::nullopt);
}

}  // namespace
