#include "common/Fakes.h"
#include "common/PropertyListReader.h"
#include "common/TestEnvironment.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/RecoverySnapshotFolder.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskRecoverySnapshots.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <ctime>

using namespace vesk;

namespace {

constexpr int kSettleMs = 150;

VeskItem makeItem(int n)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("Item %1").arg(n);
    item.kind = VeskKind::Text;
    item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 + n, Qt::UTC);
    item.text = QStringLiteral("Body of item %1 ").arg(n).repeated(20);
    item.searchableText = item.title;
    return item;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

qint64 countRows(const QString& databasePath)
{
    auto db = SQLiteDatabase::open(databasePath);
    if (!db)
        return -1;
    auto items = (*db)->fetchItems();
    return items ? items->size() : -1;
}

class RecoverySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataDir = test::makeTempDirectory(QStringLiteral("snapshots"));
        setVeskLogCapture([this](const QString& line) {
            QMutexLocker lock(&logMutex);
            logLines.append(line);
        });
    }
    void TearDown() override
    {
        service.reset();
        setVeskLogCapture({});
    }

    QString databasePath() const { return dataDir + QStringLiteral("/vesk.sqlite3"); }
    QString itemsDir() const { return dataDir + QStringLiteral("/Items"); }

    void seedDatabase(int count = 3)
    {
        auto db = SQLiteDatabase::open(databasePath());
        ASSERT_TRUE(db.hasValue());
        QList<VeskItem> items;
        for (int i = 0; i < count; ++i)
            items.append(makeItem(i));
        ASSERT_TRUE((*db)->upsertItems(items).hasValue());
    }

    VeskRecoverySnapshots& snapshots()
    {
        if (!service)
            service = std::make_unique<VeskRecoverySnapshots>(dataDir, clock, settings, timers, timing);
        return *service;
    }

    RecoverySnapshotFolder folder() const { return RecoverySnapshotFolder(dataDir, timing.maximumSnapshotCount); }
    QString snapshotsDir() const { return folder().snapshotsDirectory(); }

    QStringList names() const
    {
        auto listed = folder().listSnapshots();
        EXPECT_TRUE(listed.hasValue());
        return listed ? *listed : QStringList{};
    }

    QJsonObject manifest(const QString& name) const
    {
        QFile file(snapshotsDir() + QLatin1Char('/') + name + QStringLiteral("/manifest.json"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QStringList reasons() const
    {
        QStringList out;
        for (const QString& name : names())
            out.append(manifest(name).value("reason").toString());
        return out;
    }

    QStringList log()
    {
        QMutexLocker lock(&logMutex);
        return logLines;
    }

    QString dataDir;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<test::FakeTimers> timers = std::make_shared<test::FakeTimers>();
    RecoverySnapshotTiming timing{kSettleMs};
    std::unique_ptr<VeskRecoverySnapshots> service;
    QMutex logMutex;
    QStringList logLines;
};

TEST_F(RecoverySnapshotTest, LaunchSnapshotIsSkippedWhileTheNewestIsYoungerThanSixHours)
{
    seedDatabase();
    snapshots().requestLaunchSnapshot();
    snapshots().waitForIdle();
    EXPECT_EQ(reasons(), QStringList{"launch"});

    clock->advance(6 * 3600 - 1);
    snapshots().requestLaunchSnapshot();
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 1);

    clock->advance(2);
    snapshots().requestLaunchSnapshot();
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 2);

    // A newest snapshot dated after now (the clock was set back) counts as fresh.
    clock->advance(-24 * 3600);
    snapshots().requestLaunchSnapshot();
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 2);
    EXPECT_TRUE(log().isEmpty()) << log().join('\n').toStdString();
}

TEST_F(RecoverySnapshotTest, BurstOfChangesGivesOneSnapshotAfterTheLastAndNoneWhileTheNewestIsRecent)
{
    seedDatabase();
    // Changes a fifth of the delay apart, for twice the delay, would have fired a wait that was
    // not restarted by each change.
    for (int i = 0; i < 10; ++i) {
        snapshots().noteChange();
        timers->advance(kSettleMs / 5);
    }
    timers->advance(kSettleMs - kSettleMs / 5 - 1);
    snapshots().waitForIdle();
    EXPECT_TRUE(names().isEmpty()) << "taken before the delay after the last change";
    timers->advance(1);
    snapshots().waitForIdle();
    EXPECT_EQ(reasons(), QStringList{"settled-change"});
    timers->advance(kSettleMs * 2);
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 1) << "one snapshot for the whole burst";

    // Under thirty minutes later: skipped.
    clock->advance(29 * 60);
    snapshots().noteChange();
    timers->advance(kSettleMs);
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 1);

    clock->advance(2 * 60);
    snapshots().noteChange();
    timers->advance(kSettleMs);
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 2);
}

TEST_F(RecoverySnapshotTest, DestructiveSnapshotIsAlwaysTakenAndCancelsThePendingOne)
{
    seedDatabase();
    snapshots().requestLaunchSnapshot();
    clock->advance(1);
    snapshots().noteChange();
    EXPECT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    EXPECT_EQ(reasons(), (QStringList{"before-bulk-delete", "launch"}));

    // Long after the destructive snapshot, a wait that was still pending would now take one.
    clock->advance(3600);
    timers->advance(kSettleMs * 3);
    snapshots().waitForIdle();
    EXPECT_EQ(names().size(), 2);
}

TEST_F(RecoverySnapshotTest, SnapshotHoldsDatabaseLinkedFilesStateListAndManifest)
{
    seedDatabase(5);
    const QString photo = itemsDir() + QStringLiteral("/A1/photo.jpg");
    writeFile(photo, QByteArray(4096, 'p'));
    writeFile(itemsDir() + QStringLiteral("/B2/folder.vesknote/media/clip.m4a"), "clip");
    writeFile(itemsDir() + QStringLiteral("/B2/.DS_Store"), "hidden");
    writeFile(itemsDir() + QStringLiteral("/.trash/old.bin"), "hidden tree");
    ASSERT_TRUE(QFile::link(QStringLiteral("../A1/photo.jpg"), itemsDir() + QStringLiteral("/B2/alias.jpg")));
    QDir().mkpath(itemsDir() + QStringLiteral("/C3/empty"));
    const QByteArray tags = R"({"A1":["holiday"]})";
    settings->setData(VeskStore::manualTagsDefaultsKey, tags);

    ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-clear-library")));
    ASSERT_EQ(names().size(), 1);
    const QString snapshot = snapshotsDir() + QLatin1Char('/') + names().first();

    EXPECT_EQ(countRows(snapshot + QStringLiteral("/vesk.sqlite3")), 5);

    namespace fs = std::filesystem;
    const fs::path linked(QFile::encodeName(snapshot + QStringLiteral("/Items/A1/photo.jpg")).toStdString());
    EXPECT_EQ(fs::hard_link_count(linked), 2u);
    EXPECT_TRUE(fs::equivalent(linked, fs::path(QFile::encodeName(photo).toStdString())));
    const fs::path alias(QFile::encodeName(snapshot + QStringLiteral("/Items/B2/alias.jpg")).toStdString());
    ASSERT_TRUE(fs::is_symlink(fs::symlink_status(alias)));
    EXPECT_EQ(fs::read_symlink(alias).string(), "../A1/photo.jpg");
    EXPECT_TRUE(QFileInfo::exists(snapshot + QStringLiteral("/Items/B2/folder.vesknote/media/clip.m4a")));
    EXPECT_TRUE(QFileInfo(snapshot + QStringLiteral("/Items/C3/empty")).isDir());
    EXPECT_FALSE(QFileInfo::exists(snapshot + QStringLiteral("/Items/B2/.DS_Store")));
    EXPECT_FALSE(QFileInfo::exists(snapshot + QStringLiteral("/Items/.trash")));

    const QJsonObject info = manifest(names().first());
    EXPECT_EQ(info.value("version").toInt(), 1);
    EXPECT_EQ(info.value("reason").toString(), "before-clear-library");
    EXPECT_EQ(info.value("managedFileCount").toInt(), 3); // photo, clip and the link
    EXPECT_FALSE(info.value("secureValuesIncluded").toBool(true));
    EXPECT_EQ(info.value("createdAt").toString(), clock->now().toString(Qt::ISODate));
    EXPECT_TRUE(info.value("createdAt").toString().endsWith('Z'));

    QFile stateFile(snapshot + QStringLiteral("/Vesk-State.plist"));
    ASSERT_TRUE(stateFile.open(QIODevice::ReadOnly));
    QString failure;
    const QVariantMap state = test::readPropertyList(stateFile.readAll(), &failure).toMap();
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    EXPECT_EQ(state.value("snapshotFormat").toLongLong(), 1);
    EXPECT_EQ(state.value("manualTags").toByteArray(), tags);
    EXPECT_FALSE(state.contains("usageSignals"));

    // Nothing else lies in the snapshot, and no building folder is left.
    QStringList entries = QDir(snapshot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    entries.sort();
    EXPECT_EQ(entries.join(','), "Items,Vesk-State.plist,manifest.json,vesk.sqlite3");
    EXPECT_EQ(QDir(snapshotsDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
}

TEST_F(RecoverySnapshotTest, LibraryWithoutItemsFolderOrWithoutDatabase)
{
    // No database yet: nothing is made and nothing is logged.
    EXPECT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    EXPECT_FALSE(QFileInfo::exists(snapshotsDir()));

    seedDatabase();
    ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    ASSERT_EQ(names().size(), 1);
    EXPECT_EQ(manifest(names().first()).value("managedFileCount").toInt(), 0);
    EXPECT_FALSE(QFileInfo::exists(snapshotsDir() + QLatin1Char('/') + names().first() + QStringLiteral("/Items")));
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(RecoverySnapshotTest, PruningKeepsTheSixNewestAndIgnoresBuildingAndForeignFolders)
{
    seedDatabase();
    for (int day = 1; day <= 7; ++day)
        QDir().mkpath(snapshotsDir() + QStringLiteral("/2023-01-0%1_10-00-00-000").arg(day));
    QDir().mkpath(snapshotsDir() + QStringLiteral("/.building-LEFT-BEHIND"));
    writeFile(snapshotsDir() + QStringLiteral("/notes.txt"), "not a snapshot");

    clock->set(QDateTime(QDate(2023, 2, 1), QTime(9, 0), Qt::UTC));
    ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-delete-group")));
    // The waiting caller is let go before the pruning, which follows on the snapshot thread.
    snapshots().waitForIdle();
    EXPECT_EQ(names(), (QStringList{"2023-02-01_09-00-00-000", "2023-01-07_10-00-00-000", "2023-01-06_10-00-00-000",
                                    "2023-01-05_10-00-00-000", "2023-01-04_10-00-00-000", "2023-01-03_10-00-00-000"}));
    EXPECT_TRUE(QFileInfo::exists(snapshotsDir() + QStringLiteral("/.building-LEFT-BEHIND")));

    // A name that does not parse at the top counts as no snapshot: the next routine trigger
    // takes one although the real newest is only a minute old.
    QDir().mkpath(snapshotsDir() + QStringLiteral("/zz-not-a-date"));
    clock->advance(60);
    snapshots().requestLaunchSnapshot();
    snapshots().waitForIdle();
    EXPECT_TRUE(names().contains("2023-02-01_09-01-00-000"));
}

TEST_F(RecoverySnapshotTest, FolderNamesFollowTimeAcrossATimeZoneChange)
{
    seedDatabase();
    const QByteArray savedZone = qgetenv("TZ");
    // Five and a half hours east, then eight hours west, an hour later: in local time the later
    // snapshot would be named before the earlier one and be the first one pruned.
    qputenv("TZ", "IST-5:30");
    tzset();
    clock->set(QDateTime(QDate(2024, 3, 10), QTime(1, 0), Qt::UTC));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
        clock->advance(60);
    }
    qputenv("TZ", "PST8");
    tzset();
    clock->advance(3600);
    const QString expectedNewest = RecoverySnapshotFolder::folderName(clock->now());
    ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    snapshots().waitForIdle();
    if (savedZone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();

    EXPECT_EQ(expectedNewest, "2024-03-10_02-06-00-000");
    ASSERT_EQ(names().size(), 6);
    EXPECT_EQ(names().first(), expectedNewest);
    EXPECT_FALSE(names().contains("2024-03-10_01-00-00-000"));
}

TEST_F(RecoverySnapshotTest, FailedCopyLeavesNoPartialSnapshotAndIsLogged)
{
    seedDatabase();
    ASSERT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    const QStringList before = names();

    QFile::remove(databasePath());
    writeFile(databasePath(), QByteArray(8192, 'x'));
    clock->advance(60);
    EXPECT_FALSE(snapshots().synchronousSnapshot(QStringLiteral("before-clear-library")));

    EXPECT_EQ(names(), before);
    EXPECT_EQ(QDir(snapshotsDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    EXPECT_EQ(log(), QStringList{"Vesk pre-destructive recovery snapshot error: "
                                 "sqliteBackup(\"file is not a database\")"});
}

// A library locked by another process for longer than the limit: the copy gives up after the
// limit instead of keeping the waiting window frozen.
TEST_F(RecoverySnapshotTest, CopyOfALockedLibraryGivesUpAfterItsBusyLimit)
{
    seedDatabase();
    sqlite3* locker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(databasePath()).constData(), &locker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(locker, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr),
              SQLITE_OK);

    timing.pacing.busyWaitLimitMs = 300;
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_GE(elapsed.elapsed(), 250);
    ASSERT_EQ(log().size(), 1);
    EXPECT_TRUE(log().first().startsWith("Vesk pre-destructive recovery snapshot error: sqliteBackup(\"database is locked"))
        << log().first().toStdString();
    EXPECT_TRUE(names().isEmpty());

    sqlite3_exec(locker, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
}

// The store keeps writing through its own connection while snapshots are taken: every copy is a
// sound database holding one state of the library, and no copy is held up by the writes.
TEST_F(RecoverySnapshotTest, SnapshotTakenWhileAnotherConnectionWrites)
{
    seedDatabase(3000); // several backup steps' worth of pages
    std::atomic<bool> stop = false;
    std::atomic<int> written = 0;
    QThread* writer = QThread::create([&] {
        auto db = SQLiteDatabase::open(databasePath());
        if (!db)
            return;
        for (int n = 1000; !stop; ++n) {
            if ((*db)->upsertItem(makeItem(n)).hasValue())
                ++written;
        }
    });
    writer->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return written > 20; }, 5000));

    for (int round = 0; round < 3; ++round) {
        clock->advance(1);
        EXPECT_TRUE(snapshots().synchronousSnapshot(QStringLiteral("before-bulk-delete")));
    }
    stop = true;
    writer->wait();
    delete writer;
    const int writtenInAll = written;

    ASSERT_EQ(names().size(), 3);
    for (const QString& name : names()) {
        const QString copy = snapshotsDir() + QLatin1Char('/') + name + QStringLiteral("/vesk.sqlite3");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* check = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check;", -1, &check, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
        sqlite3_finalize(check);
        sqlite3_close(db);
        const qint64 rows = countRows(copy);
        EXPECT_GE(rows, 3000 + 20);
        EXPECT_LE(rows, 3000 + writtenInAll);
    }
    EXPECT_TRUE(log().isEmpty()) << log().join('\n').toStdString();
}

} // namespace
