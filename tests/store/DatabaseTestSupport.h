#pragma once

// Helpers for the database tests: a second, raw connection to the same file lets a test look at
// what was really written (column types, schema objects) and plant rows the application would
// never write.

#include "common/TestEnvironment.h"
#include "platform/Uuid.h"
#include "store/SQLiteDatabase.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace vesk::test {

inline QString freshDatabasePath()
{
    return makeTempDirectory(QStringLiteral("db")) + QStringLiteral("/Vesk/vesk.sqlite3");
}

inline std::unique_ptr<SQLiteDatabase> openOrFail(const QString& path)
{
    auto opened = SQLiteDatabase::open(path);
    EXPECT_TRUE(opened.hasValue()) << (opened ? "" : qPrintable(opened.error().description()));
    return opened ? std::move(opened).value() : nullptr;
}

class RawConnection {
public:
    explicit RawConnection(const QString& path)
    {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        sqlite3_busy_timeout(m_db, 2000);
        exec("PRAGMA foreign_keys=ON;");
    }
    ~RawConnection() { sqlite3_close_v2(m_db); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // Fails the test on error, with SQLite's message.
    void exec(const char* sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK)
            ADD_FAILURE() << "raw SQL failed: " << (error ? error : "?") << " in " << sql;
        sqlite3_free(error);
    }

    // The first column of every row, as text ("NULL" for NULL).
    QStringList column(const char* sql)
    {
        QStringList values;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "raw SQL failed: " << sqlite3_errmsg(m_db) << " in " << sql;
            return values;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            values.append(text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
        }
        sqlite3_finalize(statement);
        return values;
    }

    QString value(const char* sql)
    {
        const QStringList values = column(sql);
        return values.isEmpty() ? QString() : values.front();
    }

    qint64 count(const char* table)
    {
        return value(QByteArray("SELECT COUNT(*) FROM ").append(table).append(';').constData()).toLongLong();
    }

private:
    sqlite3* m_db = nullptr;
};

inline VeskItem makeItem(const QString& title, qint64 createdSecs, VeskKind kind = VeskKind::Text)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.kind = kind;
    item.createdAt = QDateTime::fromSecsSinceEpoch(createdSecs, Qt::UTC);
    item.searchableText = title.toLower();
    return item;
}

} // namespace vesk::test
