#pragma once

// Internal to the SQLiteDatabase*.cpp files: one prepared statement, finalised when it goes out
// of scope, with the value encodings every statement of the library database shares.

#include "model/ItemText.h"
#include "platform/Expected.h"
#include "store/DatabaseError.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <sqlite3.h>

namespace vesk {

// Seconds since 1970 as stored in REAL columns, and back.
double toStoredSeconds(const QDateTime& date);
QDateTime fromStoredSeconds(double seconds);

QString connectionErrorMessage(sqlite3* db);

class SQLiteStatement {
public:
    // prepareFailed with the connection's message when SQLite rejects the text.
    static Expected<SQLiteStatement, DatabaseError> prepare(sqlite3* db, const char* sql);

    SQLiteStatement(SQLiteStatement&& other) noexcept;
    SQLiteStatement& operator=(SQLiteStatement&&) = delete;
    SQLiteStatement(const SQLiteStatement&) = delete;
    ~SQLiteStatement();

    // Binding results are not checked: the parameter positions are fixed by the statement texts.
    void bindNull(int index);
    void bindText(int index, const QString& text);
    void bindText(int index, const std::optional<QString>& text);
    // The text's UTF-8 bytes as they are: no encoding step.
    void bindText(int index, const ItemText& text);
    void bindText(int index, const std::optional<ItemText>& text);
    void bindUuid(int index, const QUuid& id);
    void bindUuid(int index, const std::optional<QUuid>& id);
    void bindDate(int index, const QDateTime& date);
    void bindDouble(int index, double value);
    void bindInt64(int index, qint64 value);
    // Always binds a blob, a zero-length one for no bytes (never NULL).
    void bindBlob(int index, const QByteArray& bytes);
    void bindVector(int index, const QList<double>& vector);

    // One step of a writing statement; anything but SQLITE_DONE is stepFailed.
    Expected<void, DatabaseError> stepDone();
    // One step of a reading statement: true for a row, false at the end, stepFailed for
    // anything else, so an interrupted read never passes as a complete one.
    Expected<bool, DatabaseError> stepRow();

    // Calls onRow for every row; stops with stepFailed when a step neither yields a row nor ends.
    template <typename OnRow>
    Expected<void, DatabaseError> forEachRow(OnRow&& onRow)
    {
        for (;;) {
            auto row = stepRow();
            if (!row)
                return unexpected(row.error());
            if (!*row)
                return {};
            onRow(*this);
        }
    }

    bool isNull(int column) const;
    // None for NULL or a value SQLite does not return as text.
    std::optional<QString> text(int column) const;
    // The same, kept as the UTF-8 SQLite hands over (no UTF-16 step).
    std::optional<ItemText> itemText(int column) const;
    // Whether two columns hold the same text (both NULL counts as the same).
    bool sameText(int first, int second) const;
    // None for NULL, non-text or unparsable values (either letter case is accepted).
    std::optional<QUuid> uuid(int column) const;
    double real(int column) const;
    qint64 int64(int column) const;
    QDateTime date(int column) const;
    // The column's bytes; empty for NULL or a zero-length blob.
    QByteArray blob(int column) const;
    QList<double> vector(int column) const;

private:
    void bindUtf8(int index, const QByteArray& utf8);
    SQLiteStatement(sqlite3* db, sqlite3_stmt* statement) : m_db(db), m_statement(statement) {}

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace vesk
