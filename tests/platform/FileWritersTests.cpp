#include "common/TestEnvironment.h"
#include "platform/FolderWriteEvents.h"
#include "platform/OpenFileWriters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vesk;

namespace {

FileIdentity identityOf(const QString& path)
{
    return fileIdentity(QFile::encodeName(path)).value_or(FileIdentity{});
}

} // namespace

TEST(OpenFileWriters, FilesHeldOpenForWritingAreFoundUnderAnyName)
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
    QSet<FileIdentity> asked;
    for (const Case& c : cases) {
        const QString path = folder + "/" + c.name;
        test::writeFile(path, "A ");
        open.push_back(std::make_unique<QFile>(path));
        ASSERT_TRUE(open.back()->open(c.mode)) << c.name;
        asked.insert(identityOf(path));
    }
    // Written under its first name, linked into the folder under a second one.
    const QString elsewhere = test::writeFile(root + "/elsewhere/log.txt", "A ");
    QFile linkedWriter(elsewhere);
    ASSERT_TRUE(linkedWriter.open(QIODevice::Append));
    ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(folder + "/linked.txt").constData()), 0);
    asked.insert(identityOf(folder + "/linked.txt"));
    // Held open for writing, but not asked about.
    QFile unasked(root + "/unasked.txt");
    ASSERT_TRUE(unasked.open(QIODevice::WriteOnly));

    const QSet<FileIdentity> found = filesOpenForWriting(asked);
    for (const Case& c : cases)
        EXPECT_EQ(found.contains(identityOf(folder + "/" + c.name)), c.writing) << c.name;
    EXPECT_TRUE(found.contains(identityOf(folder + "/linked.txt")));
    EXPECT_FALSE(found.contains(identityOf(root + "/unasked.txt")));
    EXPECT_EQ(found.size(), 5);

    open.clear();
    linkedWriter.close();
    EXPECT_TRUE(filesOpenForWriting(asked).isEmpty());
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

// A writer whose open files cannot be looked at (another user's) is told only by its creation
// or open; either holds its file for a bounded time, a write until the close.
TEST(FolderWriteEvents, ACreationOrAnOpenNotYetClosedHoldsItsFileForABoundedTime)
{
    const QString folder = test::makeTempDirectory("events");
    const QString elsewhere = test::writeFile(test::makeTempDirectory("elsewhere") + "/log.txt", "A ");
    constexpr qint64 kHoldMs = 60'000;
    qint64 now = 1'000'000;
    FolderWriteEvents events({kHoldMs, [&] { return now; }});
    ASSERT_TRUE(events.watch(folder));

    struct Case {
        const char* name;
        std::function<void(const QString& path, QFile& file)> act;
        bool heldAtFirst;
        bool heldOnceTheBoundHasPassed;
    };
    const auto createWithoutWriting = [](const QString&, QFile& file) { ASSERT_TRUE(file.open(QIODevice::WriteOnly)); };
    const Case cases[] = {
        // Nothing is lost by leaving an empty file; its writer's first byte may come much later.
        {"created, its first byte not written yet", createWithoutWriting, true, true},
        {"empty, opened for writing, not closed", [](const QString& path, QFile& file) {
             test::writeFile(path, "");
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
         }, true, true},
        {"opened for reading, not closed", [](const QString& path, QFile& file) {
             test::writeFile(path, "there before");
             ASSERT_TRUE(file.open(QIODevice::ReadOnly));
         }, true, false},
        {"written, not closed", [](const QString&, QFile& file) {
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             ASSERT_EQ(file.write("A "), 2);
             ASSERT_TRUE(file.flush());
         }, true, true},
        {"created and closed without writing", [&](const QString&, QFile& file) {
             createWithoutWriting({}, file);
             file.close();
         }, false, false},
        {"opened for reading and closed", [](const QString& path, QFile& file) {
             test::writeFile(path, "there before");
             ASSERT_TRUE(file.open(QIODevice::ReadOnly));
             file.close();
         }, false, false},
        {"a second name of a file made elsewhere", [&](const QString& path, QFile&) {
             ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(path).constData()), 0);
         }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder + "/" + c.name;
        QFile file(path);
        c.act(path, file);
        events.catchUp();
        EXPECT_EQ(events.isBeingWritten(path), c.heldAtFirst);
        now += kHoldMs;
        EXPECT_EQ(events.isBeingWritten(path), c.heldOnceTheBoundHasPassed);
        file.close();
        events.catchUp();
        EXPECT_FALSE(events.isBeingWritten(path));
    }

    // The last opener's close ends a hold, and says so: the file is looked at again then.
    const QString read = test::writeFile(folder + "/read later.txt", "text");
    QFile reader(read);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    events.catchUp();
    EXPECT_TRUE(events.isBeingWritten(read));
    int changes = 0;
    QObject::connect(&events, &FolderWriteEvents::changed, [&] { ++changes; });
    reader.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes > 0; }, test::realWaitMs(5000)));
    EXPECT_FALSE(events.isBeingWritten(read));
}

// Two closes one after the other come from inotify as one event; the count of opens cannot tell
// the file is closed, what the processes hold open can.
TEST(FolderWriteEvents, AFileReadTwiceAtOnceIsFreeOnceNoProcessHoldsItOpen)
{
    const QString folder = test::makeTempDirectory("merged-closes");
    FolderWriteEvents events;
    ASSERT_TRUE(events.watch(folder));
    for (const bool secondStillOpen : {false, true}) {
        SCOPED_TRACE(secondStillOpen ? "one reader still has it open" : "both readers closed it");
        const QString path = test::writeFile(folder + (secondStillOpen ? "/open.txt" : "/closed.txt"), "text");
        events.catchUp();
        QFile first(path);
        QFile second(path);
        ASSERT_TRUE(first.open(QIODevice::ReadOnly));
        // An event between the opens keeps them apart, so that both are counted.
        test::writeFile(folder + "/between.txt", "x");
        ASSERT_TRUE(second.open(QIODevice::ReadOnly));
        events.catchUp();
        ASSERT_TRUE(events.isBeingWritten(path));
        first.close();
        if (!secondStillOpen)
            second.close(); // merged with the first close: the folder's events see one
        events.catchUp();
        EXPECT_EQ(events.isBeingWritten(path), secondStillOpen);
        second.close();
        events.catchUp();
        EXPECT_FALSE(events.isBeingWritten(path));
    }
}

// Each look at the processes reads every process's open files: the merged closes of one read of
// events are settled with one look, however many files they are of.
TEST(FolderWriteEvents, MergedClosesOfOneReadAreSettledWithOneLookAtTheProcesses)
{
    for (const int fileCount : {1, 4}) {
        SCOPED_TRACE(fileCount);
        const QString folder = test::makeTempDirectory("merged-closes-batch");
        int looks = 0;
        FolderWriteEvents::Holding holding;
        holding.openFiles = [&](const QSet<FileIdentity>& files) {
            ++looks;
            return filesOpen(files);
        };
        FolderWriteEvents events(holding);
        ASSERT_TRUE(events.watch(folder));
        std::vector<std::unique_ptr<QFile>> readers;
        QStringList paths;
        for (int file = 0; file < fileCount; ++file) {
            paths.append(test::writeFile(folder + QStringLiteral("/read%1.txt").arg(file), "text"));
            for (int reader = 0; reader < 2; ++reader) {
                readers.push_back(std::make_unique<QFile>(paths.last()));
                ASSERT_TRUE(readers.back()->open(QIODevice::ReadOnly));
                // An event between the opens keeps them apart, so that both are counted.
                test::writeFile(folder + QStringLiteral("/between%1-%2.txt").arg(file).arg(reader), "x");
            }
        }
        events.catchUp();
        looks = 0;
        // Two closes in a row of each file come as one event.
        for (const auto& reader : readers)
            reader->close();
        events.catchUp();
        EXPECT_EQ(looks, 1);
        for (const QString& path : std::as_const(paths))
            EXPECT_FALSE(events.isBeingWritten(path)) << path.toStdString();
    }
}
