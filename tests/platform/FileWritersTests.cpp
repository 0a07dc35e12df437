#include "common/TestEnvironment.h"
#include "platform/FolderWriteEvents.h"
#include "platform/OpenFileWriters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace vesk;

TEST(OpenFileWriters, FilesHeldOpenForWritingBelowTheFolderAreFound)
{
    const QString root = test::makeTempDirectory("writers");
    const QString folder = root + "/Inbox";
    struct Case {
        const char* name;
        QIODevice::OpenMode mode;
        bool writing;
    };
    const Case cases[] = {
        {"read.txt", QIODevice::ReadOnly, false},
        {"write.txt", QIODevice::WriteOnly, true},
        {"both.txt", QIODevice::ReadWrite, true},
        {"append.txt", QIODevice::Append, true},
        {"Walk.veskactivity/media/log.txt", QIODevice::WriteOnly, true},
    };
    std::vector<std::unique_ptr<QFile>> open;
    for (const Case& c : cases) {
        const QString path = folder + "/" + c.name;
        test::writeFile(path, "A ");
        open.push_back(std::make_unique<QFile>(path));
        ASSERT_TRUE(open.back()->open(c.mode)) << c.name;
    }
    // Beside the folder, not in it.
    QFile beside(root + "/Inbox2.txt");
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));

    const QSet<QString> found = filesOpenForWriting(folder);
    for (const Case& c : cases)
        EXPECT_EQ(found.contains(c.name), c.writing) << c.name;
    EXPECT_EQ(found.size(), 4);

    open.clear();
    EXPECT_TRUE(filesOpenForWriting(folder).isEmpty());
}

TEST(FolderWriteEvents, AFileWrittenIsBeingWrittenUntilItsWriterClosesIt)
{
    const QString folder = test::makeTempDirectory("events");
    QDir().mkpath(folder + "/Walk.veskactivity");
    FolderWriteEvents events;
    ASSERT_TRUE(events.watch(folder));
    ASSERT_TRUE(events.watch(folder + "/Walk.veskactivity"));
    int changes = 0;
    QObject::connect(&events, &FolderWriteEvents::changed, [&] { ++changes; });

    const QString path = folder + "/Walk.veskactivity/log.txt";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write("A "), 2);
    ASSERT_TRUE(file.flush());
    events.catchUp();
    EXPECT_TRUE(events.isBeingWritten(path));
    EXPECT_TRUE(events.isBeingWritten(folder + "/Walk.veskactivity"));
    EXPECT_FALSE(events.isBeingWritten(folder + "/Walk"));

    file.close();
    events.catchUp();
    EXPECT_FALSE(events.isBeingWritten(path));
    // Read at a scan's start, the events are not announced again.
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 0);
}
