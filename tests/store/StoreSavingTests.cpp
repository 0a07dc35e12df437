#include "store/StoreTestSupport.h"
#include "model/VeskItemCoding.h"
#include "store/StoreInternals.h"

#include <QFileInfo>
#include <QSignalSpy>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreSaving : public StoreTest {
protected:
    QString archivePath() const { return dataDir + QStringLiteral("/vesks.json"); }
    QString migratedPath() const { return dataDir + QStringLiteral("/vesks-migrated.json"); }

    void writeArchive(const QList<VeskItem>& items) const { writeFile(archivePath(), encodeItemArchive(items)); }

    // Makes every write of an item row fail while reads keep working.
    static void breakItemWrites(VeskStore& store)
    {
        ASSERT_TRUE(StoreInternals::database(store)
                        ->execute(QStringLiteral(
                            "CREATE TEMP TRIGGER refuse_item_updates BEFORE UPDATE ON vesks "
                            "BEGIN SELECT RAISE(ABORT, 'writes refused'); END;"))
                        .hasValue());
    }
};

} // namespace

TEST_F(StoreSaving, UpdateReplacesTheItemInPlaceAndSavesIt)
{
    const VeskItem first = makeItem(QStringLiteral("first"), 20);
    const VeskItem second = makeItem(QStringLiteral("second"), 10);
    seed({first, second});
    auto store = makeStore();
    QSignalSpy itemsSpy(store.get(), &VeskStore::itemsChanged);

    VeskItem renamed = second;
    renamed.title = QStringLiteral("renamed");
    EXPECT_TRUE(store->updateItem(renamed));
    EXPECT_EQ(titles(store->items()), (QStringList{"first", "renamed"}));
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(snapshots->changes, 1);
    EXPECT_EQ(storedItems()[1].title, QStringLiteral("renamed"));

    // An item that is no longer in the library is neither saved nor shown.
    EXPECT_FALSE(store->updateItem(makeItem(QStringLiteral("ghost"), 30)));
    EXPECT_EQ(store->items().size(), 2);
    EXPECT_EQ(snapshots->changes, 1);
    EXPECT_EQ(storedItems().size(), 2);
}

TEST_F(StoreSaving, AFailedSaveKeepsTheChangeInMemoryOnly)
{
    const VeskItem item = makeItem(QStringLiteral("before"), 10);
    seed({item});
    auto store = makeStore();
    breakItemWrites(*store);

    VeskItem renamed = item;
    renamed.title = QStringLiteral("after");
    EXPECT_FALSE(store->updateItem(renamed));
    EXPECT_EQ(store->items().first().title, QStringLiteral("after"));
    EXPECT_EQ(countLines(QStringLiteral("Vesk SQLite save error: stepFailed(")), 1)
        << logLines.join('\n').toStdString();
    EXPECT_EQ(snapshots->changes, 0);

    // The old row comes back at the next start.
    store.reset();
    store = makeStore();
    EXPECT_EQ(store->items().first().title, QStringLiteral("before"));
}

TEST_F(StoreSaving, RemovesOnlyAnItemsOwnFolderInsideItems)
{
    const QString items = dataDir + QStringLiteral("/Items");
    const QString own = items + QStringLiteral("/ABC/photo.png");
    const QString package = items + QStringLiteral("/DEF/Trip.vesknote/note.json");
    const QString direct = items + QStringLiteral("/loose.txt");
    const QString sibling = dataDir + QStringLiteral("/ItemsOld/GHI/keep.txt");
    const QString outside = dataDir + QStringLiteral("/outside/keep.txt");
    for (const QString& path : {own, package, direct, sibling, outside})
        writeFile(path, "x");
    ASSERT_TRUE(QFile::link(dataDir + QStringLiteral("/outside"), items + QStringLiteral("/LINKED")));
    // Claimed by items, so that the start-up sweep of unclaimed files (which runs at its own time
    // and may come seconds later on a busy machine) leaves them where this test looks.
    seed({makeItem(QStringLiteral("own"), 1, VeskKind::File, own),
        makeItem(QStringLiteral("package"), 2, VeskKind::File, items + QStringLiteral("/DEF/Trip.vesknote")),
        makeItem(QStringLiteral("direct"), 3, VeskKind::File, direct)});

    auto store = makeStore();
    auto remove = [&](const QString& path) {
        VeskItem item = makeItem(QStringLiteral("f"), 1, VeskKind::File, path);
        store->removeManagedFile(item);
    };

    // Refused: directly inside Items, the Items folder itself, a look-alike sibling, a path that
    // climbs out, a relative path, and a folder that links outside.
    remove(direct);
    remove(items);
    remove(items + QStringLiteral("/"));
    remove(sibling);
    remove(items + QStringLiteral("/ABC/../../outside/keep.txt"));
    remove(items + QStringLiteral("/../outside/keep.txt"));
    remove(QStringLiteral("Items/ABC/photo.png"));
    remove(items + QStringLiteral("/LINKED/keep.txt"));
    remove(QString());
    for (const QString& path : {own, package, direct, sibling, outside})
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();

    // Accepted: the item's own folder goes with everything in it; a package's holder likewise.
    remove(own);
    EXPECT_FALSE(QFileInfo::exists(items + QStringLiteral("/ABC")));
    remove(items + QStringLiteral("/DEF/Trip.vesknote"));
    EXPECT_FALSE(QFileInfo::exists(items + QStringLiteral("/DEF")));
    EXPECT_TRUE(QFileInfo::exists(direct));
    EXPECT_TRUE(QFileInfo::exists(outside));
}

TEST_F(StoreSaving, MigratesTheLegacyArchiveOnceAndSetsItAside)
{
    const VeskItem older = makeItem(QStringLiteral("older"), 100);
    const VeskItem twin = makeItem(QStringLiteral("twin"), 100);
    const VeskItem newer = makeItem(QStringLiteral("newer"), 200);
    writeArchive({older, twin, newer});
    writeFile(migratedPath(), "an older migration");

    auto store = makeStore();
    // Newest first; equal dates keep their archive order.
    EXPECT_EQ(titles(store->items()), (QStringList{"newer", "older", "twin"}));
    EXPECT_EQ(store->filteredItems(), store->items());
    EXPECT_TRUE(store->itemsLoaded());
    EXPECT_EQ(storedItems().size(), 3);
    EXPECT_FALSE(QFileInfo::exists(archivePath()));
    QFile moved(migratedPath());
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(decodeItemArchive(moved.readAll()).valueOr(QList<VeskItem>{}).size(), 3);
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

TEST_F(StoreSaving, AnUndecodableArchiveStaysForTheNextStart)
{
    writeFile(archivePath(), R"([{"id":"11111111-2222-4333-8444-555555555555","title":"t","kind":"note",)"
                             R"("createdAt":"2024-01-01T00:00:00Z","searchableText":"","note":""}])");
    auto store = makeStore();
    EXPECT_TRUE(store->items().isEmpty());
    // The archive's items are still to come: the empty list is not the library.
    EXPECT_FALSE(store->itemsLoaded());
    EXPECT_EQ(countLines(QStringLiteral("Vesk SQLite load/migration error: ")), 1);
    EXPECT_TRUE(QFileInfo::exists(archivePath()));
    EXPECT_TRUE(storedItems().isEmpty());

    // An empty array is a valid, empty archive.
    store.reset();
    writeFile(archivePath(), "[]");
    store = makeStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(archivePath()));
    EXPECT_TRUE(QFileInfo::exists(migratedPath()));
}

TEST_F(StoreSaving, AnArchiveIsNeverMigratedIntoALibraryThatHasHeldItems)
{
    // Migrated, but a folder in the way keeps the archive from being set aside.
    writeArchive({makeItem(QStringLiteral("old"), 100)});
    ASSERT_TRUE(QDir().mkpath(migratedPath() + QStringLiteral("/blocker")));
    auto store = makeStore();
    EXPECT_EQ(titles(store->items()), QStringList{"old"});
    EXPECT_EQ(countLines(QStringLiteral("Vesk legacy JSON archive error: ")), 1);
    EXPECT_TRUE(QFileInfo::exists(archivePath()));

    // The library is emptied; the next start must not bring the old item back.
    ASSERT_TRUE(StoreInternals::database(*store)->deleteAllRecords().hasValue());
    store.reset();
    store = makeStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(storedItems().isEmpty());

    // Once the way is clear the archive is set aside after all.
    store.reset();
    ASSERT_TRUE(QDir(migratedPath()).removeRecursively());
    store = makeStore();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(archivePath()));
    EXPECT_TRUE(QFileInfo::exists(migratedPath()));
}

TEST_F(StoreSaving, AnArchiveBesideALibraryWithItemsIsNotRead)
{
    seed({makeItem(QStringLiteral("current"), 300)});
    writeArchive({makeItem(QStringLiteral("legacy"), 100)});
    auto store = makeStore();
    EXPECT_EQ(titles(store->items()), QStringList{"current"});
    EXPECT_EQ(storedItems().size(), 1);
    // Set aside, so that clearing this library can never let it in later.
    EXPECT_FALSE(QFileInfo::exists(archivePath()));
    EXPECT_TRUE(QFileInfo::exists(migratedPath()));
}

TEST_F(StoreSaving, SaveTellsWhetherTheRowWasWritten)
{
    const VeskItem item = makeItem(QStringLiteral("kept"), 10);
    seed({item});
    auto store = makeStore();
    VeskItem renamed = item;
    renamed.title = QStringLiteral("renamed");
    EXPECT_TRUE(store->saveItemToDatabase(renamed));
    EXPECT_EQ(snapshots->changes, 1);

    breakItemWrites(*store);
    renamed.title = QStringLiteral("refused");
    EXPECT_FALSE(store->saveItemToDatabase(renamed));
    EXPECT_EQ(snapshots->changes, 1);
    EXPECT_EQ(storedItems().first().title, QStringLiteral("renamed"));

    // Without a database the change is still noted, but no row exists to count on.
    store.reset();
    QFile::remove(databasePath());
    ASSERT_TRUE(QDir().mkpath(databasePath()));
    store = makeStore();
    ASSERT_EQ(StoreInternals::database(*store), nullptr);
    EXPECT_FALSE(store->saveItemToDatabase(renamed));
    EXPECT_EQ(snapshots->changes, 2);
}
