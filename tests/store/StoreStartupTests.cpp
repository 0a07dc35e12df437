#include "platform/SerialExecutor.h"
#include "platform/Uuid.h"
#include "search/Ranking.h"
#include "search/SearchIndexFile.h"
#include "store/LibraryReading.h"
#include "store/SearchState.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <cstring>
#include <functional>
#include <future>
#include <string_view>
#include <sqlite3.h>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreStartup : public StoreTest {};

// Interrupts, on every connection opened meanwhile, the statement whose text holds `fragment`
// after it has run for a while: a read that fails after it has produced rows.
struct InterruptedStatement {
    static inline const char* fragment = nullptr;
    static inline int calls = 0;
    static inline int interruptAt = 0;

    static int progress(void* context)
    {
        auto* db = static_cast<sqlite3*>(context);
        for (sqlite3_stmt* statement = sqlite3_next_stmt(db, nullptr); statement;
             statement = sqlite3_next_stmt(db, statement)) {
            const char* sql = sqlite3_sql(statement);
            if (sqlite3_stmt_busy(statement) && sql && std::strstr(sql, fragment))
                return ++calls >= interruptAt ? 1 : 0;
        }
        return 0;
    }
    static int install(sqlite3* db, char**, const sqlite3_api_routines*)
    {
        sqlite3_progress_handler(db, 10, &InterruptedStatement::progress, db);
        return SQLITE_OK;
    }

    InterruptedStatement(const char* sqlFragment, int at)
    {
        fragment = sqlFragment;
        calls = 0;
        interruptAt = at;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&InterruptedStatement::install));
    }
    ~InterruptedStatement() { sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&InterruptedStatement::install)); }
};

} // namespace

TEST_F(StoreStartup, LoadsTheLibraryAndPublishesItNewestFirst)
{
    const VeskItem older =
        makeItem(QStringLiteral("older"), 1'600'000'000, VeskKind::Image, QStringLiteral("/elsewhere/older.png"));
    const VeskItem newest =
        makeItem(QStringLiteral("newest"), 1'700'000'000, VeskKind::File, QStringLiteral("/elsewhere/newest.pdf"));
    const VeskItem middle = makeItem(QStringLiteral("middle"), 1'650'000'000);
    seed({older, newest, middle});
    {
        auto db = openDatabase();
        ASSERT_TRUE(db->upsertGroup({QUuid::createUuid(), QStringLiteral("Zebra"),
                                     QDateTime::fromSecsSinceEpoch(1, Qt::UTC)}).hasValue());
        ASSERT_TRUE(db->upsertGroup({QUuid::createUuid(), QStringLiteral("apple"),
                                     QDateTime::fromSecsSinceEpoch(2, Qt::UTC)}).hasValue());
        ASSERT_TRUE(db->updateRichText(middle.id, QByteArray("{\\rtf1 hi}")).hasValue());
    }

    auto store = makeStore();
    ASSERT_NE(StoreInternals::database(*store), nullptr);
    EXPECT_EQ(titles(store->items()), (QStringList{"newest", "middle", "older"}));
    EXPECT_EQ(store->filteredItems(), store->items());
    // Groups keep the database's order (oldest first) until a create or rename sorts them.
    ASSERT_EQ(store->groups().size(), 2);
    EXPECT_EQ(store->groups()[0].name, QStringLiteral("Zebra"));
    EXPECT_EQ(store->richText(middle.id), QByteArray("{\\rtf1 hi}"));
    EXPECT_FALSE(store->richText(older.id).has_value());
    EXPECT_EQ(snapshots->launchRequests, 1);
    // The thumbnail prewarm receives the files of the loaded items in list order.
    ASSERT_EQ(thumbnails->prewarmed.size(), 1);
    EXPECT_EQ(thumbnails->prewarmed.first(),
        (QList<ThumbnailSource>{
            {newest.id, VeskKind::File, *newest.filePath}, {older.id, VeskKind::Image, *older.filePath}}));
    EXPECT_TRUE(store->itemsLoaded());
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

TEST_F(StoreStartup, AnItemReadThatFailsPartWayLoadsNothing)
{
    QList<VeskItem> library;
    for (int i = 0; i < 200; ++i)
        library.append(makeItem(QStringLiteral("item %1").arg(i), 1'600'000'000 + i));
    seed(library);

    std::unique_ptr<VeskStore> store;
    {
        // Late enough that many rows have already been read.
        InterruptedStatement interrupted("ORDER BY created_at DESC", 40);
        store = makeStore();
        ASSERT_GE(InterruptedStatement::calls, 40);
    }
    EXPECT_EQ(logLines.join('\n').toStdString(), "Vesk SQLite load/migration error: stepFailed(\"interrupted\")");
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_TRUE(store->filteredItems().isEmpty());
    EXPECT_FALSE(store->itemsLoaded());
    // Said, not shown as a library holding only what the first page held; nothing is written on.
    ASSERT_TRUE(store->libraryProblem().has_value());
    EXPECT_EQ(store->libraryProblem()->kind, VeskLibraryProblem::Kind::Unreadable);
    EXPECT_EQ(StoreInternals::database(*store), nullptr);
    EXPECT_TRUE(store->searchReady());

    // The rows are all still there for the next start.
    store.reset();
    store = makeStore();
    EXPECT_EQ(store->items().size(), 200);
    EXPECT_TRUE(store->itemsLoaded());
}

TEST_F(StoreStartup, WithoutADatabaseStartsEmptyButStillLoadsTheUserDefaults)
{
    // A folder where the database file should be makes the open fail.
    ASSERT_TRUE(QDir().mkpath(databasePath()));
    const QUuid reminded = QUuid::createUuid();
    settings->setData(VeskStore::bringBackDefaultsKey,
                      QJsonDocument(QJsonObject{{reminded.toString(QUuid::WithoutBraces), 800'000'000.0}}).toJson());
    const QString key = uuidString(reminded);
    settings->setData(VeskStore::usageDefaultsKey,
                      QJsonDocument(QJsonObject{{key, QJsonObject{{"selectionCount", 3}, {"lastSelectedAt", 5.0}}}})
                          .toJson());
    settings->setData(VeskStore::manualTagsDefaultsKey,
                      QJsonDocument(QJsonObject{{key, QJsonArray{QStringLiteral("trip")}}}).toJson());

    auto store = makeStore();
    EXPECT_EQ(StoreInternals::database(*store), nullptr);
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(store->itemsLoaded());
    EXPECT_TRUE(store->filteredItems().isEmpty());
    EXPECT_EQ(countLines(QStringLiteral("Vesk database open error for ") + databasePath() + ": openFailed(\""), 1);
    EXPECT_EQ(countLines(QStringLiteral("Vesk database unavailable.")), 1);
    EXPECT_EQ(logLines.size(), 2);
    // A snapshot of a library that cannot be read would only push good ones out.
    EXPECT_EQ(snapshots->launchRequests, 0);
    // 800,000,000 s after 1 January 2001.
    EXPECT_EQ(store->bringBackDates().value(reminded), QDateTime::fromSecsSinceEpoch(1'778'307'200, Qt::UTC));
    EXPECT_EQ(StoreInternals::searchState(*store).usageSignals.value(key).selectionCount, 3);
    EXPECT_EQ(StoreInternals::searchState(*store).manualTagsByID.value(key), QStringList{"trip"});

    // Saves then touch memory only, and still count as changes.
    EXPECT_FALSE(store->saveItemToDatabase(makeItem(QStringLiteral("loose"), 1)));
    EXPECT_EQ(snapshots->changes, 1);
}

TEST_F(StoreStartup, FileItemsWithImageExtensionsBecomeImageItemsAndAreSaved)
{
    const VeskItem photo = makeItem(QStringLiteral("photo"), 3, VeskKind::File, QStringLiteral("/somewhere/IMG_1.JPG"));
    const VeskItem pdf = makeItem(QStringLiteral("pdf"), 2, VeskKind::File, QStringLiteral("/somewhere/doc.pdf"));
    const VeskItem pathless = makeItem(QStringLiteral("pathless"), 1, VeskKind::File);
    const VeskItem textNamedPng = makeItem(QStringLiteral("text"), 0, VeskKind::Text, QStringLiteral("/x/a.png"));
    seed({photo, pdf, pathless, textNamedPng});

    auto store = makeStore();
    ASSERT_EQ(store->items().size(), 4);
    EXPECT_EQ(store->items()[0].kind, VeskKind::Image);
    EXPECT_EQ(store->items()[1].kind, VeskKind::File);
    EXPECT_EQ(store->items()[2].kind, VeskKind::File);
    EXPECT_EQ(store->items()[3].kind, VeskKind::Text);
    EXPECT_EQ(snapshots->changes, 1);

    const QList<VeskItem> stored = storedItems();
    EXPECT_EQ(stored[0].id, photo.id);
    EXPECT_EQ(stored[0].kind, VeskKind::Image);
    EXPECT_EQ(stored[1].kind, VeskKind::File);

    // Nothing is left to change at the next start.
    store.reset();
    snapshots->changes = 0;
    store = makeStore();
    EXPECT_EQ(snapshots->changes, 0);
}

TEST_F(StoreStartup, BringBackDatesKeepOnlyIdentifierKeysAndIgnoreBadData)
{
    const QString lower = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    VeskItem reminded = makeItem(QStringLiteral("reminded"), 1);
    reminded.id = QUuid::fromString(lower);
    seed({reminded});
    // 1,000,000,000 s after 1 January 2001: still ahead, so delivery leaves it in place.
    settings->setData(VeskStore::bringBackDefaultsKey,
                      QJsonDocument(QJsonObject{{lower, 1e9}, {QStringLiteral("not-an-id"), 5.0}}).toJson());
    {
        auto store = makeStore();
        ASSERT_EQ(store->bringBackDates().size(), 1);
        EXPECT_EQ(store->bringBackDates().value(reminded.id),
                  QDateTime(QDate(2032, 9, 9), QTime(1, 46, 40), Qt::UTC));
    }
    for (const QByteArray& bad : {QByteArray("{not json"), QByteArray("[1,2]"),
                                  QByteArray("{\"") + lower.toUtf8() + QByteArray("\": \"soon\"}")}) {
        settings->setData(VeskStore::bringBackDefaultsKey, bad);
        auto store = makeStore();
        EXPECT_TRUE(store->bringBackDates().isEmpty()) << bad.constData();
    }
    EXPECT_TRUE(logLines.isEmpty());
}

TEST_F(StoreStartup, AFailingLoaderIsLoggedOnceAndTheOthersStillRun)
{
    seed({makeItem(QStringLiteral("kept"), 10)});
    {
        // Person pools that cannot be read: a view lacking the pool columns.
        auto db = openDatabase();
        sqlite3* raw = db->nativeHandleForTesting();
        ASSERT_EQ(sqlite3_exec(raw,
                               "PRAGMA foreign_keys=OFF; DROP TABLE vesk_face_clusters; "
                               "CREATE VIEW vesk_face_clusters AS SELECT 'X' AS id;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    auto store = makeStore();
    EXPECT_EQ(countLines(QStringLiteral("Vesk face cache load error: prepareFailed(")), 1)
        << logLines.join('\n').toStdString();
    EXPECT_EQ(logLines.size(), 1);
    EXPECT_EQ(titles(store->items()), QStringList{"kept"});
    EXPECT_EQ(store->filteredItems().size(), 1);
}

TEST_F(StoreStartup, PublishedSettersIgnoreEqualValues)
{
    auto store = makeStore();
    QSignalSpy search(store.get(), &VeskStore::searchTextChanged);
    QSignalSpy selected(store.get(), &VeskStore::selectedIDChanged);
    QSignalSpy revision(store.get(), &VeskStore::faceDataRevisionChanged);

    store->setSearchText(QStringLiteral("tent"));
    store->setSearchText(QStringLiteral("tent"));
    const QUuid id = QUuid::createUuid();
    store->setSelectedID(id);
    store->setSelectedID(id);
    store->setFaceDataRevision(1);
    store->setFaceDataRevision(1);

    EXPECT_EQ(search.count(), 1);
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(revision.count(), 1);
}

// A library larger than the first page: the newest items are shown at once, the rest is read and
// the search index built on workers. Whatever happens meanwhile ends as if it had happened after.
TEST_F(StoreStartup, ALargeLibraryShowsItsNewestItemsAtOnceAndAnswersWhatHappensMeanwhile)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 60; ++i) {
        VeskItem item = makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60);
        // Only items beyond the first page, the oldest, mention zebras.
        if (i < 30)
            item.searchableText = item.searchableText.toString() + QStringLiteral(" zebra");
        library.append(item);
    }
    seed(library);

    auto store = makeStore(true, false);
    EXPECT_FALSE(store->searchReady());
    EXPECT_FALSE(store->itemsLoaded());
    ASSERT_EQ(store->items().size(), VeskStore::firstPageSize);
    EXPECT_EQ(store->items().first().title, QStringLiteral("note %1").arg(library.size() - 1));
    EXPECT_EQ(store->filteredItems(), store->items());

    // Typed, captured and edited before the library is read: the search waits, the rest shows.
    store->setSearchText(QStringLiteral("zebra"));
    store->refreshFilteredItems(QStringLiteral("zebra"));
    EXPECT_TRUE(store->filteredItems().isEmpty());
    clock->advance(86'400LL * 365 * 10);
    store->addText(QStringLiteral("A zebra crossed the road"));
    VeskItem edited = store->items().at(5);
    edited.title = QStringLiteral("renamed meanwhile");
    ASSERT_TRUE(store->updateItem(edited));
    EXPECT_TRUE(store->filteredItems().isEmpty());

    QSignalSpy ready(store.get(), &VeskStore::searchReadyChanged);
    store->waitForStartup();
    EXPECT_EQ(ready.count(), 1);
    EXPECT_TRUE(store->searchReady());
    EXPECT_TRUE(store->itemsLoaded());
    ASSERT_EQ(store->items().size(), library.size() + 1);
    EXPECT_EQ(store->items().first().title, QStringLiteral("A zebra crossed the road"));
    EXPECT_EQ(store->items().count(edited), 1);

    // The answer is the one a store that had read everything before gives.
    auto settled = makeStore();
    settled->refreshFilteredItems(QStringLiteral("zebra"));
    EXPECT_EQ(store->filteredItems().size(), 31);
    EXPECT_EQ(store->filteredItems(), settled->filteredItems());
    EXPECT_EQ(store->retrievalHints(), settled->retrievalHints());

    // Clearing the search shows the whole library in its order, the note captured first.
    store->setSearchText(QString());
    store->refreshFilteredItems(QString());
    EXPECT_EQ(store->filteredItems(), defaultOrder(store->items(), {}));
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

// The meaning dictionary is read as start-up ends, and kept from then on: start-up is not over
// until it is read.
TEST_F(StoreStartup, EndsOnceTheMeaningDictionaryIsRead)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 10; ++i)
        library.append(makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60));
    seed(library);
    embeddings->holdPreparation = true;

    auto store = makeStore(true, false);
    QSignalSpy finished(store.get(), &VeskStore::startupFinished);
    ASSERT_TRUE(QTest::qWaitFor([&] { return embeddings->preparations == 1; }, 10'000));
    drainEvents();
    EXPECT_TRUE(store->searchReady());
    EXPECT_FALSE(store->startupIsFinished());
    EXPECT_EQ(finished.count(), 0);

    embeddings->finishPreparation();
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->startupIsFinished(); }, 10'000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(embeddings->preparations, 1);
}

// A start leaves the words it read in a file next to the database, and the next start takes them
// from there for every item that is as it was. The file never outweighs the database: an item
// changed since is found by its new words only, and a damaged or shortened file is read past.
// The thumbnail prewarm waits until search is ready.
TEST_F(StoreStartup, TheIndexFileSpeedsTheNextStartAndNeverOutweighsTheDatabase)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 40; ++i) {
        VeskItem item = makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60);
        item.searchableText = item.searchableText.toString() + (i % 3 == 0 ? QStringLiteral(" walrus") : QStringLiteral(" heron"));
        library.append(item);
    }
    seed(library);
    const QString indexFile = searchIndexFilePath(databasePath());
    {
        auto first = makeStore(true, false);
        first->waitForStartup();
    }
    ASSERT_TRUE(QFileInfo::exists(indexFile));
    QFile read(indexFile);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    const QByteArray written = read.readAll();
    read.close();

    const VeskItem& oldest = library.first();
    const qsizetype walruses = (library.size() + 2) / 3;
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"as written", [] {}},
        {"an item changed in the database since",
            [&] {
                VeskItem changed = oldest;
                changed.searchableText = QStringLiteral("now about a pelican");
                seed({changed});
            }},
        {"damaged", [&] {
             QByteArray bytes = written;
             bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x55);
             QFile file(indexFile);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(bytes);
         }},
        {"cut short", [&] {
             QFile file(indexFile);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(written.left(written.size() / 3));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        seed(library);
        {
            QFile file(indexFile);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(written);
        }
        c.change();
        thumbnails->prewarmed.clear();
        auto store = makeStore(true, false);
        QObject::connect(store.get(), &VeskStore::searchReadyChanged, store.get(),
            [&] { EXPECT_TRUE(thumbnails->prewarmed.isEmpty()); });
        store->waitForStartup();
        ASSERT_TRUE(store->searchReady());
        EXPECT_EQ(thumbnails->prewarmed.size(), 1);

        // The answers are those of a store that read every item itself.
        QFile::remove(indexFile);
        auto settled = makeStore();
        for (const QString& query : {QStringLiteral("walrus"), QStringLiteral("heron"), QStringLiteral("pelican"), QStringLiteral("wal")}) {
            store->refreshFilteredItems(query);
            settled->refreshFilteredItems(query);
            EXPECT_EQ(store->filteredItems(), settled->filteredItems()) << query.toStdString();
        }
        const bool changed = std::string_view(c.name) == "an item changed in the database since";
        store->refreshFilteredItems(QStringLiteral("pelican"));
        EXPECT_EQ(store->filteredItems().size(), changed ? 1 : 0);
        store->refreshFilteredItems(QStringLiteral("walrus"));
        EXPECT_EQ(store->filteredItems().size(), changed ? walruses - 1 : walruses);
    }
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join('\n').toStdString();
}

// A window holds the reading until its first frame is drawn; a window that never draws must
// not keep the library unread.
TEST_F(StoreStartup, AHeldReadingStartsWhenReleasedOrBySelfAfterAWhile)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 20; ++i)
        library.append(makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60));
    seed(library);

    for (const bool released : {true, false}) {
        auto store = makeStore(true, false);
        store->holdStartupReading();
        QSignalSpy ready(store.get(), &VeskStore::searchReadyChanged);
        // Turns of the event loop while held read nothing more.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(store->itemsLoaded()) << released;
        EXPECT_EQ(store->items().size(), VeskStore::firstPageSize);
        if (released)
            store->releaseStartupReading();
        EXPECT_TRUE(ready.wait(vesk::test::realWaitMs(released ? 5000 : 8000))) << released;
        EXPECT_TRUE(store->itemsLoaded());
        EXPECT_EQ(store->items().size(), library.size());
        // A release after the reading began changes nothing.
        store->releaseStartupReading();
        store->waitForStartup();
        EXPECT_EQ(store->items().size(), library.size());
    }
}

TEST_F(StoreStartup, ANearDuplicateIsFoundAmongItemsReadInTheBackground)
{
    const QString text = QStringLiteral("Packing list for the mountain hike: boots, map, compass, water bottle, "
                                        "rain jacket, snacks and the small first aid kit.");
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 10; ++i)
        library.append(makeItem(QStringLiteral("filler %1").arg(i), 1'600'000'000 + 1000 + i));
    VeskItem old = makeItem(QStringLiteral("Packing list"), 1'600'000'000);
    old.text = text;
    old.searchableText = text;
    library.append(old);
    seed(library);

    auto store = makeStore();
    store->addText(text + QStringLiteral(" Also a hat."));
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Looks familiar"));
    EXPECT_EQ(store->intakeNotice()->relatedID, old.id);
}

// Start-up builds its indexes and prewarms the thumbnails over the whole library while the window
// takes captures: a capture meanwhile goes in front of the library's list where it lies, as a
// share of the list held by a build or a prewarm would make it copy every other item first. The
// indexes built still know the capture; the prewarm gathers the files as they were when asked.
TEST_F(StoreStartup, ACaptureWhileStartUpBuildsAndPrewarmsCopiesNoOtherItem)
{
    QList<VeskItem> library;
    for (int i = 0; i < VeskStore::firstPageSize + 40; ++i) {
        library.append(i % 10 == 0
                ? makeItem(QStringLiteral("picture %1").arg(i), 1'600'000'000 + i * 60, VeskKind::Image,
                      QStringLiteral("/elsewhere/picture-%1.png").arg(i))
                : makeItem(QStringLiteral("note %1").arg(i), 1'600'000'000 + i * 60));
    }
    seed(library);
    thumbnails->holdPrewarm = true;
    const QString text = QStringLiteral("Packing list for the mountain hike: boots, map, compass, water bottle, "
                                        "rain jacket, snacks and the small first aid kit.");

    auto store = makeStore(true, false);
    // The builds queue behind a job that waits until the capture is made.
    std::promise<void> captured;
    QObject::connect(store.get(), &VeskStore::libraryLoaded, store.get(),
        [&, done = captured.get_future().share()] {
            StoreInternals::startupWorker(*store).run([done] { done.wait(); });
        },
        Qt::SingleShotConnection);
    QSignalSpy loaded(store.get(), &VeskStore::libraryLoaded);
    ASSERT_TRUE(loaded.wait(5000));
    const VeskItem* front = store->items().constData();
    store->addText(text);
    EXPECT_EQ(store->items().constData(), front - 1);
    const QUuid captureID = store->items().constFirst().id;
    captured.set_value();
    store->waitForStartup();

    ASSERT_EQ(thumbnails->heldPrewarms.size(), 1);
    front = store->items().constData();
    clock->advance(60);
    store->addText(QStringLiteral("Another note"));
    EXPECT_EQ(store->items().constData(), front - 1);
    QList<ThumbnailSource> files;
    for (const VeskItem& item : std::as_const(library)) {
        if (item.kind == VeskKind::Image)
            files.prepend(*thumbnailSourceOf(item));
    }
    EXPECT_EQ(thumbnails->heldPrewarms.first()(), files);

    store->refreshFilteredItems(QStringLiteral("compass"));
    EXPECT_EQ(titles(store->filteredItems()), QStringList{store->items().at(1).title});
    store->addText(text + QStringLiteral(" Also a hat."));
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Looks familiar"));
    EXPECT_EQ(store->intakeNotice()->relatedID, captureID);
}

// What the worker read is brought up to what happened on screen meanwhile: a capture that may or
// may not have reached the read, an edit and a deletion among the first page.
TEST_F(StoreStartup, TheLibraryReadIsMergedWithWhatChangedMeanwhile)
{
    QList<VeskItem> read;
    for (int i = 0; i < 8; ++i)
        read.append(makeItem(QStringLiteral("item %1").arg(i), 1'600'000'000 - i));
    const QList<VeskItem> firstPage = read.mid(0, 3);
    VeskItem captured = makeItem(QStringLiteral("captured"), 1'700'000'000);
    VeskItem edited = read[0];
    edited.title = QStringLiteral("edited");
    const QList<VeskItem> current{captured, edited, read[2]};

    QList<VeskItem> expected{captured, edited};
    expected.append(read.mid(2));
    for (const bool captureWasRead : {false, true}) {
        QList<VeskItem> fromDisk = read;
        if (captureWasRead)
            fromDisk.prepend(captured);
        const LoadedItemsMerge merge = mergeLoadedItems(fromDisk, firstPage, current);
        EXPECT_EQ(merge.items, expected) << captureWasRead;
        EXPECT_EQ(merge.added, QList<VeskItem>{captured});
        EXPECT_EQ(merge.changed, QList<VeskItem>{edited});
        EXPECT_EQ(merge.removed, QList<QUuid>{read[1].id});
    }

    // Nothing happened: the list read is the library.
    const LoadedItemsMerge unchanged = mergeLoadedItems(read, firstPage, firstPage);
    EXPECT_EQ(unchanged.items, read);
    EXPECT_TRUE(unchanged.added.isEmpty() && unchanged.changed.isEmpty() && unchanged.removed.isEmpty());
}
