#include "store/FaultInjection.h"
#include "store/StoreTestSupport.h"

#include "model/VeskItemCoding.h"
#include "platform/Uuid.h"
#include "store/StoreInternals.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vesk::test {
namespace {

class LibraryStateTest : public StoreTest {
protected:
    // A library of many pages, closed so that everything is in the main file.
    QList<VeskItem> seedLibrary(int count = 300)
    {
        QList<VeskItem> items;
        for (int i = 0; i < count; ++i) {
            VeskItem item = makeItem(QStringLiteral("Note %1").arg(i), 1000 + i);
            item.text = QString(400, QLatin1Char('a' + i % 26));
            item.searchableText = *item.text;
            items.append(item);
        }
        seed(items);
        // The library has held items, as a real one would have marked.
        writeFile(dataDir + QStringLiteral("/.vesk-library-has-held-items"), "1\n");
        return items;
    }

    // What a user who keeps going sees: a note typed, and nothing of it in the damaged file.
    void expectNothingTakenIn(VeskStore& store, const QByteArray& digestBefore)
    {
        VeskItem note = makeItem(QStringLiteral("typed afterwards"), 5000);
        EXPECT_FALSE(store.commitNewItem(note));
        store.addText(QStringLiteral("dropped afterwards"));
        EXPECT_TRUE(store.items().isEmpty());
        ASSERT_TRUE(store.failureNotice());
        EXPECT_EQ(store.failureNotice()->title, QStringLiteral("Not kept"));
        EXPECT_EQ(fileDigest(databasePath()), digestBefore) << "no write went into the file";
    }
};

TEST_F(LibraryStateTest, ALibraryFileThatCannotBeOpenedIsSaidWithItsReasonAndTakesNothingIn)
{
    seedLibrary();
    // A damaged header: the file is no database any more.
    ASSERT_TRUE(damage(databasePath(), 0, 100));
    const QByteArray before = fileDigest(databasePath());

    auto store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Unreadable);
    EXPECT_EQ(store->libraryProblem()->databasePath, databasePath());
    EXPECT_EQ(store->libraryProblem()->reason, QStringLiteral("the library file is damaged"));
    EXPECT_EQ(countLines(QStringLiteral("Vesk database open error for ") + databasePath() + QStringLiteral(": ")), 1)
        << logLines.join('\n').toStdString();
    EXPECT_FALSE(store->itemsLoaded());
    EXPECT_EQ(snapshots->launchRequests, 0);
    expectNothingTakenIn(*store, before);

    // A folder where the file belongs.
    store.reset();
    QFile::remove(databasePath());
    ASSERT_TRUE(QDir().mkpath(databasePath()));
    store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Unreadable);
    EXPECT_EQ(store->libraryProblem()->reason, QStringLiteral("the library file could not be opened"));
}

TEST_F(LibraryStateTest, DamageInsideTheFileMakesTheLibraryUnreadableInsteadOfEmpty)
{
    seedLibrary();
    const qint64 size = QFileInfo(databasePath()).size();
    ASSERT_GT(size, 100'000);
    // Pages in the middle of the item table, as a failing disk leaves them.
    ASSERT_TRUE(damage(databasePath(), size / 2, 16 * 4096));
    const QByteArray before = fileDigest(databasePath());

    auto store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Unreadable);
    EXPECT_EQ(store->libraryProblem()->reason, QStringLiteral("the library file is damaged"));
    EXPECT_EQ(StoreInternals::database(*store), nullptr) << "no connection is left that could write into it";
    EXPECT_EQ(countLines(QStringLiteral("Vesk SQLite load/migration error: ")), 1);
    expectNothingTakenIn(*store, before);

    // A file cut short: the same.
    store.reset();
    QFile file(databasePath());
    ASSERT_TRUE(file.resize(size / 3));
    file.close();
    store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Unreadable);
}

// Damage that reading never meets is found by the check of the whole file after start-up; until
// it has passed, new rows wait, shown as being saved.
TEST_F(LibraryStateTest, NewRowsWaitForTheCheckOfTheLibraryFileAndDamageItFindsStopsAllWrites)
{
    const QString snapshot = dataDir + QStringLiteral("/Recovery/Snapshots/2026-03-04_09-30-00-000");
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "healthy");
        QDir(dataDir).removeRecursively();
        QDir().mkpath(snapshot);
        const QList<VeskItem> library = seedLibrary(600);
        if (damaged)
            ASSERT_TRUE(damagePagesReadingNeverVisits(databasePath(), 3));
        const QByteArray before = fileDigest(databasePath());
        snapshots->launchRequests = 0;

        auto store = makeStore(true, false);
        const VeskItem typed = makeItem(QStringLiteral("typed before the check"), 5000);
        EXPECT_FALSE(store->commitNewItem(typed)) << "not in the file yet";
        store->addText(QStringLiteral("pasted before the check"));
        ASSERT_EQ(store->items().size(), VeskStore::firstPageSize + 2);
        const QUuid pasted = store->items().first().id;
        EXPECT_EQ(store->savingItemIDs(), (QSet<QUuid>{typed.id, pasted}));
        EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
        EXPECT_FALSE(store->failureNotice()) << "waiting is no failure";

        store->waitForStartup();
        EXPECT_FALSE(store->libraryCheckPending());
        EXPECT_TRUE(store->savingItemIDs().isEmpty());
        if (!damaged) {
            EXPECT_FALSE(store->libraryProblem());
            EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
            EXPECT_EQ(snapshots->launchRequests, 1);
            EXPECT_EQ(store->items().size(), library.size() + 2);
            store.reset();
            EXPECT_EQ(storedItems().size(), library.size() + 2) << "both rows written once the file passed";
            continue;
        }
        ASSERT_TRUE(store->libraryProblem());
        EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Damaged);
        EXPECT_TRUE(store->libraryProblem()->reason.startsWith(
            QStringLiteral("SQLite's integrity check (PRAGMA quick_check) found damage in it: ")))
            << store->libraryProblem()->reason.toStdString();
        EXPECT_EQ(store->libraryProblem()->newestSnapshot, snapshot);
        EXPECT_EQ(StoreInternals::database(*store), nullptr);
        EXPECT_EQ(store->unsavedItemIDs(), (QSet<QUuid>{typed.id, pasted})) << "said before the window closes";
        EXPECT_EQ(snapshots->launchRequests, 0) << "a copy of the damaged file would push a good one out";
        EXPECT_EQ(countLines(QStringLiteral("Vesk library check found damage in ")), 1);
        EXPECT_EQ(store->retryUnsavedItems(), 2);
        EXPECT_FALSE(store->commitNewItem(makeItem(QStringLiteral("typed afterwards"), 6000)));
        EXPECT_EQ(fileDigest(databasePath()), before) << "nothing was written into the damaged file";
    }
}

TEST_F(LibraryStateTest, TheNewestRecoverySnapshotIsNamedWhenThereIsOne)
{
    seedLibrary(3);
    ASSERT_TRUE(damage(databasePath(), 0, 100));
    const QString snapshots = dataDir + QStringLiteral("/Recovery/Snapshots/");
    QDir().mkpath(snapshots + QStringLiteral("2026-01-02_10-00-00-000"));
    QDir().mkpath(snapshots + QStringLiteral("2026-03-04_09-30-00-000"));
    QDir().mkpath(snapshots + QStringLiteral(".building-1234")); // unfinished: never offered

    auto store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->newestSnapshot, snapshots + QStringLiteral("2026-03-04_09-30-00-000"));
}

TEST_F(LibraryStateTest, AMissingOrEmptiedLibraryIsLostAndOnlyTheUsersWordStartsANewOne)
{
    seedLibrary(3);
    QFile::remove(databasePath());
    {
        auto store = makeStore();
        ASSERT_TRUE(store->libraryProblem());
        EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Lost);
        EXPECT_EQ(store->libraryProblem()->reason, QStringLiteral("the library file is missing"));
        EXPECT_FALSE(QFileInfo::exists(databasePath())) << "no new file is made over a lost library";
        EXPECT_FALSE(store->commitNewItem(makeItem(QStringLiteral("typed"), 1)));
    }
    // Emptied to no bytes (a sync client, a failed copy): lost just the same.
    writeFile(databasePath(), QByteArray());
    {
        auto store = makeStore();
        ASSERT_TRUE(store->libraryProblem());
        EXPECT_EQ(store->libraryProblem()->reason, QStringLiteral("the library file is empty"));
        EXPECT_EQ(QFileInfo(databasePath()).size(), 0);

        ASSERT_TRUE(store->startNewLibrary());
        EXPECT_FALSE(store->libraryProblem());
        EXPECT_TRUE(store->commitNewItem(makeItem(QStringLiteral("a new start"), 2)));
    }
    auto reopened = makeStore();
    EXPECT_FALSE(reopened->libraryProblem());
    EXPECT_EQ(titles(reopened->items()), QStringList{"a new start"});

    // A library emptied by its user keeps its file and is no lost library.
    reopened.reset();
    auto db = openDatabase();
    ASSERT_TRUE(db->deleteAllRecords().hasValue());
    db.reset();
    EXPECT_FALSE(makeStore()->libraryProblem());
}

TEST_F(LibraryStateTest, AFirstSaveMarksTheFolderSoALaterLossIsNoticed)
{
    {
        auto store = makeStore();
        EXPECT_TRUE(store->commitNewItem(makeItem(QStringLiteral("first"), 1)));
    }
    QFile::remove(databasePath());
    QFile::remove(databasePath() + QStringLiteral("-wal"));
    QFile::remove(databasePath() + QStringLiteral("-shm"));
    auto store = makeStore();
    ASSERT_TRUE(store->libraryProblem());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Lost);
}

TEST_F(LibraryStateTest, ManagedPathsFollowAMovedLibraryWithoutRewritingTheRows)
{
    VeskItem moved = makeItem(QStringLiteral("report"), 10, VeskKind::File);
    moved.filePath = QStringLiteral("/old/home/.local/share/Vesk/Items/") + uuidString(moved.id) + QStringLiteral("/report.pdf");
    VeskItem gone = makeItem(QStringLiteral("gone"), 9, VeskKind::File);
    gone.filePath = QStringLiteral("/old/home/.local/share/Vesk/Items/") + uuidString(gone.id) + QStringLiteral("/gone.pdf");
    seed({moved, gone});
    const QString current = writeFile(dataDir + QStringLiteral("/Items/") + uuidString(moved.id) + QStringLiteral("/report.pdf"), "pdf");

    auto store = makeStore();
    ASSERT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->items()[0].filePath, current);
    EXPECT_EQ(store->items()[1].filePath, gone.filePath) << "nothing found: the stored path stays";
    EXPECT_EQ(storedItems()[0].filePath, moved.filePath) << "the stored form is left as it is";
}

TEST_F(LibraryStateTest, ARelativeDataFolderBecomesAbsolute)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dataDir));
    VeskServices s = services();
    s.dataDirectory = QStringLiteral("relative-library");
    const VeskServices completed = s.completed();
    QDir::setCurrent(previous);
    EXPECT_EQ(completed.dataDirectory, dataDir + QStringLiteral("/relative-library"));
}

TEST_F(LibraryStateTest, ALegacyArchiveWithABadRecordBringsInTheGoodOnesAndKeepsTheFile)
{
    const VeskItem first = makeItem(QStringLiteral("first"), 100);
    const VeskItem third = makeItem(QStringLiteral("third"), 300);
    QJsonArray records{encodeItemRecord(first), QJsonObject{{"id", "not a uuid"}, {"title", "bad"}}, encodeItemRecord(third)};
    const QByteArray archive = QJsonDocument(records).toJson();
    writeFile(dataDir + QStringLiteral("/vesks.json"), archive);

    auto store = makeStore();
    EXPECT_EQ(titles(store->items()), (QStringList{"third", "first"}));
    EXPECT_EQ(countLines(QStringLiteral("Vesk legacy JSON archive error: record 1: ")), 1) << logLines.join('\n').toStdString();
    ASSERT_TRUE(store->failureNotice());
    EXPECT_TRUE(store->failureNotice()->detail.startsWith(QStringLiteral("1 record of the old archive")));
    // Kept whole, bad record and all.
    QFile kept(dataDir + QStringLiteral("/vesks-migrated.json"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), archive);
    EXPECT_EQ(storedItems().size(), 2);
}

} // namespace
} // namespace vesk::test
