#include "store/FaultInjection.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <sqlite3.h>

namespace vesk::test {
namespace {

class StoreFaultTest : public StoreTest {
protected:
    static void exec(VeskStore& store, const char* sql)
    {
        ASSERT_EQ(sqlite3_exec(StoreInternals::database(store)->nativeHandleForTesting(), sql, nullptr, nullptr, nullptr), SQLITE_OK)
            << sql;
    }

    static VeskItem note(int i)
    {
        VeskItem item = makeItem(QStringLiteral("Note %1").arg(i), 1000 + i);
        item.text = QString(300, QLatin1Char('n'));
        item.searchableText = *item.text;
        return item;
    }

    // Null when the file system cannot make it unwritable.
    static std::shared_ptr<void> unwritable(const QString& path)
    {
        auto guard = std::make_shared<UnwritableGuard>(path);
        return guard->active() ? guard : nullptr;
    }

    // A note with a checklist, kept in the library in dataDir.
    QUuid writeChecklistNote()
    {
        auto store = makeStore();
        EXPECT_TRUE(store->commitNewItem(note(0)));
        const QUuid noteID = store->items().first().id;
        store->updateRichText(noteID, "{\\rtf1 \\u9744 ? milk}");
        return noteID;
    }

    // Opens the library again and ticks the note's checklist: the change is refused, for reason.
    void expectTickingRefused(const QUuid& noteID, const QString& reason)
    {
        auto store = makeStore();
        EXPECT_EQ(store->readOnlyReason(), std::optional<QString>(reason));
        store->updateRichText(noteID, "{\\rtf1 \\u9745 ? milk}");
        ASSERT_TRUE(store->failureNotice());
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Change not saved"));
        EXPECT_TRUE(store->failureNotice()->detail.endsWith(QStringLiteral(": ") + reason + QLatin1Char('.')))
            << store->failureNotice()->detail.toStdString();
    }

    QSet<QUuid> storedIDs() const
    {
        QSet<QUuid> ids;
        for (const VeskItem& item : storedItems())
            ids.insert(item.id);
        return ids;
    }
};

TEST_F(StoreFaultTest, OnAFullDiskNoNoteLooksSavedAndEachIsWrittenOnceThereIsRoom)
{
    auto store = makeStore();
    // The disk fills up a few pages from here.
    exec(*store, "PRAGMA max_page_count = 12;");
    QSet<QUuid> acknowledged;
    QSet<QUuid> refused;
    for (int i = 0; i < 60; ++i) {
        const VeskItem item = note(i);
        (store->commitNewItem(item) ? acknowledged : refused).insert(item.id);
    }
    ASSERT_FALSE(refused.isEmpty());
    ASSERT_FALSE(acknowledged.isEmpty());
    EXPECT_EQ(store->items().size(), 60) << "every note stays on screen";
    EXPECT_EQ(store->unsavedItemIDs(), refused) << "and exactly the unwritten ones are marked";
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not saved"));
    EXPECT_EQ(store->failureNotice()->count, refused.size());
    EXPECT_TRUE(store->failureNotice()->detail.contains(QStringLiteral("the disk is full")))
        << store->failureNotice()->detail.toStdString();
    EXPECT_EQ(storedIDs(), acknowledged) << "what was acknowledged is on disk, and nothing else";

    // Room again: the next successful write brings the rest in, and the notice goes.
    exec(*store, "PRAGMA max_page_count = 1073741823;");
    QSignalSpy unsavedChanges(store.get(), &VeskStore::unsavedItemIDsChanged);
    ASSERT_TRUE(store->commitNewItem(note(60)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->unsavedItemIDs().isEmpty(); }, 2000));
    EXPECT_FALSE(store->failureNotice());
    store.reset();
    EXPECT_EQ(storedIDs().size(), 61);
}

TEST_F(StoreFaultTest, UnsavedItemsAreTriedAgainAtTheSlowIntervalAndEditsAreKeptToo)
{
    VeskServices s = services();
    s.unsavedRetryIntervalMs = 30;
    const VeskItem kept = note(0);
    seed({kept});
    auto store = std::make_unique<VeskStore>(s);
    failItemSaves(*store, true);

    VeskItem renamed = kept;
    renamed.title = QStringLiteral("renamed while the disk refused");
    EXPECT_FALSE(store->updateItem(renamed));
    EXPECT_TRUE(store->unsavedItemIDs().contains(kept.id));
    // Still refused: the retries change nothing and add no notice.
    timers->advance(s.unsavedRetryIntervalMs * 3);
    EXPECT_EQ(store->failureNotice()->count, 1);
    EXPECT_EQ(countLines(QStringLiteral("Vesk SQLite save error: ")), 1);

    failItemSaves(*store, false);
    timers->advance(s.unsavedRetryIntervalMs);
    EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
    EXPECT_EQ(storedItems().first().title, renamed.title);
}

TEST_F(StoreFaultTest, ALibraryThatTakesNoWritesOpensForReadingAndRefusesEveryChangeWithItsReason)
{
    const struct {
        const char* name;
        std::function<std::shared_ptr<void>()> fault;
        QString reason;
    } cases[] = {
        {"full disk", [] { return std::make_shared<FileSizeLimit>(1); }, QStringLiteral("the disk is full")},
        {"read-only folder", [this] { return unwritable(dataDir); }, QStringLiteral("the library folder is read-only")},
        {"read-only library file", [this] { return unwritable(databasePath()); },
         QStringLiteral("the library file is read-only")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            auto store = makeStore();
            store->selectItems(store->items());
            store->deleteItems();
            drainWrites(*store);
            for (int i = 0; i < 2; ++i)
                ASSERT_TRUE(store->commitNewItem(note(i)));
        }
        const QSet<QUuid> before = storedIDs();
        std::shared_ptr<void> fault = c.fault();
        if (!fault)
            GTEST_SKIP() << "this file system cannot make a file unwritable";

        auto store = makeStore();
        EXPECT_FALSE(store->libraryProblem());
        EXPECT_EQ(store->readOnlyReason(), std::optional<QString>(c.reason));
        EXPECT_EQ(store->items().size(), 2) << "what the library holds can be read";

        const struct {
            std::function<void()> change;
            QString title;
            QString what;
        } changes[] = {
            {[&] { EXPECT_FALSE(store->commitNewItem(note(9))); }, QStringLiteral("Not kept"),
             QStringLiteral("\u201CNote 9\u201D was not kept")},
            {[&] {
                 VeskItem renamed = store->items().first();
                 renamed.title = QStringLiteral("renamed");
                 EXPECT_FALSE(store->updateItem(renamed));
             },
             QStringLiteral("Not changed"), QStringLiteral("\u201CNote 1\u201D was not changed")},
            {[&] {
                 store->selectItems(store->items());
                 store->deleteItems();
             },
             QStringLiteral("Not deleted"), QStringLiteral("The 2 items were not deleted")},
            {[&] { EXPECT_FALSE(store->createGroup(QStringLiteral("Trips"))); }, QStringLiteral("Group not created"),
             QStringLiteral("\u201CTrips\u201D was not created")},
            {[&] { EXPECT_FALSE(store->addManualTag(QStringLiteral("garden"), store->items().first())); },
             QStringLiteral("Tag not added"), QStringLiteral("The tag was not added")},
        };
        for (const auto& change : changes) {
            change.change();
            ASSERT_TRUE(store->failureNotice());
            EXPECT_EQ(store->failureNotice()->title, change.title);
            EXPECT_EQ(store->failureNotice()->detail.toStdString(), (change.what + QStringLiteral(": ") + c.reason + QLatin1Char('.')).toStdString());
            store->dismissFailureNotice();
        }
        EXPECT_EQ(titles(store->items()), (QStringList{"Note 1", "Note 0"}));
        EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
        store.reset();
        fault.reset();

        // Room again: a restart is enough, and nothing was lost or half-written meanwhile.
        EXPECT_EQ(storedIDs(), before);
        store = makeStore();
        EXPECT_FALSE(store->readOnlyReason());
        EXPECT_TRUE(store->commitNewItem(note(3)));
    }
}

// A library on a disk mounted read-only says so in every refusal, those SQLite makes included (a
// checklist ticked in a note); "the library file is read-only" is kept for a file that takes no
// writes on a disk that does.
TEST_F(StoreFaultTest, AReadOnlyDiskIsToldFromAReadOnlyLibraryFile)
{
    dataDir = makeTempDirectory(QStringLiteral("disk"));
    SmallDisk disk(dataDir, "size=16m");
    if (!disk.active())
        GTEST_SKIP() << disk.whyNotActive();
    const QUuid noteID = writeChecklistNote();
    ASSERT_TRUE(disk.setReadOnly(true));
    expectTickingRefused(noteID, QStringLiteral("the disk is read-only"));
}

TEST_F(StoreFaultTest, AReadOnlyLibraryFileOnAWritableDiskIsToldAsSuch)
{
    const QUuid noteID = writeChecklistNote();
    const std::shared_ptr<void> fault = unwritable(databasePath());
    if (!fault)
        GTEST_SKIP() << "this file system cannot make a file unwritable";
    expectTickingRefused(noteID, QStringLiteral("the library file is read-only"));
}

// A library made by an earlier version, before items had groups, sources and rich text (and
// before groups and faces had tables), opened where it cannot be extended.
TEST_F(StoreFaultTest, AnOlderLibraryThatCannotBeExtendedIsReadAsItIsAndLeftUnchanged)
{
    const struct {
        const char* name;
        std::function<std::shared_ptr<void>()> fault;
    } cases[] = {
        {"read-only folder", [this] { return unwritable(dataDir); }},
        {"read-only library file", [this] { return unwritable(databasePath()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(databasePath());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(databasePath()).constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                      "PRAGMA journal_mode=WAL;"
                      "CREATE TABLE vesks (id TEXT PRIMARY KEY NOT NULL, title TEXT NOT NULL, kind TEXT NOT NULL, "
                      "created_at REAL NOT NULL, modified_at REAL NOT NULL, text_content TEXT, url_string TEXT, "
                      "file_path TEXT, searchable_text TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '', "
                      "ocr_text TEXT, metadata_json TEXT, visual_description TEXT, embedding_model TEXT, "
                      "embedding_blob BLOB);"
                      "INSERT INTO vesks (id, title, kind, created_at, modified_at, text_content, searchable_text, note) "
                      "VALUES ('7D3C1A52-4C4B-4E0E-9E59-3B2C9A7E1F01', 'Old note', 'text', 1000, 1000, 'kept', 'kept', 'n'),"
                      "('7D3C1A52-4C4B-4E0E-9E59-3B2C9A7E1F02', 'Old link', 'url', 2000, 2000, NULL, 'x', '');",
                      nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        const QByteArray before = fileDigest(databasePath());
        std::shared_ptr<void> fault = c.fault();
        if (!fault)
            GTEST_SKIP() << "this file system cannot make a file unwritable";

        auto store = makeStore();
        EXPECT_FALSE(store->libraryProblem());
        EXPECT_TRUE(store->readOnlyReason());
        EXPECT_EQ(titles(store->items()), (QStringList{"Old link", "Old note"}));
        ASSERT_EQ(store->items().size(), 2);
        EXPECT_EQ(store->items()[1].note, QStringLiteral("n"));
        EXPECT_FALSE(store->items()[1].groupID);
        EXPECT_FALSE(store->items()[1].sourceItemID);
        EXPECT_TRUE(store->groups().isEmpty());
        EXPECT_TRUE(store->richTextByID().isEmpty());
        EXPECT_EQ(countLines(QStringLiteral("Vesk group load error: ")), 0) << logLines.join('\n').toStdString();
        EXPECT_EQ(countLines(QStringLiteral("Vesk face cache load error: ")), 0);
        store.reset();
        fault.reset();
        EXPECT_EQ(fileDigest(databasePath()), before) << "not upgraded";
        logLines.clear();
    }
}

TEST_F(StoreFaultTest, AJournalThatCannotBeReadOnAFullDiskIsSaidAndNothingIsWritten)
{
    // Changes still in the journal, and no room to make the shared-memory file that reads it.
    const QString wal = databasePath() + QStringLiteral("-wal");
    {
        auto store = makeStore();
        ASSERT_TRUE(store->commitNewItem(note(0)));
        ASSERT_TRUE(QFile::copy(wal, wal + QStringLiteral(".kept")));
    }
    QFile::remove(databasePath() + QStringLiteral("-shm"));
    QFile::remove(wal);
    ASSERT_TRUE(QFile::rename(wal + QStringLiteral(".kept"), wal));
    const QByteArray digest = fileDigest(databasePath());
    {
        FileSizeLimit full(1);
        auto store = makeStore();
        ASSERT_TRUE(store->libraryProblem());
        EXPECT_EQ(store->libraryProblem()->reason,
                  QStringLiteral("the disk is full, and the library cannot be opened until space is freed on it"));
        EXPECT_TRUE(store->items().isEmpty());
    }
    EXPECT_EQ(fileDigest(databasePath()), digest);
    auto store = makeStore();
    EXPECT_EQ(titles(store->items()), QStringList{"Note 0"}) << "the journal's change was kept for this start";
}

TEST_F(StoreFaultTest, ARichTextNoteIsWrittenWholeOrNotAtAll)
{
    auto store = makeStore();
    // The formatting cannot be written, the row could be: neither goes in.
    sqlite3_set_authorizer(
        StoreInternals::database(*store)->nativeHandleForTesting(),
        [](void*, int action, const char* table, const char* column, const char*, const char*) {
            const bool richText = action == SQLITE_UPDATE && table && column && std::string_view(table) == "vesks"
                && std::string_view(column) == "rich_text_rtf";
            return richText ? SQLITE_DENY : SQLITE_OK;
        },
        nullptr);
    store->addRichTextNote(QStringLiteral("Packing"), QStringLiteral("tent"), QByteArrayLiteral("{\\rtf1 {\\b tent}}"));
    ASSERT_EQ(store->items().size(), 1);
    const QUuid id = store->items().first().id;
    EXPECT_TRUE(storedItems().isEmpty()) << "no note without its formatting";
    EXPECT_TRUE(store->unsavedItemIDs().contains(id));

    sqlite3_set_authorizer(StoreInternals::database(*store)->nativeHandleForTesting(), nullptr, nullptr);
    EXPECT_EQ(store->retryUnsavedItems(), 0);
    store.reset();
    auto reopened = makeStore();
    EXPECT_EQ(reopened->richTextByID().value(id), QByteArrayLiteral("{\\rtf1 {\\b tent}}"));
}

TEST_F(StoreFaultTest, ASettingsFileThatCannotBeWrittenIsSaid)
{
    const QString folder = makeTempDirectory(QStringLiteral("config"));
    VeskServices s = services();
    auto ini = std::make_shared<IniSettings>(folder + QStringLiteral("/Vesk.conf"));
    s.settings = ini;
    seed({note(0)});
    auto store = std::make_unique<VeskStore>(s);
    ASSERT_TRUE(store->addManualTag(QStringLiteral("garden"), store->items().first()));
    ini->waitForWrites();
    QCoreApplication::processEvents();
    EXPECT_FALSE(store->failureNotice());

    UnwritableGuard locked(folder);
    if (!locked.active())
        GTEST_SKIP() << "this file system cannot make a folder unwritable";
    ASSERT_TRUE(store->addManualTag(QStringLiteral("shed"), store->items().first()));
    ini->waitForWrites();
    QCoreApplication::processEvents();
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Setting not kept"));
    EXPECT_TRUE(store->failureNotice()->detail.startsWith(QStringLiteral("Your tags could not be kept")));
    EXPECT_EQ(countLines(QStringLiteral("Vesk settings save error for ") + ini->filePath()), 1);
}

} // namespace
} // namespace vesk::test
