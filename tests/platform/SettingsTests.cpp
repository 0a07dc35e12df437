#include "common/TestEnvironment.h"
#include "platform/Log.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

QString settingsPath()
{
    return test::makeTempDirectory(QStringLiteral("settings")) + QStringLiteral("/Vesk.conf");
}

TEST(IniSettings, ChangesAreReadAtOnceAndReachTheFileOnceWritten)
{
    const QString path = settingsPath();
    IniSettings settings(path);
    settings.setValue(QStringLiteral("paneWidth"), 432.5);
    settings.setValue(QStringLiteral("view/columns"), 4);
    settings.setValue(QStringLiteral("view/zoom/level"), 2);
    settings.setValue(QStringLiteral("viewer"), QStringLiteral("kept"));
    for (int i = 1; i <= 50; ++i)
        settings.setValue(QStringLiteral("clicks"), i);
    settings.remove(QStringLiteral("view"));

    // Within the session the value set, of the type it was set with, before anything is written.
    EXPECT_EQ(settings.value(QStringLiteral("paneWidth")), QVariant(432.5));
    EXPECT_EQ(settings.value(QStringLiteral("/clicks/")), QVariant(50));
    EXPECT_FALSE(settings.contains(QStringLiteral("view/columns")));
    EXPECT_FALSE(settings.contains(QStringLiteral("view/zoom/level")));
    EXPECT_TRUE(settings.contains(QStringLiteral("viewer")));

    settings.waitForWrites();
    const IniSettings restarted(path);
    EXPECT_DOUBLE_EQ(restarted.value(QStringLiteral("paneWidth")).toDouble(), 432.5);
    EXPECT_EQ(restarted.value(QStringLiteral("clicks")).toInt(), 50) << "the last value of a key wins";
    EXPECT_FALSE(restarted.contains(QStringLiteral("view/columns")));
    EXPECT_FALSE(restarted.contains(QStringLiteral("view/zoom/level")));
    EXPECT_EQ(restarted.value(QStringLiteral("viewer")), QVariant(QStringLiteral("kept")));
    EXPECT_EQ(restarted.value(QStringLiteral("missing"), 7), QVariant(7));
}

TEST(IniSettings, TwoInstancesWritingOneFileKeepEachOthersKeys)
{
    const QString path = settingsPath();
    IniSettings first(path);
    IniSettings second(path);
    first.setValue(QStringLiteral("first"), 1);
    first.waitForWrites();
    second.setValue(QStringLiteral("second"), 2);
    second.waitForWrites();
    first.setValue(QStringLiteral("first"), 3);
    first.waitForWrites();

    const IniSettings restarted(path);
    EXPECT_EQ(restarted.value(QStringLiteral("first")).toInt(), 3);
    EXPECT_EQ(restarted.value(QStringLiteral("second")).toInt(), 2);
}

TEST(IniSettings, AFileThatCannotBeWrittenIsLoggedAndReportedOnTheOwnersThread)
{
    struct Case {
        const char* name;
        // Makes the place of the file unwritable; false when this machine cannot.
        std::function<bool(const QString& folder, QString& path)> block;
    };
    const Case cases[] = {
        {"a folder in the way is a file",
         [](const QString& folder, QString& path) {
             path = test::writeFile(folder + QStringLiteral("/config"), "not a folder") + QStringLiteral("/Vesk.conf");
             return true;
         }},
        {"a read-only file",
         [](const QString& folder, QString& path) {
             path = test::writeFile(folder + QStringLiteral("/Vesk.conf"), "[General]\nkept=1\n");
             QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
             QFile probe(path);
             return !probe.open(QIODevice::ReadWrite); // root may write it all the same
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString path;
        if (!c.block(test::makeTempDirectory(QStringLiteral("blocked")), path))
            continue;
        QStringList logLines;
        setVeskLogCapture([&logLines](const QString& line) { logLines << line; });
        struct Report {
            QString key;
            QString reason;
            QThread* thread;
        };
        QList<Report> reports;
        {
            IniSettings settings(path);
            settings.setWriteFailureHandler([&reports](const QString& key, const QString& reason) {
                reports.append({key, reason, QThread::currentThread()});
            });
            settings.setValue(QStringLiteral("paneWidth"), 300);
            EXPECT_TRUE(reports.isEmpty()) << "reported from the event loop, not from the change";
            settings.waitForWrites();
            QCoreApplication::processEvents();
            EXPECT_EQ(settings.value(QStringLiteral("paneWidth")).toInt(), 300) << "still answered for this session";
        }
        setVeskLogCapture({});
        ASSERT_EQ(reports.size(), 1);
        EXPECT_EQ(reports.first().key, QStringLiteral("paneWidth"));
        EXPECT_EQ(reports.first().reason, QStringLiteral("the settings file could not be written"));
        EXPECT_EQ(reports.first().thread, QCoreApplication::instance()->thread());
        EXPECT_EQ(logLines.filter(QStringLiteral("Vesk settings save error for ")).size(), 1);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
}

TEST(IniSettings, AWriteAfterTheFileRecoversSucceedsAndCarriesTheChangesThatFailed)
{
    const QString folder = test::makeTempDirectory(QStringLiteral("recovers"));
    const QString blocker = test::writeFile(folder + QStringLiteral("/config"), "not a folder");
    const QString path = blocker + QStringLiteral("/Vesk.conf");
    QStringList failedKeys;
    IniSettings settings(path);
    settings.setWriteFailureHandler([&failedKeys](const QString& key, const QString&) { failedKeys << key; });

    settings.setValue(QStringLiteral("paneWidth"), 300);
    settings.waitForWrites();
    QCoreApplication::processEvents();
    ASSERT_EQ(failedKeys, QStringList{QStringLiteral("paneWidth")});

    ASSERT_TRUE(QFile::remove(blocker));
    settings.setValue(QStringLiteral("columns"), 4);
    settings.waitForWrites();
    QCoreApplication::processEvents();
    EXPECT_EQ(failedKeys.size(), 1) << "a write that succeeded is not reported as failed";

    const IniSettings restarted(path);
    EXPECT_EQ(restarted.value(QStringLiteral("paneWidth")).toInt(), 300) << "the change that failed is written";
    EXPECT_EQ(restarted.value(QStringLiteral("columns")).toInt(), 4);
}

} // namespace
