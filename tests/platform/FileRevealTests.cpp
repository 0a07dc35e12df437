#include "platform/FileRevealer.h"

#include "common/TestEnvironment.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <gtest/gtest.h>

namespace vesk {
namespace {

// Stands in for the desktop's file manager on the test's own session bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
    QString startupId;

public slots:
    void ShowItems(const QStringList& uris, const QString& startup)
    {
        shown = uris;
        startupId = startup;
    }
};

bool waitFor(const std::function<bool()>& done)
{
    return QTest::qWaitFor(done, 3000);
}

TEST(FileReveal, AsksTheFileManagerAndOpensTheFolderWhenNoneAnswers)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus";
    const QString folder = test::makeTempDirectory();
    const QString file = folder + QStringLiteral("/Ann - Through the Years.pdf");
    QList<QUrl> opened;
    const FileRevealer revealer(bus, [&](const QUrl& url) {
        opened.append(url);
        return true;
    });

    // Nobody owns the name yet: the folder is opened instead.
    if (!bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.FileManager1")).value()) {
        revealer.reveal(file);
        ASSERT_TRUE(waitFor([&] { return !opened.isEmpty(); }));
        EXPECT_EQ(opened.first(), QUrl::fromLocalFile(folder));
        opened.clear();
    }

    FakeFileManager manager;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                   QDBusConnection::ExportAllSlots));
    if (!bus.registerService(QStringLiteral("org.freedesktop.FileManager1")))
        GTEST_SKIP() << "a file manager already owns the name on this bus";
    revealer.reveal(file);
    ASSERT_TRUE(waitFor([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    // A round trip through the bus comes back after the file manager's answer, which is then
    // handled from the event queue.
    ASSERT_TRUE(bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.FileManager1")).value());
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(opened.isEmpty());
    bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));

    // Without a bus at all the folder is opened.
    const FileRevealer offline(QDBusConnection(QStringLiteral("vesk-no-bus")), [&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    offline.reveal(file);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(folder));
}

} // namespace
} // namespace vesk

#include "FileRevealTests.moc"
