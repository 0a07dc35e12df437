#include "app/SingleInstance.h"
#include "common/TestEnvironment.h"

#include <QLockFile>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk::test {
namespace {

TEST(SingleInstance, ASecondStartOnTheSameLibraryHandsItsWindowRequestToTheFirst)
{
    const QString library = makeTempDirectory(QStringLiteral("instance"));
    SingleInstance first(library);
    ASSERT_EQ(first.claim(), SingleInstance::Outcome::Primary);
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    SingleInstance second(library);
    EXPECT_EQ(second.claim(), SingleInstance::Outcome::HandedOver);
    EXPECT_TRUE(asked.wait(2000));
    EXPECT_EQ(asked.count(), 1);

    // Another library folder is another library.
    SingleInstance elsewhere(makeTempDirectory(QStringLiteral("instance")));
    EXPECT_EQ(elsewhere.claim(), SingleInstance::Outcome::Primary);
}

TEST(SingleInstance, ALockHeldByAnotherLiveProcessIsRefusedUntilThatProcessDies)
{
    const QString library = makeTempDirectory(QStringLiteral("instance"));
    const QString lockPath = library + QStringLiteral("/vesk.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // Another Vesk that holds the library but never answers (no listener).
        QLockFile lock(lockPath);
        lock.setStaleLockTime(0);
        const char state = lock.tryLock(0) ? '1' : '0';
        (void)::write(ready[1], &state, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(state, '1');

    {
        SingleInstance blocked(library);
        blocked.setHandOverTimeoutMs(200);
        EXPECT_EQ(blocked.claim(), SingleInstance::Outcome::Failed);
        EXPECT_TRUE(blocked.failureReason().contains(QString::number(holder))) << blocked.failureReason().toStdString();
    }

    // Killed without a chance to clean up: its lock is stale and taken over.
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(QFileInfo::exists(lockPath));
    SingleInstance after(library);
    EXPECT_EQ(after.claim(), SingleInstance::Outcome::Primary);
}

} // namespace
} // namespace vesk::test
