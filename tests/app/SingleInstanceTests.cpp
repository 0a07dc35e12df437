#include "app/SingleInstance.h"
#include "common/TestEnvironment.h"
#include "platform/Settings.h"
#include "store/FaultInjection.h"

#include <QDeadlineTimer>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk::test {
namespace {

// Vesk itself, started as a user starts it, on a library and settings of the test's own.
class RunningVesk {
public:
    RunningVesk(const QString& library, const QString& config)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VESK_DATA_DIR"), library);
        environment.insert(QStringLiteral("VESK_CONFIG_DIR"), config);
        environment.insert(QStringLiteral("VESK_STARTUP_PROBE"), QStringLiteral("1"));
        m_process.setProcessEnvironment(environment);
        // What it says on standard error is what the test waits for.
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(VESK_APP_BINARY), QStringList());
    }
    ~RunningVesk()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(-1);
        }
    }

    // True once its window is up and its library read, which is long after it took the lock.
    bool waitUntilStarted()
    {
        const QDeadlineTimer deadline(120'000);
        while (!m_said.contains("vesk-probe startup-finished")) {
            if (!m_process.waitForReadyRead(int(deadline.remainingTime())) || deadline.hasExpired())
                return false;
            m_said += m_process.readAllStandardError();
        }
        return true;
    }
    // An instance that has ended has no process id, and 0 would signal the test runner too.
    void signal(int number)
    {
        if (const pid_t pid = pid_t(m_process.processId()); pid > 0)
            ::kill(pid, number);
    }
    // The exit code of a normal end, -1 when a signal ended it, -2 when it did not end.
    int waitForEnd()
    {
        if (!m_process.waitForFinished(60'000))
            return -2;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray said() { return m_said + m_process.readAllStandardError(); }

private:
    QProcess m_process;
    QByteArray m_said;
};

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

    // A link to the folder, or a path through "..", names the same library.
    const QString link = makeTempDirectory(QStringLiteral("instance")) + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(library, link));
    for (const QString& path : {link, library + QStringLiteral("/../") + QFileInfo(library).fileName()}) {
        SingleInstance same(path);
        same.setHandOverTimeoutMs(2000);
        EXPECT_EQ(same.claim(), SingleInstance::Outcome::HandedOver) << path.toStdString();
    }

    // Another library folder is another library.
    SingleInstance elsewhere(makeTempDirectory(QStringLiteral("instance")));
    EXPECT_EQ(elsewhere.claim(), SingleInstance::Outcome::Primary);
}

TEST(SingleInstance, ALockHeldByAnOlderVeskIsRefusedUntilThatProcessDies)
{
    const QString library = makeTempDirectory(QStringLiteral("instance"));
    const QString lockPath = library + QStringLiteral("/vesk.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // An older Vesk, whose lock file was a QLockFile, holding the library without a listener.
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

TEST(SingleInstance, AKilledVeskLeavesNoLockBehindEvenWhenTheFolderTakesNoNewFile)
{
    const QString library = makeTempDirectory(QStringLiteral("instance"));
    {
        RunningVesk first(library, makeTempDirectory(QStringLiteral("config")));
        ASSERT_TRUE(first.waitUntilStarted()) << first.said().toStdString();
        first.signal(SIGKILL);
        EXPECT_EQ(first.waitForEnd(), -1);
    }
    ASSERT_TRUE(QFileInfo::exists(library + QStringLiteral("/vesk.lock")));
    // The disk has filled meanwhile: nothing new can be made in the folder.
    UnwritableGuard full(library);
    if (!full.active())
        GTEST_SKIP() << "the file system cannot make the folder unwritable";
    SingleInstance next(library);
    next.setHandOverTimeoutMs(100);
    EXPECT_EQ(next.claim(), SingleInstance::Outcome::Primary) << next.failureReason().toStdString();
}

TEST(SingleInstance, AVeskOpenedReadOnlyKeepsItsLibraryWhenTheFolderTakesFilesAgain)
{
    const QString library = makeTempDirectory(QStringLiteral("instance"));
    UnwritableGuard full(library);
    if (!full.active())
        GTEST_SKIP() << "the file system cannot make the folder unwritable";
    RunningVesk first(library, makeTempDirectory(QStringLiteral("config")));
    ASSERT_TRUE(first.waitUntilStarted()) << first.said().toStdString();
    ASSERT_FALSE(QFileInfo::exists(library + QStringLiteral("/vesk.lock")));

    // Space is freed while it runs: a second start finds the first and hands its request over.
    full.release();
    SingleInstance second(library);
    second.setHandOverTimeoutMs(5000);
    EXPECT_EQ(second.claim(), SingleInstance::Outcome::HandedOver) << second.failureReason().toStdString();
}

TEST(SingleInstance, TheSystemsQuitSignalsEndVeskAsClosingItsWindowDoes)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        const QString library = makeTempDirectory(QStringLiteral("instance"));
        const QString config = makeTempDirectory(QStringLiteral("config"));
        RunningVesk vesk(library, config);
        ASSERT_TRUE(vesk.waitUntilStarted()) << vesk.said().toStdString();
        vesk.signal(number);
        EXPECT_EQ(vesk.waitForEnd(), 0) << vesk.said().toStdString();
        // Its window's place is kept, as when the window is closed, and the library is free.
        EXPECT_TRUE(IniSettings(config + QStringLiteral("/Vesk.conf")).contains(QStringLiteral("veskWindowGeometry")));
        SingleInstance next(library);
        next.setHandOverTimeoutMs(100);
        EXPECT_EQ(next.claim(), SingleInstance::Outcome::Primary) << next.failureReason().toStdString();
    }
}

} // namespace
} // namespace vesk::test
