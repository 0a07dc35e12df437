#include "DatabaseTestSupport.h"

#include "store/DatabaseError.h"
#include "model/VectorBlob.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>
#include <cstring>
#include <thread>

using namespace vesk;
using namespace vesk::test;

namespace {

const QStringList kTables{"vesk_face_analysis", "vesk_face_clusters", "vesk_face_ignores", "vesk_face_rejections",
                          "vesk_faces",         "vesk_groups",        "vesk_relationships", "vesks"};
const QStringList kIndexes{"idx_vesk_face_rejections_cluster_id", "idx_vesk_faces_cluster_id",
                           "idx_vesk_faces_vesk_id", "idx_vesk_groups_name", "idx_vesks_created_at",
                           "idx_vesks_kind"};

// The items table as files made before rich text, groups and derived items were stored.
constexpr const char* kLegacyItemsTable =
    "CREATE TABLE vesks (id TEXT PRIMARY KEY NOT NULL, title TEXT NOT NULL, kind TEXT NOT NULL, "
    "created_at REAL NOT NULL, modified_at REAL NOT NULL, text_content TEXT, url_string TEXT, "
    "file_path TEXT, searchable_text TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '', "
    "ocr_text TEXT, metadata_json TEXT, visual_description TEXT, embedding_model TEXT, embedding_blob BLOB);";

struct ProgressBudget {
    int calls = 0;
    int interruptAt = 0; // 0: only count
};

int countingProgress(void* context)
{
    auto* budget = static_cast<ProgressBudget*>(context);
    ++budget->calls;
    return budget->interruptAt > 0 && budget->calls >= budget->interruptAt ? 1 : 0;
}

} // namespace

TEST(DatabaseSchema, FreshFolderGetsFileTablesIndexesAndWal)
{
    const QString path = freshDatabasePath();
    ASSERT_FALSE(QFileInfo::exists(QFileInfo(path).absolutePath()));
    auto db = openOrFail(path);
    ASSERT_TRUE(db);
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(db->filePath(), path);

    RawConnection raw(path);
    EXPECT_EQ(raw.column("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;"), kTables);
    EXPECT_EQ(raw.column("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE 'idx_%' ORDER BY name;"),
              kIndexes);
    EXPECT_EQ(raw.value("PRAGMA journal_mode;"), QStringLiteral("wal"));
    EXPECT_EQ(raw.column("SELECT name FROM pragma_table_info('vesks');").mid(15),
              (QStringList{"embedding_model", "embedding_blob", "rich_text_rtf"}));
}

TEST(DatabaseSchema, DefaultFileLivesInTheDataFolder)
{
    EXPECT_EQ(SQLiteDatabase::defaultFilePath(), QDir(qEnvironmentVariable("VESK_DATA_DIR")).filePath("vesk.sqlite3"));
}

TEST(DatabaseSchema, LegacyItemsTableGainsMissingColumnsExactlyOnce)
{
    const QString path = freshDatabasePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        RawConnection raw(path);
        raw.exec(kLegacyItemsTable);
        raw.exec("INSERT INTO vesks (id, title, kind, created_at, modified_at, searchable_text, note) VALUES "
                 "('AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE', 'Old note', 'text', 1600000000, 1600000000, 'old', '');");
    }
    const QUuid groupID = QUuid::createUuid();
    {
        auto db = openOrFail(path);
        ASSERT_TRUE(db);
        auto items = db->fetchItems();
        ASSERT_TRUE(items);
        ASSERT_EQ(items->size(), 1);
        EXPECT_EQ(items->front().title, QStringLiteral("Old note"));
        EXPECT_FALSE(items->front().groupID.has_value());

        VeskItem grouped = items->front();
        grouped.groupID = groupID;
        ASSERT_TRUE(db->upsertItem(grouped));
    }
    const QStringList migrated = RawConnection(path).column("SELECT name FROM pragma_table_info('vesks');");
    ASSERT_EQ(migrated.size(), 18);
    EXPECT_EQ(migrated.mid(15), (QStringList{"rich_text_rtf", "group_id", "source_item_id"}));

    auto again = openOrFail(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(RawConnection(path).column("SELECT name FROM pragma_table_info('vesks');"), migrated);
    auto items = again->fetchItems();
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1);
    EXPECT_EQ(items->front().groupID, groupID);
}

TEST(DatabaseSchema, EnsureColumnRefusesNamesThatAreNotPlainIdentifiers)
{
    auto db = openOrFail(freshDatabasePath());
    ASSERT_TRUE(db);
    auto refused = db->ensureColumn("vesks", "x TEXT; DROP TABLE vesks; --", "TEXT");
    ASSERT_FALSE(refused);
    EXPECT_TRUE(db->isEmpty().hasValue());
    EXPECT_TRUE(db->ensureColumn("vesk_groups", "colour", "TEXT"));
    EXPECT_TRUE(db->ensureColumn("vesk_groups", "colour", "TEXT"));
    EXPECT_EQ(RawConnection(db->filePath()).column("SELECT name FROM pragma_table_info('vesk_groups');").count("colour"), 1);
}

TEST(DatabaseOpen, FailuresReportTheirCase)
{
    // A folder where the file should be: SQLite cannot open it at all.
    auto folder = SQLiteDatabase::open(makeTempDirectory());
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().kind, DatabaseError::Kind::OpenFailed);
    EXPECT_TRUE(folder.error().description().startsWith("Could not open Vesk database: "));
    EXPECT_FALSE(folder.error().message.isEmpty());

    // A file that is not a database opens lazily and fails at the first PRAGMA.
    const QString garbage = makeTempDirectory() + "/vesk.sqlite3";
    QSaveFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
    ASSERT_TRUE(file.commit());
    auto notADatabase = SQLiteDatabase::open(garbage);
    ASSERT_FALSE(notADatabase);
    EXPECT_EQ(notADatabase.error().kind, DatabaseError::Kind::ExecuteFailed);
    EXPECT_EQ(notADatabase.error().message, QStringLiteral("file is not a database"));

    // A parent that is a file cannot become the data folder.
    const QString blocker = makeTempDirectory() + "/blocker";
    QSaveFile blockerFile(blocker);
    ASSERT_TRUE(blockerFile.open(QIODevice::WriteOnly));
    ASSERT_TRUE(blockerFile.commit());
    auto noFolder = SQLiteDatabase::open(blocker + "/Vesk/vesk.sqlite3");
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.error().kind, DatabaseError::Kind::OpenFailed);
}

TEST(DatabaseOpen, FailedOpensReleaseTheirConnections)
{
    const QString folder = makeTempDirectory();
    const QString garbage = makeTempDirectory() + "/vesk.sqlite3";
    {
        QSaveFile file(garbage);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
        ASSERT_TRUE(file.commit());
    }
    // Memory statistics can only be switched on while SQLite is shut down (no connection open).
    ASSERT_EQ(sqlite3_shutdown(), SQLITE_OK);
    const bool statistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 1) == SQLITE_OK;
    ASSERT_EQ(sqlite3_initialize(), SQLITE_OK);
    if (!statistics)
        GTEST_SKIP() << "this SQLite build keeps no memory statistics";
    // Warm up SQLite's one-time allocations before measuring.
    (void)SQLiteDatabase::open(folder);
    (void)SQLiteDatabase::open(garbage);
    const sqlite3_int64 before = sqlite3_memory_used();
    for (int i = 0; i < 25; ++i) {
        EXPECT_FALSE(SQLiteDatabase::open(folder).hasValue());
        EXPECT_FALSE(SQLiteDatabase::open(garbage).hasValue());
    }
    // A leaked connection holds tens of kilobytes; nothing may stay behind.
    EXPECT_EQ(sqlite3_memory_used(), before);
}

TEST(DatabaseTransactions, FailingStepRollsBackAndReportsTheFirstError)
{
    const QString path = freshDatabasePath();
    auto db = openOrFail(path);
    ASSERT_TRUE(db);
    RawConnection raw(path);
    raw.exec("CREATE TRIGGER refuse_bad BEFORE INSERT ON vesks WHEN NEW.title = 'bad' "
             "BEGIN SELECT RAISE(ABORT, 'refused by test'); END;");

    auto result = db->upsertItems({makeItem("good", 100), makeItem("bad", 200), makeItem("later", 300)});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), DatabaseError::stepFailed("refused by test"));
    EXPECT_EQ(raw.count("vesks"), 0);

    // The connection is usable afterwards: no transaction was left open.
    ASSERT_TRUE(db->upsertItems({makeItem("good", 100)}));
    EXPECT_EQ(raw.count("vesks"), 1);

    bool bodyRan = false;
    auto custom = db->runInTransaction([&]() -> SQLiteDatabase::VoidResult {
        bodyRan = true;
        if (auto done = db->upsertItem(makeItem("inside", 400)); !done)
            return done;
        return unexpected(DatabaseError::stepFailed("first"));
    });
    EXPECT_TRUE(bodyRan);
    ASSERT_FALSE(custom);
    EXPECT_EQ(custom.error().message, QStringLiteral("first"));
    EXPECT_EQ(raw.count("vesks"), 1);
}

TEST(DatabaseTransactions, BusyBeginRunsNothingWhileEmptyDeleteNeedsNoLock)
{
    const QString path = freshDatabasePath();
    auto db = openOrFail(path);
    ASSERT_TRUE(db);
    // Without waiting for the other writer: the busy timeout would only delay the same outcome.
    sqlite3_busy_timeout(db->nativeHandleForTesting(), 0);
    RawConnection writer(path);
    writer.exec("BEGIN IMMEDIATE;");

    bool bodyRan = false;
    auto blocked = db->runInTransaction([&]() -> SQLiteDatabase::VoidResult {
        bodyRan = true;
        return {};
    });
    ASSERT_FALSE(blocked);
    EXPECT_FALSE(bodyRan);
    EXPECT_EQ(blocked.error().kind, DatabaseError::Kind::ExecuteFailed);

    // An empty list still opens a transaction; an empty set of deletions touches nothing.
    EXPECT_FALSE(db->upsertItems({}).hasValue());
    EXPECT_TRUE(db->deleteItems({}).hasValue());

    writer.exec("COMMIT;");
    EXPECT_TRUE(db->upsertItems({}).hasValue());
}

// The system's file layer as SQLite's default, telling when the thread that made it first sleeps
// between two tries at a lock: the moment a write is known to be waiting for another connection.
class WaitSignallingFiles {
public:
    WaitSignallingFiles() : m_system(sqlite3_vfs_find(nullptr)), m_waiter(std::this_thread::get_id())
    {
        s_current = this;
        m_files = *m_system;
        m_files.zName = "vesk-test-wait-signalling";
        m_files.xSleep = [](sqlite3_vfs*, int microseconds) {
            WaitSignallingFiles& self = *s_current;
            if (std::this_thread::get_id() == self.m_waiter) {
                self.m_waiting = true;
                self.m_waiting.notify_all();
            }
            return self.m_system->xSleep(self.m_system, microseconds);
        };
        sqlite3_vfs_register(&m_files, 1);
    }
    ~WaitSignallingFiles()
    {
        sqlite3_vfs_register(m_system, 1);
        sqlite3_vfs_unregister(&m_files);
        s_current = nullptr;
    }
    WaitSignallingFiles(const WaitSignallingFiles&) = delete;
    WaitSignallingFiles& operator=(const WaitSignallingFiles&) = delete;

    void waitForAWait() { m_waiting.wait(false); }
    // Lets waitForAWait return even if no wait came.
    void stopWaiting()
    {
        m_waiting = true;
        m_waiting.notify_all();
    }

private:
    static inline WaitSignallingFiles* s_current = nullptr;
    sqlite3_vfs* m_system;
    sqlite3_vfs m_files{};
    std::thread::id m_waiter;
    std::atomic<bool> m_waiting{false};
};

TEST(DatabaseTransactions, AWriteMeetingAnotherConnectionsLockWaitsInsteadOfFailing)
{
    WaitSignallingFiles files;
    const QString path = freshDatabasePath();
    auto db = openOrFail(path);
    ASSERT_TRUE(db);
    // Another connection (a snapshot's reader, a second window) holds the write lock until the
    // write has met it and waits.
    RawConnection other(path);
    other.exec("BEGIN IMMEDIATE;");
    std::thread release([&] {
        files.waitForAWait();
        other.exec("COMMIT;");
    });
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = QStringLiteral("kept while another held the lock");
    item.createdAt = QDateTime::fromSecsSinceEpoch(1, Qt::UTC);
    const auto written = db->upsertItem(item);
    files.stopWaiting();
    release.join();
    EXPECT_TRUE(written.hasValue()) << written.error().logText().toStdString();

    // Every commit reaches the disk before it is acknowledged (FULL is 2).
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db->nativeHandleForTesting(), "PRAGMA synchronous;", -1, &statement, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 2);
    sqlite3_finalize(statement);
}

TEST(DatabaseReads, InterruptedReadIsAnErrorNotAPartialResult)
{
    const QString path = freshDatabasePath();
    auto db = openOrFail(path);
    ASSERT_TRUE(db);
    QList<VeskItem> items;
    for (int i = 0; i < 300; ++i)
        items.append(makeItem(QStringLiteral("Item %1").arg(i), 1'600'000'000 + i));
    ASSERT_TRUE(db->upsertItems(items));

    ProgressBudget budget;
    sqlite3_progress_handler(db->nativeHandleForTesting(), 10, countingProgress, &budget);
    auto complete = db->fetchItems();
    ASSERT_TRUE(complete);
    ASSERT_EQ(complete->size(), 300);
    const int fullReadCalls = budget.calls;
    ASSERT_GT(fullReadCalls, 20);

    // Stop the scan half-way, after many rows were already produced.
    budget = ProgressBudget{0, fullReadCalls / 2};
    auto partial = db->fetchItems();
    ASSERT_FALSE(partial);
    EXPECT_EQ(partial.error().kind, DatabaseError::Kind::StepFailed);
    EXPECT_EQ(partial.error().message, QStringLiteral("interrupted"));
    sqlite3_progress_handler(db->nativeHandleForTesting(), 0, nullptr, nullptr);
}

TEST(DatabaseReads, EveryReadReportsAFailedStep)
{
    auto db = openOrFail(freshDatabasePath());
    ASSERT_TRUE(db);
    ASSERT_TRUE(db->upsertItem(makeItem("one", 1)));
    ProgressBudget budget{0, 1};
    sqlite3_progress_handler(db->nativeHandleForTesting(), 1, countingProgress, &budget);

    EXPECT_FALSE(db->isEmpty().hasValue());
    EXPECT_FALSE(db->fetchItems().hasValue());
    EXPECT_FALSE(db->fetchGroups().hasValue());
    EXPECT_FALSE(db->fetchEmbeddings().hasValue());
    EXPECT_FALSE(db->fetchRichText().hasValue());
    EXPECT_FALSE(db->fetchFaces().hasValue());
    EXPECT_FALSE(db->fetchFaceClusters().hasValue());
    EXPECT_FALSE(db->fetchIgnoredFaceIDs().hasValue());
    EXPECT_FALSE(db->fetchFaceRejections().hasValue());
    EXPECT_FALSE(db->fetchFaceAnalyzedItemIDs().hasValue());
    sqlite3_progress_handler(db->nativeHandleForTesting(), 0, nullptr, nullptr);
    EXPECT_TRUE(db->fetchItems().hasValue());
}

TEST(DatabaseError, DescriptionsAndLogText)
{
    EXPECT_EQ(DatabaseError::openFailed("x").description(), QStringLiteral("Could not open Vesk database: x"));
    EXPECT_EQ(DatabaseError::prepareFailed("x").description(),
              QStringLiteral("Could not prepare Vesk database command: x"));
    EXPECT_EQ(DatabaseError::stepFailed("x").description(),
              QStringLiteral("Could not complete Vesk database command: x"));
    EXPECT_EQ(DatabaseError::executeFailed("x").description(),
              QStringLiteral("Could not execute Vesk database command: x"));

    EXPECT_EQ(DatabaseError::stepFailed("disk I/O error").logText(), QStringLiteral("stepFailed(\"disk I/O error\")"));
    EXPECT_EQ(DatabaseError::openFailed("").logText(), QStringLiteral("openFailed(\"\")"));
    // A message with quotes or line breaks still makes one unambiguous log line.
    EXPECT_EQ(DatabaseError::executeFailed("near \"x\":\nbad").logText(),
              QStringLiteral("executeFailed(\"near \\\"x\\\":\\nbad\")"));
}

TEST(VectorBlob, SinglePrecisionLittleEndianWithoutHeader)
{
    const QList<double> vector{1.0, -2.5, 0.1};
    const QByteArray blob = encodeVectorBlob(vector);
    ASSERT_EQ(blob.size(), 12);
    EXPECT_EQ(blob.left(4), QByteArray::fromHex("0000803f"));
    EXPECT_EQ(blob.mid(4, 4), QByteArray::fromHex("000020c0"));
    EXPECT_EQ(decodeVectorBlob(blob), (QList<double>{1.0, -2.5, double(0.1f)}));

    const QByteArray empty = encodeVectorBlob({});
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(decodeVectorBlob(empty).isEmpty());
    for (int trailing = 1; trailing <= 3; ++trailing)
        EXPECT_TRUE(decodeVectorBlob(QByteArray(trailing, '\x7f')).isEmpty());
    EXPECT_EQ(decodeVectorBlob(blob.left(6)), QList<double>{1.0});
    EXPECT_TRUE(decodeVectorBlob(nullptr, 8).isEmpty());
}
