#include "common/Eventually.h"
#include "common/TestEnvironment.h"
#include "intake/CloudInboxScanner.h"
#include "intake/CloudInboxWatcher.h"
#include "intake/InboxEntryCheck.h"
#include "intake/InboxWatcher.h"
#include "intake/MobilePackages.h"
#include "platform/Log.h"
#include "platform/OpenFileWriters.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QPromise>
#include <QTest>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

void write(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(mode));
    file.write(bytes);
}

void setModified(const QString& path, qint64 secs)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime));
}

constexpr InboxWatcher::Timing kFast{10, 40};

QStringList decoded(const QList<QByteArray>& nativePaths)
{
    QStringList paths;
    for (const QByteArray& path : nativePaths)
        paths.append(QFile::decodeName(path));
    return paths;
}

QSet<FileIdentity> identities(const QString& folder, const QSet<QString>& names)
{
    QSet<FileIdentity> files;
    for (const QString& name : names) {
        if (const std::optional<FileIdentity> identity = fileIdentity(QFile::encodeName(folder + "/" + name)))
            files.insert(*identity);
    }
    return files;
}

TEST(InboxWatcher, WaitingFilesArriveOnceOldestFirstAndNewOnesFollow)
{
    const QString inbox = vesk::test::makeTempDirectory("inbox") + "/Inbox";
    write(inbox + "/new.txt", "n");
    write(inbox + "/old.txt", "o");
    setModified(inbox + "/new.txt", 2'000'000);
    setModified(inbox + "/old.txt", 1'000'000);
    QList<QStringList> calls;
    InboxWatcher watcher(inbox, [&](const QList<QByteArray>& nativePaths) {
        const QStringList paths = decoded(nativePaths);
        calls.append(paths);
        for (const QString& path : paths)
            QFile::remove(path); // as the store does once an item is kept
    }, kFast);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.isEmpty(); }, 3000));
    EXPECT_EQ(calls.first(), (QStringList{inbox + "/old.txt", inbox + "/new.txt"}));

    write(inbox + "/later.txt", "l");
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.size() == 2; }, 3000));
    EXPECT_EQ(calls.last(), QStringList{inbox + "/later.txt"});
}

// The watcher's scanner on the test's thread, scanning only when told: the test decides when
// the quiet time has passed.
// Files there before the watch are not held back for quiet here; a test of its own does that.
constexpr InboxWatcher::Timing kByHand{3'600'000, 3'600'000, 0};

struct ScannerByHand {
    explicit ScannerByHand(const QString& inbox, std::function<void(const QStringList&)> handler)
        : scanner(inbox, kByHand)
    {
        QObject::connect(&scanner, &InboxScanner::filesReady,
                         [handler = std::move(handler)](const QList<QByteArray>& paths) { handler(decoded(paths)); });
        scanner.start();
    }
    // A scan that sees everything for the first time, then one that finds it settled.
    void settle(int scans = 2)
    {
        for (int i = 0; i < scans; ++i)
            scanner.scan();
    }
    InboxScanner scanner;
};

TEST(InboxWatcher, ASlowWriterIsNotTakenHalfWrittenAndNothingIsOfferedTwice)
{
    const QString inbox = vesk::test::makeTempDirectory("inbox") + "/Inbox";
    QDir().mkpath(inbox);
    QList<qint64> sizesSeen;
    ScannerByHand watcher(inbox, [&](const QStringList& paths) {
        for (const QString& path : paths) {
            sizesSeen.append(QFileInfo(path).size());
            QFile::remove(path); // as the store does once an item is kept
        }
    });
    const QString path = inbox + "/big.bin";
    // A scan falls between every two writes.
    for (int chunk = 0; chunk < 8; ++chunk) {
        write(path, QByteArray(1000, 'x'), QIODevice::Append);
        watcher.scanner.scan();
        EXPECT_TRUE(sizesSeen.isEmpty()) << "after chunk " << chunk;
    }
    watcher.settle();
    EXPECT_EQ(sizesSeen, QList<qint64>{8000});
    // Once gone it is not offered again, and an empty folder is silent.
    watcher.settle(3);
    EXPECT_EQ(sizesSeen.size(), 1);
}

// A file linked into the Inbox while its writer holds it under another name: the Inbox's events
// never tell of that writer's close, so the watcher looks again as long as the processes show it.
TEST(InboxWatcher, AFileWrittenUnderAnotherNameIsTakenWholeOnceItsWriterClosesIt)
{
    const QString inbox = vesk::test::makeTempDirectory("inbox") + "/Inbox";
    QDir().mkpath(inbox);
    const QString elsewhere = vesk::test::makeTempDirectory("elsewhere") + "/log.txt";
    QFile writer(elsewhere);
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly));
    ASSERT_EQ(writer.write("A "), 2);
    ASSERT_TRUE(writer.flush());
    ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(inbox + "/log.txt").constData()), 0);

    // Every scan, and every look again, at the next turn of the event loop.
    InboxScanner scanner(inbox, InboxWatcher::Timing{0, 0, 0});
    QList<qint64> sizes;
    QObject::connect(&scanner, &InboxScanner::filesReady, [&](const QList<QByteArray>& paths) {
        for (const QByteArray& path : paths) {
            sizes.append(QFileInfo(QFile::decodeName(path)).size());
            QFile::remove(QFile::decodeName(path));
        }
    });
    scanner.start();
    for (int turn = 0; turn < 5; ++turn)
        QCoreApplication::processEvents();
    EXPECT_TRUE(sizes.isEmpty()) << "taken while its writer held it";

    ASSERT_EQ(writer.write("B"), 1);
    writer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sizes.isEmpty(); }, vesk::test::realWaitMs(3000)));
    EXPECT_EQ(sizes, QList<qint64>{3});
}

// A writer that opened its file and wrote part of it before the Inbox was watched, then paused:
// the events never saw it open the file and the processes of another user do not show it. With
// the real timings the file is not taken while it pauses, and is taken whole once it goes on and
// closes.
TEST(InboxWatcher, AFileWrittenSinceBeforeTheWatchIsNotTakenWhileItsWriterPauses)
{
    const QString inbox = vesk::test::makeTempDirectory("inbox") + "/Inbox";
    QDir().mkpath(inbox);
    QFile writer(inbox + "/root.bin");
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly));
    ASSERT_EQ(writer.write(QByteArray(100'000, 'a')), 100'000);
    ASSERT_TRUE(writer.flush());

    InboxScanner scanner(inbox, InboxWatcher::Timing{});
    scanner.setWritersLook([](const QSet<FileIdentity>&) { return QSet<FileIdentity>{}; });
    QList<qint64> sizes;
    QObject::connect(&scanner, &InboxScanner::filesReady, [&](const QList<QByteArray>& paths) {
        for (const QByteArray& path : paths) {
            sizes.append(QFileInfo(QFile::decodeName(path)).size());
            QFile::remove(QFile::decodeName(path)); // as the store does once an item is kept
        }
    });
    scanner.start();
    QTest::qWait(3000); // many quiet times of the Inbox's own
    EXPECT_TRUE(sizes.isEmpty()) << "taken while its writer paused";

    ASSERT_EQ(writer.write(QByteArray(400'000, 'b')), 400'000);
    writer.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sizes.isEmpty(); }, vesk::test::realWaitMs(5000)));
    EXPECT_EQ(sizes, QList<qint64>{500'000});
}

// A writer only the processes show (one writing the file under another name) is looked for again
// and again, each look reading every process's open files: the looks come further apart rather
// than at every quiet time, with the real timings.
TEST(InboxWatcher, AWriterOnlyTheProcessesShowIsLookedForLessAndLessOften)
{
    const QString inbox = vesk::test::makeTempDirectory("inbox") + "/Inbox";
    QDir().mkpath(inbox);
    InboxScanner scanner(inbox, InboxWatcher::Timing{0, 50, 0});
    int looks = 0;
    scanner.setWritersLook([&](const QSet<FileIdentity>& files) {
        ++looks;
        return files; // every file asked about is still written
    });
    int offered = 0;
    QObject::connect(&scanner, &InboxScanner::filesReady, [&](const QList<QByteArray>&) { ++offered; });
    scanner.start();
    write(inbox + "/log.txt", "A ");
    QTest::qWait(3000);
    EXPECT_EQ(offered, 0);
    EXPECT_GE(looks, 1);
    EXPECT_LE(looks, 5) << "looked at every process every quiet time";
}

TEST(InboxWatcher, OnlyRegularVisibleFilesAreOfferedAndNothingElseIsTouched)
{
    const QString root = vesk::test::makeTempDirectory("inbox");
    const QString inbox = root + "/Inbox";
    write(root + "/outside.txt", "outside");
    write(inbox + "/.hidden.txt", "h");
    write(inbox + "/empty.txt", "");
    write(inbox + "/plain.txt", "p");
    write(inbox + "/Trip.vesknote/note.json", "{}");
    ASSERT_TRUE(QFile::link(root + "/outside.txt", inbox + "/link.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(inbox + "/pipe").constData(), 0600), 0);

    QStringList offered;
    ScannerByHand watcher(inbox, [&](const QStringList& paths) { offered += paths; });
    watcher.settle();
    offered.sort();
    EXPECT_EQ(offered, (QStringList{inbox + "/empty.txt", inbox + "/plain.txt"}));
    for (const char* name : {".hidden.txt", "empty.txt", "plain.txt", "Trip.vesknote/note.json", "link.txt", "pipe"})
        EXPECT_TRUE(QFileInfo(inbox + "/" + name).exists() || QFileInfo(inbox + "/" + name).isSymLink()) << name;
    EXPECT_TRUE(QFile::exists(root + "/outside.txt"));
}

class CloudInboxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        synced = vesk::test::makeTempDirectory("cloud");
        inbox = synced + "/Documents/VeskInbox";
        setVeskLogCapture([this](const QString& line) { logLines.append(line); });
    }
    void TearDown() override { setVeskLogCapture({}); }

    std::unique_ptr<CloudInboxScanner> start(const QString& folder)
    {
        auto watcher = std::make_unique<CloudInboxScanner>(folder, [this](const QStringList& paths) {
            for (const QString& path : paths) {
                if (!delivered.contains(path))
                    delivered.append(path);
            }
        }, timing);
        // The processes are not asked: the test says who writes.
        watcher->setWritersLook([this](const QSet<FileIdentity>&) {
            return QtFuture::makeReadyFuture(identities(inbox, openForWriting));
        });
        return watcher;
    }
    // The entries the scans so far found ready are handed over once the look at their writers
    // is back. A few turns at most: with no wait before a retry, an entry still incomplete keeps
    // the watcher scanning, and looking, for as long as it stays.
    static void handOver(const CloudInboxScanner& watcher)
    {
        for (int turn = 0; turn < 8; ++turn) {
            QCoreApplication::processEvents();
            if (!watcher.isLooking())
                return;
        }
    }
    CloudInboxScanner::Timing timing{30, 15};

    // A watcher that scans only when told: the test decides when time has passed.
    std::unique_ptr<CloudInboxScanner> startByHand()
    {
        auto watcher = start(synced);
        watcher->setRefusalHandler([this](const QString& path, const QString& reason) {
            refusals.append(QFileInfo(path).fileName() + QStringLiteral(": ") + reason);
        });
        QCoreApplication::processEvents(); // configures, and scans once
        return watcher;
    }

    QString synced;
    QString inbox;
    QStringList delivered;
    QStringList refusals;
    QStringList logLines;
    QSet<QString> openForWriting;
};

TEST_F(CloudInboxTest, AMissingSyncedFolderIsSaidOnceAndLeftAlone)
{
    timing = {3'600'000, 0, 0};
    const auto watcher = start(synced + "/absent");
    QCoreApplication::processEvents(); // configures
    for (int scan = 0; scan < 3; ++scan)
        watcher->scan();
    EXPECT_EQ(logLines, QStringList{"Vesk iCloud container unavailable."});
    EXPECT_TRUE(watcher->inboxPath().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(synced + "/absent"));
}

TEST_F(CloudInboxTest, PackagesArriveWhenEveryFileTheyNeedHasSettled)
{
    // A photo-only note: its empty note.txt does not hold it back.
    const QString note = inbox + "/Photo.vesknote";
    write(note + "/note.json", R"({"attachments":["media/a.jpg"]})");
    write(note + "/note.txt", "");
    write(note + "/media/a.jpg", "jpeg");
    // Names a file outside "media/": never complete.
    const QString escaping = inbox + "/Escape.vesknote";
    write(escaping + "/note.json", R"({"attachments":["media/../note.json"]})");
    write(escaping + "/note.txt", "t");
    // Waits for a photo that has not arrived yet.
    const QString waiting = inbox + "/Waiting.vesknote";
    write(waiting + "/note.json", R"({"attachments":["media/b.jpg"]})");
    write(waiting + "/note.txt", "t");
    // Event paths leaving the package are ignored rather than waited for.
    const QString activity = inbox + "/Walk.veskactivity";
    write(activity + "/activity.json",
          R"({"events":[{"relativePath":"../../../etc/passwd"},{"relative_path":"media/p.jpg"}]})");
    write(activity + "/media/p.jpg", "p");
    const QString plain = inbox + "/plain.txt";
    write(plain, "plain");
    QDir().mkpath(inbox + "/ordinary folder");
    // Files that held still but are empty have not arrived: their first byte is still to come.
    const QString emptyPhoto = inbox + "/Empty photo.veskactivity";
    write(emptyPhoto + "/activity.json", R"({"events":[{"relativePath":"media/p.jpg"}]})");
    write(emptyPhoto + "/media/p.jpg", "");
    const QString emptyLog = inbox + "/Empty log.veskactivity";
    write(emptyLog + "/activity.json", "{}");
    write(emptyLog + "/log.txt", "");
    const QString emptyAttachment = inbox + "/Empty attachment.vesknote";
    write(emptyAttachment + "/note.json", R"({"attachments":["media/e.jpg"]})");
    write(emptyAttachment + "/note.txt", "");
    write(emptyAttachment + "/media/e.jpg", "");
    // An empty note.txt of a note that has text.
    const QString emptyText = inbox + "/Words.vesknote";
    write(emptyText + "/note.json", R"({"schemaVersion":1,"kind":"note","noteID":"3F2504E0-4F89-41D3-9A0C-0305E82C3301",)"
                                    R"("createdAt":"2026-01-01T10:00:00Z","text":"Words","attachments":["media/a.jpg"]})");
    write(emptyText + "/note.txt", "");
    write(emptyText + "/media/a.jpg", "jpeg");

    timing = {3'600'000, 0, 0};
    const auto watcher = startByHand();
    for (int scan = 0; scan < 3; ++scan)
        watcher->scan();
    handOver(*watcher);
    EXPECT_EQ(QSet<QString>(delivered.begin(), delivered.end()), (QSet<QString>{note, activity, plain}));

    write(waiting + "/media/b.jpg", "b");
    for (const QString& filled : {emptyPhoto + "/media/p.jpg", emptyLog + "/log.txt", emptyAttachment + "/media/e.jpg",
                                  emptyText + "/note.txt"})
        write(filled, "arrived");
    for (int scan = 0; scan < 2; ++scan)
        watcher->scan();
    handOver(*watcher);
    for (const QString& arrived : {waiting, emptyPhoto, emptyLog, emptyAttachment, emptyText})
        EXPECT_TRUE(delivered.contains(arrived)) << arrived.toStdString();
    EXPECT_FALSE(delivered.contains(escaping));
}

TEST_F(CloudInboxTest, AnActivityWaitsForItsEventFilesAndAnyFileStillGrowing)
{
    timing = {3'600'000, 0, 0};
    const auto watcher = startByHand();
    ASSERT_FALSE(watcher->inboxPath().isEmpty());
    const QString activity = inbox + "/Run.veskactivity";
    write(activity + "/activity.json", R"({"events":[{"relativePath":"media/v.mov"}]})");
    for (int scan = 0; scan < 3; ++scan)
        watcher->scan();
    handOver(*watcher);
    EXPECT_TRUE(delivered.isEmpty());
    // A scan between every two writes sees the file still growing: none finds it ready.
    for (int chunk = 0; chunk < 5; ++chunk) {
        write(activity + "/media/v.mov", QByteArray(100, 'v'), QIODevice::Append);
        watcher->scan();
        EXPECT_FALSE(watcher->isLooking()) << "after chunk " << chunk;
    }
    watcher->scan();
    handOver(*watcher);
    ASSERT_TRUE(delivered.contains(activity));
    EXPECT_EQ(QFileInfo(activity + "/media/v.mov").size(), 500);
}

TEST_F(CloudInboxTest, EntriesThatCanNeverArriveAreSaidOnceAndLeftAloneUntilTheyChange)
{
    timing = {3'600'000, 0, 0};
    const QString pipe = inbox + "/Pipe.veskactivity";
    write(pipe + "/activity.json", "{}");
    QDir().mkpath(pipe + "/media");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe + "/media/p.mov").constData(), 0600), 0);
    const QString leaving = inbox + "/Out.vesknote";
    write(leaving + "/note.json", R"({"attachments":["media/a.jpg"]})");
    write(leaving + "/note.txt", "t");
    write(synced + "/secret.jpg", "s");
    QDir().mkpath(leaving + "/media");
    ASSERT_TRUE(QFile::link(synced + "/secret.jpg", leaving + "/media/a.jpg"));
    const QString big = inbox + "/Big.veskactivity";
    write(big + "/activity.json", QByteArray(kSmallFileLimit + 1, ' '));
    const QString empty = inbox + "/empty.txt";
    write(empty, "");
    // Names that are not UTF-8 (Latin-1 "café"), of an entry and of a file inside a package.
    const QByteArray nativeInbox = QFile::encodeName(inbox);
    write(QFile::decodeName(nativeInbox + "/Named.veskactivity/activity.json"), "{}");
    const QByteArray undecodable[] = {nativeInbox + "/caf\xE9.txt", nativeInbox + "/Named.veskactivity/caf\xE9.jpg"};
    for (const QByteArray& path : undecodable) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "menu", 4), 4);
        ::close(fd);
    }

    const auto watcher = startByHand();
    for (int scan = 0; scan < 3; ++scan)
        watcher->scan();
    handOver(*watcher);
    EXPECT_TRUE(delivered.isEmpty());
    refusals.sort();
    EXPECT_EQ(refusals, (QStringList{
        "Big.veskactivity: activity.json is larger than 4 MB",
        "Named.veskactivity: the name \u201Ccaf\u00E9.jpg\u201D in it is not UTF-8 text",
        "Out.vesknote: the photo \u201Cmedia/a.jpg\u201D leads outside the package",
        "Pipe.veskactivity: \u201Cp.mov\u201D in it is a pipe, not a file",
        "caf\u00E9.txt: its name is not UTF-8 text",
    }));

    // Mended, a package is judged afresh; an empty file is ready once it has content.
    ASSERT_TRUE(QFile::remove(pipe + "/media/p.mov"));
    write(pipe + "/media/p.mov", "v");
    write(empty, "now with words");
    refusals.clear();
    for (int scan = 0; scan < 3; ++scan)
        watcher->scan();
    handOver(*watcher);
    delivered.sort();
    EXPECT_EQ(delivered.join(QLatin1Char(' ')).toStdString(), (QStringList{pipe, empty}).join(QLatin1Char(' ')).toStdString());
    EXPECT_TRUE(refusals.isEmpty());
    // Left as they were; removed by their bytes, which the test folder's own removal cannot do.
    for (const QByteArray& path : undecodable)
        EXPECT_EQ(::unlink(path.constData()), 0);
}

// A photo whose writer pauses between its pieces, as another user's writer that the processes do
// not show: opened before the watch began, or made in a package whose folders appeared all at
// once. Neither the package's sizes nor its times tell it from a finished one.
TEST_F(CloudInboxTest, APhotoWhoseWriterPausesIsNotTakenHalfWrittenHoweverItsWriterBegan)
{
    for (const bool openedBeforeTheWatch : {true, false}) {
        SCOPED_TRACE(openedBeforeTheWatch ? "opened before the watch" : "made after the watch");
        synced = vesk::test::makeTempDirectory("cloud");
        inbox = synced + "/Documents/VeskInbox";
        delivered.clear();
        QDir().mkpath(inbox);
        // Scans a moment apart; an entry made unseen holds still for longer than a pause first.
        timing = {50, 25, 1500};
        std::unique_ptr<CloudInboxScanner> watcher;
        if (!openedBeforeTheWatch)
            watcher = start(synced);
        QCoreApplication::processEvents(); // configures

        const QString package = inbox + "/Trip.vesknote";
        write(package + "/note.json", R"({"attachments":["media/p1.jpg","media/p2.jpg"]})");
        write(package + "/note.txt", "Trip");
        write(package + "/media/p1.jpg", QByteArray(4000, '1'));
        QFile photo(package + "/media/p2.jpg");
        ASSERT_TRUE(photo.open(QIODevice::WriteOnly));
        ASSERT_EQ(photo.write(QByteArray(1000, '2')), 1000);
        ASSERT_TRUE(photo.flush());
        qint64 sizeTaken = -1;
        if (openedBeforeTheWatch)
            watcher = start(synced);
        const auto taken = [&] {
            if (delivered.contains(package) && sizeTaken < 0)
                sizeTaken = QFileInfo(package + "/media/p2.jpg").size();
            return sizeTaken >= 0;
        };
        for (int piece = 0; piece < 4; ++piece) {
            QTest::qWait(400);
            ASSERT_FALSE(taken()) << "taken with " << sizeTaken << " of 5000 bytes, before piece " << piece;
            ASSERT_EQ(photo.write(QByteArray(1000, '2')), 1000);
            ASSERT_TRUE(photo.flush());
        }
        QTest::qWait(400);
        ASSERT_FALSE(taken()) << "taken while its writer still held it";
        photo.close();
        ASSERT_EVENTUALLY(taken(), 5000);
        EXPECT_EQ(sizeTaken, 5000);
    }
}

// The window's thread waits for neither the disk nor the processes: the synced inbox is scanned,
// and the processes asked which of its files they write, elsewhere, once for all the entries a
// scan found ready; only the handler runs on the thread that made the watcher.
TEST_F(CloudInboxTest, ScansAndLooksAtWritersRunOffTheWatchersThreadOncePerBatch)
{
    QStringList names;
    for (int file = 0; file < 5; ++file) {
        names.append(QStringLiteral("file%1.txt").arg(file));
        write(inbox + "/" + names.last(), "content");
    }
    QMutex mutex;
    QList<QThread*> lookThreads;
    QList<int> lookSizes;
    QList<QThread*> handlerThreads;
    CloudInboxWatcher watcher(synced, [&](const QStringList& paths) {
        handlerThreads.append(QThread::currentThread());
        delivered += paths;
    }, CloudInboxWatcher::Timing{50, 25, 0});
    watcher.setWritersLook([&](const QSet<FileIdentity>& files) {
        const QMutexLocker lock(&mutex);
        lookThreads.append(QThread::currentThread());
        lookSizes.append(int(files.size()));
        return QtFuture::makeReadyFuture(QSet<FileIdentity>{});
    });
    ASSERT_EVENTUALLY(delivered.size() == 5, 5000);
    const QMutexLocker lock(&mutex);
    EXPECT_EQ(lookSizes, QList<int>{5}) << "one look for the whole batch";
    for (QThread* thread : std::as_const(lookThreads))
        EXPECT_NE(thread, QThread::currentThread()) << "scanned on the watcher's thread";
    for (QThread* thread : std::as_const(handlerThreads))
        EXPECT_EQ(thread, QThread::currentThread());
}

// What the window's thread needs of each entry to import it (what it held when it was judged
// ready, and whether it is a package folder) comes with it from the watcher's thread.
TEST_F(CloudInboxTest, EntriesComeWithTheStampsAndKindsTheScanRead)
{
    const QString file = inbox + "/notes.txt";
    const QString package = inbox + "/Trip.vesknote";
    write(file, "content");
    write(package + "/note.json", R"({"attachments":[]})");
    write(package + "/note.txt", "Trip");
    QStringList paths;
    QList<QByteArray> stamps;
    QList<bool> folders;
    QList<QThread*> handlerThreads;
    CloudInboxWatcher watcher(synced, {}, CloudInboxWatcher::Timing{50, 25, 0});
    watcher.setWritersLook([](const QSet<FileIdentity>&) { return QtFuture::makeReadyFuture(QSet<FileIdentity>{}); });
    watcher.setStampedHandler([&](const QStringList& ready, const QList<QByteArray>& readyStamps,
                                  const QList<bool>& readyFolders) {
        handlerThreads.append(QThread::currentThread());
        paths += ready;
        stamps += readyStamps;
        folders += readyFolders;
    });
    ASSERT_EVENTUALLY(paths.size() >= 2, 5000);
    ASSERT_EQ(stamps.size(), paths.size());
    ASSERT_EQ(folders.size(), paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths.at(i).toStdString());
        EXPECT_EQ(stamps.at(i), entryTreeStamp(paths.at(i)));
        EXPECT_EQ(folders.at(i), paths.at(i) == package);
    }
    for (QThread* thread : std::as_const(handlerThreads))
        EXPECT_EQ(thread, QThread::currentThread());
}

// The writers are looked at while the folder goes on changing: what the look says counts only for
// entries as they were when the scan found them ready, and a scan asked for meanwhile waits.
TEST_F(CloudInboxTest, WhatChangesWhileWritersAreLookedAtIsJudgedAgainNotTaken)
{
    timing = {3'600'000, 0, 0};
    const auto watcher = startByHand();
    QList<std::shared_ptr<QPromise<QSet<FileIdentity>>>> looks;
    watcher->setWritersLook([&](const QSet<FileIdentity>&) {
        looks.append(std::make_shared<QPromise<QSet<FileIdentity>>>());
        looks.last()->start();
        return looks.last()->future();
    });
    const auto answerLooks = [&](const QSet<QString>& open) {
        for (const auto& look : std::as_const(looks)) {
            if (!look->future().isFinished()) {
                look->addResult(identities(inbox, open));
                look->finish();
            }
        }
        QCoreApplication::processEvents();
    };
    const QString closed = inbox + "/closed.txt";
    const QString rewritten = inbox + "/rewritten.txt";
    const QString removed = inbox + "/removed.txt";
    const QString still = inbox + "/still.txt";
    for (const QString& path : {closed, rewritten, removed, still})
        write(path, "first");
    watcher->scan();
    watcher->scan();
    ASSERT_EQ(looks.size(), 1) << "all four settled: their writers are looked at";

    // Meanwhile closed.txt's writer closes it, which asks for a scan; one file grows, one goes.
    watcher->scan();
    write(rewritten, " more", QIODevice::Append);
    ASSERT_TRUE(QFile::remove(removed));
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered.isEmpty()) << "nothing is taken before the look is back";
    EXPECT_EQ(looks.size(), 1) << "the scan asked for meanwhile waits for the look";

    // The look still found closed.txt open.
    answerLooks({"closed.txt"});
    EXPECT_EQ(delivered, QStringList{still});
    // The scan that waited and the ones after it take the others once nobody writes them and
    // they held still.
    for (int round = 0; round < 6 && delivered.size() < 3; ++round) {
        answerLooks({});
        if (!watcher->isLooking())
            watcher->scan();
    }
    EXPECT_EQ(delivered, (QStringList{still, closed, rewritten}));
}

} // namespace
} // namespace vesk
