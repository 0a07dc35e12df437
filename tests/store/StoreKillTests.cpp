#include "store/StoreTestSupport.h"

#include "platform/Uuid.h"
#include "store/RecoverySnapshotFolder.h"
#include "store/VeskRecoverySnapshots.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>

namespace vesk::test {
namespace {

// A run of the library cut short by SIGKILL, then started again: what was acknowledged is there,
// nothing half-made is left, and no row names a file that is not there.
class KilledRunTest : public StoreTest {
protected:
    void startChild(QProcess& child, const QStringList& arguments)
    {
        child.setProgram(QStringLiteral(VESK_FAULT_CHILD));
        child.setArguments(arguments);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start();
        ASSERT_TRUE(child.waitForStarted(5000));
    }

    static void ageEverythingUnder(const QString& folder)
    {
        const QDateTime anHourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
        QDirIterator all(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        QStringList paths;
        while (all.hasNext())
            paths.prepend(all.next()); // deepest first, so a folder's time is set after its entries
        paths.append(folder);
        const struct timespec times[2] = {{anHourAgo.toSecsSinceEpoch(), 0}, {anHourAgo.toSecsSinceEpoch(), 0}};
        for (const QString& path : std::as_const(paths))
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
    }

    // Kills the child the way a crash or a power cut ends a process, and reaps it.
    static void killNow(QProcess& child)
    {
        child.kill(); // SIGKILL
        ASSERT_TRUE(child.waitForFinished(5000));
    }

    // Every managed path of the library exists; nothing under "Items" is half-made; every item
    // folder is named by a row.
    void expectCleanLibrary(VeskStore& store)
    {
        QSet<QString> rowFolders;
        for (const VeskItem& item : store.items()) {
            if (!item.filePath)
                continue;
            EXPECT_TRUE(QFileInfo::exists(*item.filePath)) << "a row without its file: " << item.filePath->toStdString();
            rowFolders.insert(uuidString(item.id));
        }
        QDirIterator all(dataDir + QStringLiteral("/Items"), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
        while (all.hasNext()) {
            const QString path = all.next();
            EXPECT_FALSE(path.contains(QStringLiteral(".vesk-partial"))) << "a staging leftover: " << path.toStdString();
        }
        const QStringList folders = QDir(dataDir + QStringLiteral("/Items")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& folder : folders)
            EXPECT_TRUE(rowFolders.contains(folder)) << "a folder no row names: " << folder.toStdString();
    }
};

TEST_F(KilledRunTest, AQuitWhilePicturesAreReadOnWorkersEndsCleanlyEveryTime)
{
    // A note package's pictures are read on the file pool; the application ended under them and
    // its image plugins went while the readers were inside them.
    QImage noise(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 7 + y * 13) & 255, (x * y) & 255, (x ^ y) & 255));
    const QString picture = dataDir + QStringLiteral("/reading.png");
    ASSERT_TRUE(noise.save(picture));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QProcess child;
        QElapsedTimer took;
        took.start();
        startChild(child, {QStringLiteral("quit-amid-pictures"), picture});
        ASSERT_TRUE(child.waitForFinished(20'000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << child.readAllStandardError().toStdString();
        EXPECT_EQ(child.exitCode(), 0);
        // The readers would go on for seconds: the ending waits its short while for them and
        // leaves them behind, rather than hold the quit until the application object has gone.
        EXPECT_LT(took.elapsed(), realWaitMs(2500));
    }
}

TEST_F(KilledRunTest, EveryAcknowledgedNoteOfABurstSurvivesAKill)
{
    QProcess child;
    startChild(child, {QStringLiteral("burst"), dataDir});
    QSet<QUuid> acknowledged;
    QByteArray pending;
    while (acknowledged.size() < 150) {
        ASSERT_TRUE(child.waitForReadyRead(10'000)) << "the child stopped saving";
        pending += child.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.startsWith("saved "))
                acknowledged.insert(QUuid::fromString(QString::fromLatin1(line.mid(6))));
        }
    }
    killNow(child);

    auto store = makeStore();
    ASSERT_FALSE(store->libraryProblem());
    QSet<QUuid> loaded;
    for (const VeskItem& item : store->items())
        loaded.insert(item.id);
    EXPECT_TRUE(loaded.contains(acknowledged)) << (acknowledged - loaded).size() << " acknowledged notes lost";
}

TEST_F(KilledRunTest, ALargeImportKilledMidCopyLeavesNothingHalfMade)
{
    const QString big = makeTempDirectory(QStringLiteral("source")) + QStringLiteral("/Holiday.mov");
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray chunk(1 << 20, 'v');
        for (int i = 0; i < 192; ++i)
            ASSERT_EQ(file.write(chunk), chunk.size());
    }
    // A library that already holds something, which must come through untouched.
    {
        auto store = makeStore();
        ASSERT_TRUE(store->commitNewItem(makeItem(QStringLiteral("kept before"), 1)));
    }

    QProcess child;
    startChild(child, {QStringLiteral("import"), dataDir, big});
    ASSERT_TRUE(child.waitForReadyRead(10'000));
    // Killed while the copy is under way.
    const bool copying = QTest::qWaitFor([&] {
        QDirIterator staging(dataDir + QStringLiteral("/Items"), {QStringLiteral(".vesk-partial")}, QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
        return staging.hasNext() && QFileInfo(staging.next()).size() > (8 << 20);
    }, 10'000);
    killNow(child);
    ASSERT_TRUE(copying) << "the copy was never seen under way";

    // The next start comes later: what the killed run left is older than what the sweep leaves
    // alone as just begun.
    ageEverythingUnder(dataDir + QStringLiteral("/Items"));
    auto store = makeStore();
    store->itemsFolderSweep().waitForFinished();
    const ItemsFolderSweepReport report = store->itemsFolderSweep().result();
    EXPECT_EQ(titles(store->items()), QStringList{"kept before"});
    EXPECT_EQ(report.removedStaging.size(), 1);
    expectCleanLibrary(*store);
    EXPECT_FALSE(QFileInfo::exists(dataDir + QStringLiteral("/Recovered")));
    EXPECT_FALSE(store->failureNotice()) << "nothing was set aside, so nothing is said";
}

TEST_F(KilledRunTest, FilesSetAsideAtStartAreSaidOnce)
{
    {
        auto store = makeStore();
        ASSERT_TRUE(store->commitNewItem(makeItem(QStringLiteral("kept"), 1)));
    }
    // What a delete cut short after its commit leaves: a folder whose row is gone.
    const QString orphan = dataDir + QStringLiteral("/Items/") + uuidString(QUuid::createUuid());
    ASSERT_TRUE(QDir().mkpath(orphan + QStringLiteral("/pages")));
    writeFile(orphan + QStringLiteral("/scan.pdf"), QByteArray(1500, 'p'));
    writeFile(orphan + QStringLiteral("/pages/1.png"), QByteArray(500, 'i'));
    ageEverythingUnder(dataDir + QStringLiteral("/Items"));

    for (const bool first : {true, false}) {
        auto store = makeStore();
        store->itemsFolderSweep().waitForFinished();
        if (!first) {
            EXPECT_TRUE(store->itemsFolderSweep().result().recovered.isEmpty());
            QCoreApplication::processEvents();
            EXPECT_FALSE(store->failureNotice()) << "said once, at the start that moved them";
            continue;
        }
        // The sweep's report reaches the window a moment after its work ends.
        ASSERT_TRUE(QTest::qWaitFor([&] { return store->failureNotice().has_value(); }, 10'000));
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Files set aside"));
        EXPECT_EQ(store->failureNotice()->detail,
                  QStringLiteral("2 files (2.0 kB) that no item refers to were moved to the Recovered folder: ")
                      + dataDir + QStringLiteral("/Recovered. Set aside: \u201Cpages\u201D, \u201Cscan.pdf\u201D."));
        EXPECT_EQ(titles(store->items()), QStringList{"kept"});

        // Another failure a moment later waits behind it instead of taking its place unseen.
        passTime(0.5);
        EXPECT_FALSE(importNow(*store, dataDir + QStringLiteral("/gone.pdf")));
        passTime(0.5);
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Files set aside"));
        store->dismissFailureNotice();
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not imported"));
    }
}

TEST_F(KilledRunTest, ASnapshotCutShortLeavesNoHiddenCopyOnceItIsAnHourOld)
{
    {
        auto store = makeStore();
        const QString page(20'000, QLatin1Char('p'));
        for (int i = 0; i < 300; ++i) {
            VeskItem item = makeItem(QStringLiteral("note %1").arg(i), i);
            item.text = page;
            item.searchableText = page;
            ASSERT_TRUE(store->commitNewItem(item));
        }
    }
    const QString snapshots = dataDir + QStringLiteral("/Recovery/Snapshots");
    const auto buildingFolders = [&] {
        return QDir(snapshots).entryList({QStringLiteral(".building-*")}, QDir::Dirs | QDir::Hidden);
    };

    // A kill may land between two snapshots; a few tries catch one under way.
    for (int attempt = 0; attempt < 5 && buildingFolders().isEmpty(); ++attempt) {
        QProcess child;
        startChild(child, {QStringLiteral("snapshot"), dataDir});
        const bool underWay = QTest::qWaitFor([&] {
            const QStringList building = buildingFolders();
            return !building.isEmpty()
                && QFileInfo(snapshots + QLatin1Char('/') + building.first() + QStringLiteral("/vesk.sqlite3")).size() > 0;
        }, 20'000);
        killNow(child);
        ASSERT_TRUE(underWay) << "no snapshot was seen under way";
    }
    ASSERT_EQ(buildingFolders().size(), 1);
    const auto finishedBefore = RecoverySnapshotFolder(dataDir).listSnapshots();
    ASSERT_TRUE(finishedBefore.hasValue());

    // Started again at once, the folder may still be another run's snapshot at work: it stays.
    VeskRecoverySnapshots(dataDir, clock, settings, timers).waitForIdle();
    EXPECT_EQ(buildingFolders().size(), 1);

    ageEverythingUnder(snapshots);
    VeskRecoverySnapshots(dataDir, clock, settings, timers).waitForIdle();
    EXPECT_TRUE(buildingFolders().isEmpty());
    EXPECT_EQ(RecoverySnapshotFolder(dataDir).listSnapshots().value(), *finishedBefore);
    EXPECT_EQ(countLines(QStringLiteral("Vesk recovery removed an unfinished snapshot folder: ")), 1);
}

} // namespace
} // namespace vesk::test
