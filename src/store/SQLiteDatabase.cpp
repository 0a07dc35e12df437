#include "store/SQLiteDatabase.h"

#include "platform/AppPaths.h"
#include "store/SQLiteStatement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <sqlite3.h>

#include <algorithm>

namespace vesk {

namespace {

constexpr int kBusyTimeoutMs = 5000;

// Tables and indexes in the order they are created. Every statement uses IF NOT EXISTS, so
// running the schema over an existing file changes nothing that is already there.
constexpr const char* kCreateItems =
    "CREATE TABLE IF NOT EXISTS vesks ("
    "id TEXT PRIMARY KEY NOT NULL, "
    "title TEXT NOT NULL, "
    "kind TEXT NOT NULL, "
    "created_at REAL NOT NULL, "
    "modified_at REAL NOT NULL, "
    "text_content TEXT, "
    "url_string TEXT, "
    "file_path TEXT, "
    "searchable_text TEXT NOT NULL DEFAULT '', "
    "note TEXT NOT NULL DEFAULT '', "
    "group_id TEXT, "
    "source_item_id TEXT, "
    "ocr_text TEXT, "
    "metadata_json TEXT, "
    "visual_description TEXT, "
    "embedding_model TEXT, "
    "embedding_blob BLOB, "
    "rich_text_rtf BLOB"
    ");";

constexpr const char* kCreateItemIndexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_vesks_created_at ON vesks(created_at DESC);",
    "CREATE INDEX IF NOT EXISTS idx_vesks_kind ON vesks(kind);",
};

constexpr const char* kCreateGroups[] = {
    "CREATE TABLE IF NOT EXISTS vesk_groups ("
    "id TEXT PRIMARY KEY NOT NULL, "
    "name TEXT NOT NULL, "
    "created_at REAL NOT NULL, "
    "modified_at REAL NOT NULL"
    ");",
    "CREATE INDEX IF NOT EXISTS idx_vesk_groups_name ON vesk_groups(name COLLATE NOCASE);",
};

constexpr const char* kCreateFaceTables[] = {
    "CREATE TABLE IF NOT EXISTS vesk_face_clusters ("
    "id TEXT PRIMARY KEY NOT NULL, "
    "name TEXT, "
    "created_at REAL NOT NULL, "
    "modified_at REAL NOT NULL"
    ");",

    "CREATE TABLE IF NOT EXISTS vesk_faces ("
    "id TEXT PRIMARY KEY NOT NULL, "
    "vesk_id TEXT NOT NULL, "
    "cluster_id TEXT, "
    "face_index INTEGER NOT NULL, "
    "x REAL NOT NULL, "
    "y REAL NOT NULL, "
    "width REAL NOT NULL, "
    "height REAL NOT NULL, "
    "confidence REAL NOT NULL DEFAULT 0, "
    "feature_model TEXT NOT NULL, "
    "feature_blob BLOB NOT NULL, "
    "created_at REAL NOT NULL, "
    "FOREIGN KEY(vesk_id) REFERENCES vesks(id) ON DELETE CASCADE, "
    "FOREIGN KEY(cluster_id) REFERENCES vesk_face_clusters(id) ON DELETE SET NULL"
    ");",
    "CREATE INDEX IF NOT EXISTS idx_vesk_faces_vesk_id ON vesk_faces(vesk_id);",
    "CREATE INDEX IF NOT EXISTS idx_vesk_faces_cluster_id ON vesk_faces(cluster_id);",

    "CREATE TABLE IF NOT EXISTS vesk_face_rejections ("
    "face_id TEXT NOT NULL, "
    "cluster_id TEXT NOT NULL, "
    "created_at REAL NOT NULL, "
    "PRIMARY KEY(face_id, cluster_id), "
    "FOREIGN KEY(face_id) REFERENCES vesk_faces(id) ON DELETE CASCADE, "
    "FOREIGN KEY(cluster_id) REFERENCES vesk_face_clusters(id) ON DELETE CASCADE"
    ");",
    "CREATE INDEX IF NOT EXISTS idx_vesk_face_rejections_cluster_id ON vesk_face_rejections(cluster_id);",

    "CREATE TABLE IF NOT EXISTS vesk_face_ignores ("
    "face_id TEXT PRIMARY KEY NOT NULL, "
    "created_at REAL NOT NULL, "
    "FOREIGN KEY(face_id) REFERENCES vesk_faces(id) ON DELETE CASCADE"
    ");",

    "CREATE TABLE IF NOT EXISTS vesk_face_analysis ("
    "vesk_id TEXT PRIMARY KEY NOT NULL, "
    "analyzed_at REAL NOT NULL, "
    "FOREIGN KEY(vesk_id) REFERENCES vesks(id) ON DELETE CASCADE"
    ");",

    "CREATE TABLE IF NOT EXISTS vesk_relationships ("
    "source_id TEXT NOT NULL, "
    "target_id TEXT NOT NULL, "
    "relation_type TEXT NOT NULL, "
    "strength REAL NOT NULL DEFAULT 0, "
    "created_at REAL NOT NULL, "
    "PRIMARY KEY(source_id, target_id, relation_type), "
    "FOREIGN KEY(source_id) REFERENCES vesks(id) ON DELETE CASCADE, "
    "FOREIGN KEY(target_id) REFERENCES vesks(id) ON DELETE CASCADE"
    ");",
};

// Columns that files made by earlier versions lack, in the order they were introduced.
struct ColumnMigration {
    const char* column;
    const char* type;
};
constexpr ColumnMigration kItemColumnMigrations[] = {
    {"rich_text_rtf", "BLOB"},
    {"group_id", "TEXT"},
    {"source_item_id", "TEXT"},
};

// Every column of the item table with the value a row of a file made before it existed holds
// for it, for reading such a file without extending it.
struct ItemColumn {
    const char* name;
    const char* absentValue;
};
constexpr ItemColumn kItemColumns[] = {
    {"id", "NULL"}, {"title", "''"}, {"kind", "NULL"}, {"created_at", "0"}, {"modified_at", "0"},
    {"text_content", "NULL"}, {"url_string", "NULL"}, {"file_path", "NULL"}, {"searchable_text", "''"},
    {"note", "''"}, {"group_id", "NULL"}, {"source_item_id", "NULL"}, {"ocr_text", "NULL"},
    {"metadata_json", "NULL"}, {"visual_description", "NULL"}, {"embedding_model", "NULL"},
    {"embedding_blob", "NULL"}, {"rich_text_rtf", "NULL"},
};

// Only plain identifiers ever reach the schema statements built from names; anything else
// would change the meaning of the statement text.
bool isPlainIdentifier(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                        || c == u'_';
        if (!ok)
            return false;
    }
    return !name.front().isDigit();
}

} // namespace

SQLiteDatabase::SQLiteDatabase(QString filePath) : m_filePath(std::move(filePath)) {}

SQLiteDatabase::~SQLiteDatabase()
{
    // Every statement is finalised by the call that prepared it, so the close cannot be
    // refused for outstanding statements; close_v2 still releases the handle if it would be.
    if (m_db)
        sqlite3_close_v2(m_db);
}

QString SQLiteDatabase::defaultFilePath()
{
    return QDir(AppPaths::dataDirectory()).filePath(QStringLiteral("vesk.sqlite3"));
}

Expected<std::unique_ptr<SQLiteDatabase>, DatabaseError> SQLiteDatabase::open(const QString& filePath)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!AppPaths::ensureDirectory(folder))
        return unexpected(DatabaseError::openFailed(QStringLiteral("could not create the folder ") + folder));

    std::unique_ptr<SQLiteDatabase> database(new SQLiteDatabase(filePath));
    sqlite3* handle = nullptr;
    const int result = sqlite3_open(QFile::encodeName(filePath).constData(), &handle);
    if (result != SQLITE_OK) {
        // SQLite usually hands back a handle even when the open fails; it holds the error text
        // and must be closed here, since nothing else will ever own it.
        const QString message = handle ? QString::fromUtf8(sqlite3_errmsg(handle))
                                       : QStringLiteral("Unknown SQLite error");
        if (handle)
            sqlite3_close_v2(handle);
        return unexpected(DatabaseError::openFailed(message));
    }
    database->m_db = handle;
    // The recovery snapshots read the file through a connection of their own; a write that meets
    // their read lock waits for it instead of failing with "database is locked".
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);

    // FULL: a commit is on the disk before the save is acknowledged, so a power cut loses nothing
    // the user was told is kept (NORMAL may drop the last commits of a WAL file).
    // secure_delete FAST: a deleted row's cells are still cleared where they lie, but the pages a
    // long text ran over are freed without being written over first; otherwise deleting a note of
    // 10 MB writes 10 MB of zeros through the log and back into the file while the window waits.
    // The recovery snapshot taken before every delete keeps the deleted rows anyway.
    for (const char* pragma : {"PRAGMA journal_mode=WAL;", "PRAGMA synchronous=FULL;", "PRAGMA foreign_keys=ON;",
             "PRAGMA secure_delete=FAST;"}) {
        if (auto done = database->execute(QString::fromLatin1(pragma)); !done)
            return unexpected(done.error());
    }
    if (auto done = database->createSchema(); !done)
        return unexpected(done.error());
    return database;
}

namespace {

// A read-only connection to the file, waiting for writers as the store's own connection does.
Expected<sqlite3*, DatabaseError> openReadOnlyHandle(const QString& filePath, int extraFlags = 0)
{
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(filePath).constData(), &handle,
                                       SQLITE_OPEN_READONLY | extraFlags, nullptr);
    if (result != SQLITE_OK) {
        const QString message = handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("Unknown SQLite error");
        sqlite3_close_v2(handle);
        return unexpected(DatabaseError::openFailed(message));
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    return handle;
}

} // namespace

Expected<bool, DatabaseError> SQLiteDatabase::fileHoldsItemTable(const QString& filePath)
{
    const auto opened = openReadOnlyHandle(filePath);
    if (!opened)
        return unexpected(opened.error());
    sqlite3* handle = *opened;
    Expected<bool, DatabaseError> holds = false;
    {
        auto statement = SQLiteStatement::prepare(handle, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'vesks';");
        if (!statement) {
            holds = unexpected(statement.error());
        } else {
            auto row = statement->stepRow();
            holds = row ? Expected<bool, DatabaseError>(*row) : unexpected(row.error());
        }
    }
    sqlite3_close_v2(handle);
    return holds;
}

Expected<std::unique_ptr<SQLiteDatabase>, DatabaseError> SQLiteDatabase::openForReading(const QString& filePath)
{
    auto opened = openReadOnlyHandle(filePath);
    if (!opened)
        return unexpected(opened.error());
    // A journalled library is read through a small shared-memory file beside it, which a full
    // disk or a read-only medium cannot take. When there is no journal left to read (the last
    // writer closed cleanly and moved every change into the file), the file alone is the whole
    // library and is read as unchanging; a journal that still holds changes is never skipped.
    if (sqlite3_exec(*opened, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = connectionErrorMessage(*opened);
        const int code = sqlite3_errcode(*opened);
        sqlite3_close_v2(*opened);
        const QFileInfo journal(filePath + QStringLiteral("-wal"));
        if ((code != SQLITE_CANTOPEN && code != SQLITE_IOERR && code != SQLITE_READONLY && code != SQLITE_FULL)
            || (journal.exists() && journal.size() > 0))
            return unexpected(DatabaseError::openFailed(message));
        QUrl uri = QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath());
        uri.setQuery(QStringLiteral("immutable=1"));
        opened = openReadOnlyHandle(uri.toString(QUrl::FullyEncoded), SQLITE_OPEN_URI);
        if (!opened)
            return unexpected(opened.error());
    }
    std::unique_ptr<SQLiteDatabase> database(new SQLiteDatabase(filePath));
    database->m_db = *opened;
    if (auto shown = database->showOlderSchemaAsCurrent(); !shown)
        return unexpected(shown.error());
    return database;
}

SQLiteDatabase::VoidResult SQLiteDatabase::showOlderSchemaAsCurrent()
{
    // A file made by an earlier version lacks newer columns and tables. Read-only, it cannot be
    // extended, so this connection shows it as the current schema: a temporary view of the item
    // table with each missing column at its default, and empty temporary tables for the missing
    // ones. They live in the connection's own memory; the file is not touched.
    const auto namesIn = [this](const char* sql, int column) -> Expected<QSet<QString>, DatabaseError> {
        auto statement = SQLiteStatement::prepare(m_db, sql);
        if (!statement)
            return unexpected(statement.error());
        QSet<QString> names;
        auto read = statement->forEachRow([&](const SQLiteStatement& row) { names.insert(row.text(column).value_or(QString())); });
        if (!read)
            return unexpected(read.error());
        return names;
    };
    const auto tableNames = namesIn("SELECT name FROM main.sqlite_master WHERE type IN ('table', 'view');", 0);
    if (!tableNames)
        return unexpected(tableNames.error());
    const QSet<QString>& tables = *tableNames;
    if (!tables.contains(QStringLiteral("vesks")))
        return {}; // no library in it: the reads say so
    const auto columnNames = namesIn("PRAGMA main.table_info(vesks);", 1);
    if (!columnNames)
        return unexpected(columnNames.error());
    const QSet<QString>& columns = *columnNames;
    QStringList statements;
    if (std::any_of(std::begin(kItemColumns), std::end(kItemColumns),
                    [&](const ItemColumn& c) { return !columns.contains(QString::fromLatin1(c.name)); })) {
        QStringList selected;
        for (const ItemColumn& c : kItemColumns) {
            const QString name = QString::fromLatin1(c.name);
            selected.append(columns.contains(name) ? name : QString::fromLatin1(c.absentValue) + QStringLiteral(" AS ") + name);
        }
        statements.append(QStringLiteral("CREATE TEMP VIEW vesks AS SELECT ") + selected.join(QStringLiteral(", "))
                          + QStringLiteral(" FROM main.vesks;"));
    }
    for (const char* create : kCreateGroups)
        statements.append(QString::fromLatin1(create));
    for (const char* create : kCreateFaceTables)
        statements.append(QString::fromLatin1(create));
    const QString createTable = QStringLiteral("CREATE TABLE IF NOT EXISTS ");
    bool anyTemporary = false;
    for (const QString& sql : std::as_const(statements)) {
        QString temporary = sql;
        if (sql.startsWith(createTable)) {
            const QString name = sql.mid(createTable.size()).section(QLatin1Char(' '), 0, 0);
            if (tables.contains(name))
                continue;
            temporary = QStringLiteral("CREATE TEMP TABLE ") + sql.mid(createTable.size());
        } else if (!sql.startsWith(QStringLiteral("CREATE TEMP VIEW"))) {
            continue; // indexes: nothing to look up in an empty table
        }
        if (!anyTemporary) {
            anyTemporary = true;
            if (auto done = execute(QStringLiteral("PRAGMA temp_store = MEMORY;")); !done)
                return done;
        }
        if (auto done = execute(temporary); !done)
            return done;
    }
    return {};
}

QString SQLiteDatabase::lastErrorMessage() const
{
    return connectionErrorMessage(m_db);
}

SQLiteDatabase::VoidResult SQLiteDatabase::execute(const QString& sql)
{
    if (!m_db)
        return unexpected(DatabaseError::executeFailed(lastErrorMessage()));
    char* errorText = nullptr;
    const int result = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &errorText);
    if (result != SQLITE_OK) {
        // The connection's message where it names the reason better than the statement's.
        const QString connectionMessage = lastErrorMessage();
        const QString message = !errorText || connectionMessage == QLatin1String("database or disk is full")
            ? connectionMessage
            : QString::fromUtf8(errorText);
        sqlite3_free(errorText);
        return unexpected(DatabaseError::executeFailed(message));
    }
    sqlite3_free(errorText);
    return {};
}

SQLiteDatabase::VoidResult SQLiteDatabase::createSchema()
{
    if (auto done = execute(QString::fromLatin1(kCreateItems)); !done)
        return done;
    for (const ColumnMigration& migration : kItemColumnMigrations) {
        if (auto done = ensureColumn(QStringLiteral("vesks"), QString::fromLatin1(migration.column),
                                     QString::fromLatin1(migration.type));
            !done)
            return done;
    }
    for (const char* sql : kCreateItemIndexes) {
        if (auto done = execute(QString::fromLatin1(sql)); !done)
            return done;
    }
    for (const char* sql : kCreateGroups) {
        if (auto done = execute(QString::fromLatin1(sql)); !done)
            return done;
    }
    for (const char* sql : kCreateFaceTables) {
        if (auto done = execute(QString::fromLatin1(sql)); !done)
            return done;
    }
    return {};
}

SQLiteDatabase::VoidResult SQLiteDatabase::ensureColumn(const QString& table, const QString& column,
                                                        const QString& type)
{
    if (!isPlainIdentifier(table) || !isPlainIdentifier(column) || !isPlainIdentifier(type))
        return unexpected(DatabaseError::prepareFailed(QStringLiteral("invalid table, column or type name")));

    auto statement = SQLiteStatement::prepare(m_db, ("PRAGMA table_info(" + table + ");").toUtf8().constData());
    if (!statement)
        return unexpected(statement.error());
    bool found = false;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        if (const std::optional<QString> name = row.text(1); name && *name == column)
            found = true;
    });
    if (!read)
        return read;
    if (found)
        return {};
    return execute("ALTER TABLE " + table + " ADD COLUMN " + column + " " + type + ";");
}

SQLiteDatabase::VoidResult SQLiteDatabase::runInTransaction(const std::function<VoidResult()>& body)
{
    if (auto begun = execute(QStringLiteral("BEGIN IMMEDIATE TRANSACTION;")); !begun)
        return begun;
    VoidResult outcome = body();
    if (outcome)
        outcome = execute(QStringLiteral("COMMIT;"));
    if (!outcome) {
        // The rollback's own failure would hide the error that matters.
        (void)execute(QStringLiteral("ROLLBACK;"));
    }
    return outcome;
}

namespace {

int stopWhenCancelled(void* token)
{
    return static_cast<const CancellationToken*>(token)->isCancelled() ? 1 : 0;
}

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR;
}

} // namespace

Expected<QStringList, DatabaseError> SQLiteDatabase::quickCheck(const CancellationToken& stop)
{
    if (!m_db)
        return unexpected(DatabaseError::executeFailed(QStringLiteral("SQLite database is unavailable.")));
    sqlite3_progress_handler(m_db, 1000, &stopWhenCancelled, const_cast<CancellationToken*>(&stop));
    QStringList findings;
    std::optional<DatabaseError> failed;
    int code = SQLITE_OK;
    {
        // The first few findings are enough to say what is wrong.
        auto statement = SQLiteStatement::prepare(m_db, "PRAGMA quick_check(10);");
        if (!statement) {
            failed = statement.error();
        } else {
            auto read = statement->forEachRow([&](const SQLiteStatement& row) {
                // The first finding names the database it was found in; there is only one here.
                QString finding = row.text(0).value_or(QString());
                finding.remove(QStringLiteral("*** in database main ***"));
                finding = finding.trimmed().replace(QLatin1Char('\n'), QStringLiteral("; "));
                if (finding != QLatin1String("ok"))
                    findings.append(finding);
            });
            if (!read)
                failed = read.error();
        }
        code = sqlite3_extended_errcode(m_db);
    }
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    if (failed) {
        // A file too damaged for the check to go on is itself what the check found.
        if (!isDamage(code))
            return unexpected(*failed);
        findings.append(failed->message);
    }
    return findings;
}

} // namespace vesk
