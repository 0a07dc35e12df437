// The inboxes' watchers and the store's inbox handlers together, against writers that are slow.
#include "common/Eventually.h"
#include "intake/CloudInboxScanner.h"
#include "intake/InboxWatcher.h"
#include "platform/OpenFileWriters.h"
#include "platform/SerialExecutor.h"
#include "store/FaultInjection.h"
#include "store/IntakeStoreFixture.h"
#include "store/StoreInternals.h"

#include <QImage>
#include <QProcess>
#include <QTest>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk::test {
namespace {

enum class Inbox { Local, Cloud };

struct InboxCase {
    const char* name;
    Inbox inbox;
    // The entry the inbox holds, and the file in it that is written, both inside the inbox.
    QString entry;
    QString written;
};

const QString kActivityManifest = QStringLiteral(R"({"events":[{"relativePath":"media/log.txt"}]})");

const InboxCase kCases[] = {
    {"local file", Inbox::Local, "notes.txt", "notes.txt"},
    {"synced file", Inbox::Cloud, "notes.txt", "notes.txt"},
    {"file in a synced package", Inbox::Cloud, "Walk.veskactivity", "Walk.veskactivity/media/log.txt"},
};

// A writer in a process of its own: it opens the file and writes its first bytes ("A "), holds the
// file open until told to go on, then writes the rest ("B") and closes it.
class PausingWriter {
public:
    explicit PausingWriter(const QString& path, const QString& first = QStringLiteral("A "),
                           const QString& rest = QStringLiteral("B"))
    {
        m_process.start(QStringLiteral("/bin/sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("exec 3>\"$0\"; printf \"$1\" >&3; echo written; read go; printf \"$2\" >&3"),
                         path, first, rest});
        m_started = m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000);
    }
    ~PausingWriter()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool started() const { return m_started; }
    bool finish()
    {
        m_process.write("go\n");
        m_process.closeWriteChannel();
        return m_process.waitForFinished(5000) && m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
    bool m_started = false;
};

class StoreInboxTest : public IntakeStoreTest {
protected:
    // A fresh library with both inboxes, each watched by its own watcher, scanning only when told.
    // Unless processesSeen, the look at the processes' open files finds nothing, as for a writer
    // of another user.
    void startLibrary(const InboxCase& inboxCase, bool processesSeen = true)
    {
        dataDir = makeTempDirectory("store");
        store = makeStore();
        const QString synced = makeTempDirectory("cloud");
        localInbox = dataDir + "/Inbox";
        QDir().mkpath(localInbox);
        localScanner = std::make_unique<InboxScanner>(localInbox, InboxWatcher::Timing{3'600'000, 3'600'000});
        QObject::connect(localScanner.get(), &InboxScanner::filesReady,
                         [this](const QList<QByteArray>& paths) { store->importInboxNativeFiles(paths); });
        if (!processesSeen)
            localScanner->setWritersLook([](const QSet<FileIdentity>&) { return QSet<FileIdentity>{}; });
        localScanner->start();
        cloudWatcher = std::make_unique<CloudInboxScanner>(
            synced, [this](const QStringList& paths) { store->importCloudInboxPackages(paths); },
            CloudInboxScanner::Timing{3'600'000, 0, 0});
        if (!processesSeen)
            cloudWatcher->setWritersLook([](const QSet<FileIdentity>&) { return QtFuture::makeReadyFuture(QSet<FileIdentity>{}); });
        QCoreApplication::processEvents(); // configures the synced inbox
        cloudInbox = cloudWatcher->inboxPath();
        ASSERT_FALSE(cloudInbox.isEmpty());
        const QString folder = inboxCase.inbox == Inbox::Local ? localInbox : cloudInbox;
        entry = folder + "/" + inboxCase.entry;
        written = folder + "/" + inboxCase.written;
        if (entry != written)
            writeFile(entry + "/activity.json", kActivityManifest.toUtf8());
        QDir().mkpath(QFileInfo(written).path());
    }

    // One quiet spell as long as the longer of the watchers' waits: each inbox scans once.
    void scanBoth()
    {
        localScanner->scan();
        cloudWatcher->scan();
        // The synced inbox hands its entries over once the look at their writers is back.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !cloudWatcher->isLooking(); }, vesk::test::realWaitMs(10'000)));
        QCoreApplication::processEvents();
    }
    bool importing() const { return store->inboxImportCount() + store->cloudImportCount() > 0; }
    // While the writer holds its file, nothing is taken, however often the inboxes look.
    void expectNothingTakenWhile(int scans)
    {
        for (int scan = 0; scan < scans; ++scan) {
            scanBoth();
            ASSERT_FALSE(importing()) << "taken while its writer still held it, at scan " << scan;
            ASSERT_TRUE(store->items().isEmpty());
        }
    }
    // The writer goes on and closes its file: the entry becomes one whole item.
    void expectTakenWholeOnceClosed(PausingWriter& writer, const InboxCase& inboxCase, const QByteArray& content)
    {
        ASSERT_TRUE(writer.finish());
        for (int scan = 0; scan < 4 && QFileInfo::exists(entry); ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
        }
        expectOneWholeItem(inboxCase, content);
    }
    bool importsDone() { return QTest::qWaitFor([&] { return !importing(); }, 10'000); }

    void stopWatching()
    {
        localScanner.reset();
        cloudWatcher.reset();
    }

    // After a restart: the one item, what its copy of the written file holds, and that the entry
    // left its inbox and no other copy was left in "Items".
    void expectOneWholeItem(const InboxCase& inboxCase, const QByteArray& content)
    {
        stopWatching();
        store.reset();
        store = makeStore();
        ASSERT_EQ(store->items().size(), 1);
        const VeskItem item = store->items().first();
        ASSERT_TRUE(item.filePath);
        const QString copy = entry == written ? *item.filePath
                                              : *item.filePath + "/" + QString(inboxCase.written).section('/', 1);
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << copy.toStdString();
        EXPECT_EQ(file.readAll(), content);
        EXPECT_FALSE(QFileInfo::exists(entry));
        EXPECT_EQ(QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }

    std::unique_ptr<VeskStore> store;
    std::unique_ptr<InboxScanner> localScanner;
    std::unique_ptr<CloudInboxScanner> cloudWatcher;
    QString localInbox;
    QString cloudInbox;
    QString entry;
    QString written;
};

// A writer the processes show is known by its open file. One they do not show (another user's)
// is known only by the folder events: its file is held from its creation until its close, however
// long it pauses before its first byte; in a package first seen with the file already made, the
// file's emptiness holds it.
TEST_F(StoreInboxTest, AFileIsTakenOnlyOnceItsWriterHasClosedIt)
{
    struct WriterCase {
        const char* name;
        bool processesSeen;
        QString first;
        QString rest;
    };
    const WriterCase writers[] = {
        {"shown, paused after its first bytes", true, "A ", "B"},
        {"not shown, paused before its first byte", false, "", "A B"},
    };
    // The pauses in seconds, as scans: each scan stands for the local watcher's quiet time.
    constexpr int kScanMs = 220;
    for (const WriterCase& writerCase : writers) {
        for (const double pause : {0.7, 3.0}) {
            for (const InboxCase& inboxCase : kCases) {
                SCOPED_TRACE(std::string(inboxCase.name) + ", writer " + writerCase.name + ", pause " + std::to_string(pause));
                startLibrary(inboxCase, writerCase.processesSeen);
                PausingWriter writer(written, writerCase.first, writerCase.rest);
                ASSERT_TRUE(writer.started());
                expectNothingTakenWhile(int(pause * 1000 / kScanMs) + 1);
                expectTakenWholeOnceClosed(writer, inboxCase, "A B");
                EXPECT_TRUE(logLines.filter("error").isEmpty()) << logLines.join('\n').toStdString();
            }
        }
    }
}

// A file written under one name and linked into an inbox under another: its writer holds it
// open by the first name, and is known by the file, not the name.
TEST_F(StoreInboxTest, AFileLinkedInWhileItIsWrittenElsewhereWaitsForItsWriter)
{
    for (const InboxCase& inboxCase : kCases) {
        SCOPED_TRACE(inboxCase.name);
        startLibrary(inboxCase);
        const QString elsewhere = makeTempDirectory("elsewhere") + "/log.txt";
        PausingWriter writer(elsewhere);
        ASSERT_TRUE(writer.started());
        ASSERT_EQ(::link(QFile::encodeName(elsewhere).constData(), QFile::encodeName(written).constData()), 0);
        expectNothingTakenWhile(5);
        expectTakenWholeOnceClosed(writer, inboxCase, "A B");
    }
}

// A name written in Latin-1 ("café.txt"), not UTF-8: the Inbox imports it by its bytes and
// removes it. (The synced inbox, whose packages go by UTF-8 names, leaves it and says why: its
// watcher's refusal.)
TEST_F(StoreInboxTest, ANameThatIsNotUtf8IsImportedByItsBytes)
{
    startLibrary(kCases[0]);
    const auto place = [](const QString& folder) {
        const QByteArray path = QFile::encodeName(folder) + "/caf\xE9.txt";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, "menu", 4), 4);
        ::close(fd);
        return path;
    };
    const QByteArray local = place(localInbox);
    const QByteArray synced = place(cloudInbox);
    for (int scan = 0; scan < 4; ++scan) {
        scanBoth();
        ASSERT_TRUE(importsDone());
    }
    ASSERT_EQ(store->items().size(), 1);
    const VeskItem item = store->items().first();
    EXPECT_TRUE(item.title.startsWith(QStringLiteral("caf\u00E9"))) << item.title.toStdString();
    ASSERT_TRUE(item.filePath);
    QFile copy(*item.filePath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), "menu");
    struct stat info {};
    EXPECT_NE(::lstat(local.constData(), &info), 0) << "the Inbox's file is removed once kept";
    EXPECT_FALSE(store->failureNotice());
    EXPECT_EQ(::lstat(synced.constData(), &info), 0);
    EXPECT_EQ(::unlink(synced.constData()), 0); // which the test folder's own removal cannot do
}

TEST_F(StoreInboxTest, APackageRefusedForWhatItHoldsIsSaidOnceAndWaitsInTheSyncedInboxUntilMended)
{
    startLibrary(kCases[1]);
    const QString package = cloudInbox + "/Trip.vesknote";
    writeFile(package + "/note.json", R"({"schemaVersion":1,"kind":"note","noteID":"3F2504E0-4F89-41D3-9A0C-0305E82C3301",)"
                                      R"("createdAt":"2026-01-01T10:00:00Z","text":"Trip","attachments":["media/a.png"]})");
    writeFile(package + "/note.txt", "Trip");
    writeFile(package + "/media/a.png", "not a picture yet");
    for (int scan = 0; scan < 5; ++scan) {
        scanBoth();
        ASSERT_TRUE(importsDone());
    }
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->count, 1) << "said once, not at every scan";
    EXPECT_EQ(store->failureNotice()->detail,
              "Trip.vesknote cannot be imported: the photo \u201Cmedia/a.png\u201D is not a picture.");
    EXPECT_TRUE(QFileInfo::exists(package + "/media/a.png"));
    EXPECT_TRUE(store->items().isEmpty());

    // Mended, it is judged afresh and taken.
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(package + "/media/a.png", "PNG"));
    for (int scan = 0; scan < 4 && QFileInfo::exists(package); ++scan) {
        scanBoth();
        ASSERT_TRUE(importsDone());
    }
    EXPECT_FALSE(QFileInfo::exists(package));
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().title, "Trip");
}

// The synced inbox offers a file it could not import again at every scan. The failure is said
// once, as one failure, until the file or the reason changes; a dismissed notice stays dismissed.
TEST_F(StoreInboxTest, AFileTheSyncedInboxCannotImportIsSaidOnceUntilItOrTheReasonChanges)
{
    startLibrary(kCases[1]);
    const QString file = writeFile(cloudInbox + "/cloud-plain.bin", QByteArray(2 << 20, 'p'));
    const auto scans = [&](int count) {
        for (int scan = 0; scan < count; ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
        }
    };
    // No file of this process grows past a megabyte while the scans run.
    const auto scansOnAFullDisk = [&](int count) {
        FileSizeLimit full(1 << 20);
        scans(count);
    };
    const QString diskFull = "\u201C" "cloud-plain.bin\u201D could not be imported: the disk is full.";
    scansOnAFullDisk(10);
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->count, 1) << "one file, not one failure per scan";
    EXPECT_EQ(store->failureNotice()->detail, diskFull);

    store->dismissFailureNotice();
    scansOnAFullDisk(5);
    EXPECT_FALSE(store->failureNotice()) << "the same failure again does not undo a dismissal";

    // Replaced by another file of that name: said again, once.
    writeFile(file, QByteArray(3 << 20, 'q'));
    scansOnAFullDisk(5);
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->count, 1);
    EXPECT_EQ(store->failureNotice()->detail, diskFull);

    // It now fails for another reason while the notice still shows it: said in the newer words,
    // and still counted as one failure.
    ASSERT_TRUE(QDir(dataDir + "/Items").removeRecursively());
    writeFile(dataDir + "/Items", "a file where the items folder belongs");
    scans(5);
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->count, 1);
    EXPECT_EQ(store->failureNotice()->named, 1);
    EXPECT_NE(store->failureNotice()->detail, diskFull);
    EXPECT_TRUE(store->failureNotice()->detail.startsWith("\u201C" "cloud-plain.bin\u201D could not be imported: "))
        << store->failureNotice()->detail.toStdString();

    // Another file failing beside it is one more.
    writeFile(cloudInbox + "/second.bin", "second");
    scans(5);
    EXPECT_EQ(store->failureNotice()->count, 2);
    EXPECT_EQ(store->failureNotice()->named, 2);

    // With room again both are taken.
    ASSERT_TRUE(QFile::remove(dataDir + "/Items"));
    for (int scan = 0; scan < 4 && (QFileInfo::exists(file) || QFileInfo::exists(cloudInbox + "/second.bin")); ++scan)
        scans(1);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(store->items().size(), 2);
}

// A folder marked unchangeable (as only an administrator can): nobody, not even its owner, can
// remove what it holds. Unmarked again when the test is done with it.
class UnchangeableFolder {
public:
    explicit UnchangeableFolder(const QString& path) : m_path(QFile::encodeName(path)) { m_set = mark(true); }
    ~UnchangeableFolder()
    {
        if (m_set)
            mark(false);
    }
    bool isSet() const { return m_set; }

private:
    bool mark(bool on) const
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }
    QByteArray m_path;
    bool m_set = false;
};

// A package imported from the synced inbox that cannot be removed from it stays there, and is
// offered at every scan: it is said once, left alone, and never takes the selection again.
TEST_F(StoreInboxTest, AnImportedPackageThatCannotBeRemovedIsSaidOnceAndTakesNoSelection)
{
    // Every folder of the package (as a package of another user is to this one), or only its
    // photos' folder: then its manifest must not go either.
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "every folder" : "its media folder");
        startLibrary(kCases[1]);
        logLines.clear();
        const QString package = cloudInbox + "/Trip.vesknote";
        writeFile(package + "/note.json", R"({"schemaVersion":1,"kind":"note","noteID":"3F2504E0-4F89-41D3-9A0C-0305E82C3301",)"
                                          R"("createdAt":"2026-01-01T10:00:00Z","text":"Trip","attachments":["media/a.png"]})");
        writeFile(package + "/note.txt", "Trip");
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(QDir().mkpath(package + "/media"));
        ASSERT_TRUE(picture.save(package + "/media/a.png", "PNG"));
        const UnchangeableFolder unchangeable(package + "/media");
        const std::optional<UnchangeableFolder> unchangeableRoot =
            whole ? std::make_optional<UnchangeableFolder>(package) : std::nullopt;
        if (!unchangeable.isSet() || (unchangeableRoot && !unchangeableRoot->isSet()))
            GTEST_SKIP() << "this file system or user cannot mark a folder unchangeable";

        for (int scan = 0; scan < 4 && store->items().isEmpty(); ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
        }
        ASSERT_EQ(store->items().size(), 1);
        const QUuid note = store->items().first().id;
        EXPECT_TRUE(QFileInfo::exists(package + "/note.json")) << "removed whole or not at all";
        // The user selects something else, and the inbox goes on scanning.
        store->addText("Something else entirely");
        ASSERT_EQ(store->items().size(), 2);
        const QUuid other = store->items().first().id;
        ASSERT_NE(other, note);
        ASSERT_EQ(store->selectedID(), other);
        for (int scan = 0; scan < 6; ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
            ASSERT_EQ(store->selectedID(), other) << "at scan " << scan;
        }
        EXPECT_EQ(countLines("Vesk cloud Inbox cleanup error for Trip.vesknote: "), 1) << logLines.join('\n').toStdString();
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->count, 1);
        EXPECT_EQ(store->failureNotice()->detail,
                  "Trip.vesknote was imported but could not be removed from the synced folder: Operation not permitted.");
        EXPECT_EQ(store->items().size(), 2);

        // Changed, it is offered again: the note is held already, and the selection stays.
        writeFile(package + "/note.txt", "Trip, again");
        for (int scan = 0; scan < 4; ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
        }
        EXPECT_EQ(store->selectedID(), other);
        EXPECT_EQ(store->items().size(), 2);
    }
}

// A small memory file system mounted over a folder, as only an administrator can; unmounted when
// the test is done with it.
class SmallFileSystem {
public:
    SmallFileSystem(const QString& folder, const char* options) : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// The synced folder the store's own watcher watches, for one test.
class SyncedFolderForTest {
public:
    explicit SyncedFolderForTest(const QString& folder) : m_before(qgetenv("VESK_CLOUD_DIR"))
    {
        qputenv("VESK_CLOUD_DIR", QFile::encodeName(folder));
    }
    ~SyncedFolderForTest() { qputenv("VESK_CLOUD_DIR", m_before); }

private:
    QByteArray m_before;
};

// A file that does not fit in what is left of the library's disk: the synced inbox does not copy
// it again at every poll, but waits longer after each failure in a row, and tries again as soon
// as items are deleted. The store's own watcher, with its real poll.
TEST_F(StoreInboxTest, AnEntryThatDoesNotFitIsTriedLessOftenAndAgainOnceRoomIsMade)
{
    dataDir = makeTempDirectory("store");
    ASSERT_TRUE(QDir().mkpath(dataDir + "/Items"));
    // A copy must leave a mebibyte free: the first fits beside that, the second does not.
    const SmallFileSystem disk(dataDir + "/Items", "size=4m");
    if (!disk.isMounted())
        GTEST_SKIP() << "a memory file system cannot be mounted here";
    const QString synced = makeTempDirectory("cloud");
    const SyncedFolderForTest cloud(synced);
    VeskServices s = services();
    s.watchInboxes = true;
    store = std::make_unique<VeskStore>(s);
    store->waitForStartup();
    const QString inbox = synced + "/Documents/VeskInbox";
    ASSERT_EVENTUALLY(QFileInfo(inbox).isDir(), 10'000);
    QTest::qWait(300); // the watch begins on the watcher's own thread

    const QString first = writeFile(inbox + "/first.bin", QByteArray(1600 << 10, 'a'));
    ASSERT_EVENTUALLY(store->items().size() == 1 && !QFileInfo::exists(first), 15'000);
    const QString second = writeFile(inbox + "/second.bin", QByteArray(1600 << 10, 'b'));
    const auto attempts = [&] { return countLines("Vesk copy error for " + second); };
    ASSERT_EVENTUALLY(attempts() == 1, 15'000);
    // Polled every two seconds, it would be copied six times more in the next twelve; it waits
    // one, then two, then four, then eight.
    QTest::qWait(12'000);
    EXPECT_LE(attempts(), 4) << logLines.join('\n').toStdString();
    EXPECT_GE(attempts(), 2);
    ASSERT_TRUE(QFileInfo::exists(second));

    // Deleting the first item makes room: the second comes in well before its next wait (eight
    // seconds after its fourth try) is over.
    ASSERT_EVENTUALLY(attempts() == 4, 10'000);
    store->selectItems({store->items().first()});
    store->deleteItems();
    ASSERT_EVENTUALLY(!QFileInfo::exists(second), 5000);
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().title.left(6), "second");
}

TEST_F(StoreInboxTest, AnEntryChangedWhileItIsCopiedStaysAndItsItemIsTakenBack)
{
    for (const InboxCase& inboxCase : kCases) {
        SCOPED_TRACE(inboxCase.name);
        startLibrary(inboxCase);
        stopWatching();
        writeFile(written, "A ");
        const auto deliver = [&] {
            if (inboxCase.inbox == Inbox::Local)
                store->importInboxFiles({entry});
            else
                store->importCloudInboxPackages({entry});
        };
        deliver();
        // The writer goes on before the import is done.
        {
            QFile file(written);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write("B");
        }
        ASSERT_TRUE(importsDone());
        drainWrites(*store);
        EXPECT_TRUE(QFileInfo::exists(entry));
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_TRUE(storedItems().isEmpty());
        EXPECT_TRUE(QDir(dataDir + "/Items").entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        EXPECT_EQ(countLines(QString(inboxCase.inbox == Inbox::Local ? "Vesk Inbox" : "Vesk cloud Inbox")
                             + " import error for " + inboxCase.entry + ": it changed while it was copied"),
                  1);

        // Offered again, it becomes one whole item.
        deliver();
        ASSERT_TRUE(importsDone());
        expectOneWholeItem(inboxCase, "A B");
    }
}

// The synced inbox hands each entry over with its stamp as the scan found it settled, read on the
// scan's thread: what a writer adds before the window's thread gets to the entry was never judged
// settled, so the copy of it is taken back and the entry waits for a later scan.
TEST_F(StoreInboxTest, ASyncedEntryIsTakenAsTheScanFoundItNotAsItIsWhenTheDeliveryArrives)
{
    for (const InboxCase& inboxCase : kCases) {
        if (inboxCase.inbox != Inbox::Cloud)
            continue;
        SCOPED_TRACE(inboxCase.name);
        startLibrary(inboxCase, false);
        bool writeOnDelivery = true;
        cloudWatcher->setStampedHandler([&](const QStringList& paths, const QList<QByteArray>& stamps,
                                            const QList<bool>& folders) {
            if (std::exchange(writeOnDelivery, false)) {
                QFile file(written);
                ASSERT_TRUE(file.open(QIODevice::Append));
                file.write("B");
            }
            store->importCloudInboxPackages(paths, stamps, folders);
        });
        writeFile(written, "A ");
        for (int scan = 0; scan < 4 && writeOnDelivery; ++scan)
            scanBoth();
        ASSERT_FALSE(writeOnDelivery) << "never delivered";
        ASSERT_TRUE(importsDone());
        drainWrites(*store);
        EXPECT_TRUE(QFileInfo::exists(entry));
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_EQ(countLines("Vesk cloud Inbox import error for " + QString(inboxCase.entry)
                             + ": it changed while it was copied"),
                  1);

        // Judged again as it now is, it becomes one whole item.
        for (int scan = 0; scan < 4 && QFileInfo::exists(entry); ++scan) {
            scanBoth();
            ASSERT_TRUE(importsDone());
        }
        expectOneWholeItem(inboxCase, "A B");
    }
}

// An entry handed over with its stamp is not looked at again on the window's thread before its
// import; one taken away meanwhile (by the user, or by the sync that brought it) failed at
// nothing and is passed over without a word.
TEST_F(StoreInboxTest, AnEntryTakenAwayBeforeItsDeliveryArrivesIsPassedOverSilently)
{
    for (const InboxCase& inboxCase : kCases) {
        SCOPED_TRACE(inboxCase.name);
        startLibrary(inboxCase, false);
        bool delivered = false;
        const auto takeAway = [&] {
            delivered = true;
            ASSERT_TRUE(entry == written ? QFile::remove(entry) : QDir(entry).removeRecursively());
        };
        QObject::disconnect(localScanner.get(), &InboxScanner::filesReady, nullptr, nullptr);
        QObject::connect(localScanner.get(), &InboxScanner::filesReady,
                         [&](const QList<QByteArray>& paths, const QList<QByteArray>& stamps) {
                             takeAway();
                             store->importInboxNativeFiles(paths, stamps);
                         });
        cloudWatcher->setStampedHandler([&](const QStringList& paths, const QList<QByteArray>& stamps,
                                            const QList<bool>& folders) {
            takeAway();
            store->importCloudInboxPackages(paths, stamps, folders);
        });
        writeFile(written, "the whole text");
        for (int scan = 0; scan < 4 && !delivered; ++scan)
            scanBoth();
        ASSERT_TRUE(delivered);
        ASSERT_TRUE(importsDone());
        drainWrites(*store);
        EXPECT_TRUE(store->items().isEmpty());
        EXPECT_FALSE(store->failureNotice());
    }
}

// A synced package goes the road of a package as the scan found it, without a look on the window's
// thread; one replaced by a file of its name before its delivery arrives is not refused for what
// that file holds, and waits for a later scan.
TEST_F(StoreInboxTest, ASyncedPackageReplacedByAFileBeforeItsDeliveryArrivesIsNotRefused)
{
    startLibrary(kCases[1], false);
    const QString package = cloudInbox + "/Trip.vesknote";
    int deliveries = 0;
    cloudWatcher->setStampedHandler([&](const QStringList& paths, const QList<QByteArray>& stamps,
                                        const QList<bool>& folders) {
        if (deliveries++ == 0) {
            ASSERT_EQ(folders, QList<bool>{true});
            ASSERT_TRUE(QDir(package).removeRecursively());
            writeFile(package, "not a package any more");
        }
        store->importCloudInboxPackages(paths, stamps, folders);
    });
    writeFile(package + "/note.json", R"({"attachments":[]})");
    writeFile(package + "/note.txt", "Trip");
    for (int scan = 0; scan < 4 && deliveries == 0; ++scan)
        scanBoth();
    ASSERT_EQ(deliveries, 1);
    ASSERT_TRUE(importsDone());
    EXPECT_FALSE(store->failureNotice());
    EXPECT_EQ(countLines("Vesk cloud Inbox import error for Trip.vesknote: it changed while it was copied"), 1);

    // A later scan takes it as the file it now is.
    for (int scan = 0; scan < 4 && QFileInfo::exists(package); ++scan) {
        scanBoth();
        ASSERT_TRUE(importsDone());
    }
    drainWrites(*store);
    EXPECT_FALSE(QFileInfo::exists(package));
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().kind, VeskKind::File);
    EXPECT_FALSE(store->failureNotice());
}

// Rows of new items wait for the check of the library file after start-up. An entry imported
// meanwhile leaves its inbox once its item is kept, when the check has let its row through: one
// that stayed would be met at the next start as "Already in Vesk".
TEST_F(StoreInboxTest, AnEntryImportedWhileTheLibraryFileIsCheckedLeavesItsInboxOnceItsItemIsKept)
{
    for (const InboxCase& inboxCase : kCases) {
        SCOPED_TRACE(inboxCase.name);
        dataDir = makeTempDirectory("store");
        // A library that holds something is read in the background, and checked after that.
        seed({makeItem("kept before", 10)});
        store = makeStore(true, false);
        // The check follows start-up's reading, which waits behind this test's own job.
        std::promise<void> checkMayStart;
        StoreInternals::startupWorker(*store).run([held = checkMayStart.get_future().share()] { held.wait(); });
        const QString inbox = makeTempDirectory("inbox");
        entry = inbox + "/" + inboxCase.entry;
        written = inbox + "/" + inboxCase.written;
        if (entry != written)
            writeFile(entry + "/activity.json", kActivityManifest.toUtf8());
        writeFile(written, "the whole text");
        if (inboxCase.inbox == Inbox::Local)
            store->importInboxFiles({entry});
        else
            store->importCloudInboxPackages({entry});

        ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 2; }, 10'000));
        EXPECT_TRUE(store->libraryCheckPending());
        EXPECT_EQ(store->savingItemIDs(), QSet<QUuid>{store->items().first().id});
        EXPECT_TRUE(QFileInfo::exists(entry)) << "not kept yet";
        EXPECT_TRUE(importing());

        checkMayStart.set_value();
        store->waitForStartup();
        ASSERT_TRUE(importsDone());
        EXPECT_FALSE(QFileInfo::exists(entry)) << "kept, so it left its inbox";
        EXPECT_EQ(storedItems().size(), 2);
        EXPECT_FALSE(store->failureNotice());
        store.reset();
    }
}

// With the real watcher and its real timings: a file the library's disk has no room for is not
// copied again at every look (the import's own reads of it are no change) but now and then, said
// once, and is taken soon after room comes back, with no further change in the Inbox.
TEST_F(StoreInboxTest, AFileThereIsNoRoomForIsTriedAgainRarelyAndTakenOnceRoomReturns)
{
    SmallDisk disk(dataDir, "size=8m");
    if (!disk.active())
        GTEST_SKIP() << "mounting a small disk takes root";
    const QString ballast = writeFile(dataDir + "/ballast.bin", QByteArray(4 << 20, 'b'));
    QByteArray content(2'500'000, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    const QString file = writeFile(dataDir + "/Inbox/big.bin", content);
    // Dropped there long before Vesk started.
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    old.close();

    VeskServices s = services();
    s.watchInboxes = true;
    auto store = std::make_unique<VeskStore>(s);
    int said = 0;
    QObject::connect(store.get(), &VeskStore::failureNoticeChanged, [&] { ++said; });
    const auto tries = [&] { return logLines.filter("Vesk copy error for").size(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return tries() > 0; }, realWaitMs(10'000)));
    QTest::qWait(10'000); // the watcher's own timings, as they are
    EXPECT_LE(tries(), 5) << logLines.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(said, 1);

    ASSERT_TRUE(QFile::remove(ballast));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 1 && !QFile::exists(file); }, realWaitMs(8000)));
    QFile copy(*store->items().first().filePath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), content);
}

// A file kept but not removable (its Inbox is on a disk that takes no writes) is not imported
// again at every look, each time said "Already in Vesk"; once the Inbox takes writes again it
// leaves soon, with no change in it.
TEST_F(StoreInboxTest, AFileThatCannotBeRemovedIsNotTakenAgainAtEveryLookAndLeavesOnceItCan)
{
    QDir().mkpath(dataDir + "/Inbox");
    SmallDisk disk(dataDir + "/Inbox", "size=4m");
    if (!disk.active())
        GTEST_SKIP() << "mounting a small disk takes root";
    const QString file = writeFile(dataDir + "/Inbox/kept.txt", "kept for good");
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    old.close();
    ASSERT_TRUE(disk.setReadOnly(true));

    VeskServices s = services();
    s.watchInboxes = true;
    auto store = std::make_unique<VeskStore>(s);
    const auto cleanups = [&] { return logLines.filter("Vesk Inbox cleanup error for").size(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return cleanups() > 0; }, realWaitMs(10'000)));
    QTest::qWait(10'000); // the watcher's own timings, as they are
    EXPECT_LE(cleanups(), 5) << logLines.join('\n').toStdString();
    EXPECT_EQ(store->items().size(), 1);

    ASSERT_TRUE(disk.setReadOnly(false));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(file); }, realWaitMs(6000)));
    EXPECT_EQ(store->items().size(), 1);
}

} // namespace
} // namespace vesk::test
