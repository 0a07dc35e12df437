#include "store/SQLiteStatement.h"

#include <cstring>

#include "platform/Uuid.h"
#include "model/VectorBlob.h"

#include <cmath>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace vesk {

double toStoredSeconds(const QDateTime& date)
{
    if (!date.isValid())
        return 0;
    return double(date.toMSecsSinceEpoch()) / 1000.0;
}

QDateTime fromStoredSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        return QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), Qt::UTC);
}

namespace {

// Whether the library's files cannot grow: the file system has next to no room left for this
// user, or the process may not write past the size its files already have.
bool noRoomToGrow(const char* databaseFile)
{
    if (!databaseFile || !*databaseFile)
        return false;
    struct statvfs volume {};
    if (::statvfs(databaseFile, &volume) == 0 && quint64(volume.f_bavail) * volume.f_frsize < (1u << 20))
        return true;
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    struct stat status {};
    for (const QByteArray& file : {QByteArray(databaseFile), QByteArray(databaseFile) + "-wal"}) {
        if (::stat(file.constData(), &status) == 0 && rlim_t(status.st_size) >= limit.rlim_cur)
            return true;
    }
    return limit.rlim_cur < (1u << 20);
}

} // namespace

QString connectionErrorMessage(sqlite3* db)
{
    if (!db)
        return QStringLiteral("SQLite database is unavailable.");
    // SQLite names a full disk only when the system said ENOSPC; a write refused for a quota or a
    // file-size limit comes back as a plain I/O error, which the user would take for a failing disk.
    const int code = sqlite3_extended_errcode(db);
    if ((code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_SHMSIZE || code == SQLITE_IOERR_TRUNCATE
         || code == SQLITE_IOERR_FSYNC)
        && noRoomToGrow(sqlite3_db_filename(db, "main")))
        return QStringLiteral("database or disk is full");
    return QString::fromUtf8(sqlite3_errmsg(db));
}

Expected<SQLiteStatement, DatabaseError> SQLiteStatement::prepare(sqlite3* db, const char* sql)
{
    if (!db)
        return unexpected(DatabaseError::prepareFailed(connectionErrorMessage(nullptr)));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        const QString message = connectionErrorMessage(db);
        sqlite3_finalize(statement);
        return unexpected(DatabaseError::prepareFailed(message));
    }
    return SQLiteStatement(db, statement);
}

SQLiteStatement::SQLiteStatement(SQLiteStatement&& other) noexcept
    : m_db(other.m_db), m_statement(other.m_statement)
{
    other.m_statement = nullptr;
}

SQLiteStatement::~SQLiteStatement()
{
    sqlite3_finalize(m_statement);
}

void SQLiteStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

void SQLiteStatement::bindUtf8(int index, const QByteArray& utf8)
{
    // Never a null pointer, which SQLite would store as NULL rather than as an empty text.
    sqlite3_bind_text64(m_statement, index, utf8.isNull() ? "" : utf8.constData(), sqlite3_uint64(utf8.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SQLiteStatement::bindText(int index, const QString& text)
{
    bindUtf8(index, text.toUtf8());
}

void SQLiteStatement::bindText(int index, const std::optional<QString>& text)
{
    if (text)
        bindText(index, *text);
    else
        bindNull(index);
}

void SQLiteStatement::bindText(int index, const ItemText& text)
{
    bindUtf8(index, text.utf8());
}

void SQLiteStatement::bindText(int index, const std::optional<ItemText>& text)
{
    if (text)
        bindText(index, *text);
    else
        bindNull(index);
}

void SQLiteStatement::bindUuid(int index, const QUuid& id)
{
    bindText(index, uuidString(id));
}

void SQLiteStatement::bindUuid(int index, const std::optional<QUuid>& id)
{
    if (id)
        bindUuid(index, *id);
    else
        bindNull(index);
}

void SQLiteStatement::bindDate(int index, const QDateTime& date)
{
    sqlite3_bind_double(m_statement, index, toStoredSeconds(date));
}

void SQLiteStatement::bindDouble(int index, double value)
{
    sqlite3_bind_double(m_statement, index, value);
}

void SQLiteStatement::bindInt64(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, sqlite3_int64(value));
}

void SQLiteStatement::bindBlob(int index, const QByteArray& bytes)
{
    // SQLite binds NULL for a null data pointer, so an empty array goes in as a zero-length blob.
    if (bytes.isEmpty())
        sqlite3_bind_zeroblob(m_statement, index, 0);
    else
        sqlite3_bind_blob64(m_statement, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                            SQLITE_TRANSIENT);
}

void SQLiteStatement::bindVector(int index, const QList<double>& vector)
{
    bindBlob(index, encodeVectorBlob(vector));
}

Expected<void, DatabaseError> SQLiteStatement::stepDone()
{
    if (sqlite3_step(m_statement) != SQLITE_DONE)
        return unexpected(DatabaseError::stepFailed(connectionErrorMessage(m_db)));
    return {};
}

Expected<bool, DatabaseError> SQLiteStatement::stepRow()
{
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW: return true;
    case SQLITE_DONE: return false;
    default: return unexpected(DatabaseError::stepFailed(connectionErrorMessage(m_db)));
    }
}

bool SQLiteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::optional<QString> SQLiteStatement::text(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (!chars)
        return std::nullopt;
    return QString::fromUtf8(chars, sqlite3_column_bytes(m_statement, column));
}

std::optional<ItemText> SQLiteStatement::itemText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (!chars)
        return std::nullopt;
    return ItemText::fromUtf8(chars, sqlite3_column_bytes(m_statement, column));
}

bool SQLiteStatement::sameText(int first, int second) const
{
    if (isNull(first) || isNull(second))
        return isNull(first) && isNull(second);
    const auto* a = sqlite3_column_text(m_statement, first);
    const int aSize = sqlite3_column_bytes(m_statement, first);
    const auto* b = sqlite3_column_text(m_statement, second);
    const int bSize = sqlite3_column_bytes(m_statement, second);
    return a && b && aSize == bSize && std::memcmp(a, b, size_t(aSize)) == 0;
}

std::optional<QUuid> SQLiteStatement::uuid(int column) const
{
    const std::optional<QString> raw = text(column);
    if (!raw)
        return std::nullopt;
    return parseUuid(*raw);
}

double SQLiteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

qint64 SQLiteStatement::int64(int column) const
{
    return qint64(sqlite3_column_int64(m_statement, column));
}

QDateTime SQLiteStatement::date(int column) const
{
    return fromStoredSeconds(real(column));
}

QByteArray SQLiteStatement::blob(int column) const
{
    const void* bytes = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    if (!bytes || size <= 0)
        return QByteArray();
    return QByteArray(static_cast<const char*>(bytes), size);
}

QList<double> SQLiteStatement::vector(int column) const
{
    const void* bytes = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return decodeVectorBlob(bytes, size);
}

} // namespace vesk
