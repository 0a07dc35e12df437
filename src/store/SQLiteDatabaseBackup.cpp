#include "store/SQLiteDatabase.h"

#include <QFile>
#include <sqlite3.h>

namespace vesk {

namespace {

QString messageOf(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("Unknown SQLite error");
}

bool isBusy(int rc)
{
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

// Closes both connections however the copy ends.
struct ConnectionPair {
    sqlite3* source = nullptr;
    sqlite3* destination = nullptr;
    ~ConnectionPair()
    {
        sqlite3_close_v2(destination);
        sqlite3_close_v2(source);
    }
};

// Sleeps after a busy answer while the pacing's budget lasts; false once it is spent.
class BusyBudget {
public:
    explicit BusyBudget(const DatabaseBackupPacing& pacing) : m_pacing(pacing) {}
    bool waitOnce()
    {
        if (m_sleptMs >= m_pacing.busyWaitLimitMs)
            return false;
        sqlite3_sleep(m_pacing.busySleepMs);
        m_sleptMs += m_pacing.busySleepMs;
        return true;
    }

private:
    const DatabaseBackupPacing& m_pacing;
    int m_sleptMs = 0;
};

} // namespace

Expected<void, RecoveryError> SQLiteDatabase::backupDatabaseFile(const QString& source, const QString& destination,
                                                                 const DatabaseBackupPacing& pacing)
{
    ConnectionPair connections;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &connections.source, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK)
        return unexpected(RecoveryError::sqliteOpen(messageOf(connections.source)));
    if (sqlite3_open_v2(QFile::encodeName(destination).constData(), &connections.destination,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        return unexpected(RecoveryError::sqliteOpen(messageOf(connections.destination)));

    BusyBudget budget(pacing);

    // A read transaction held by the source connection across every step: without it each step
    // reads afresh, and a write by the store between two steps starts the copy over, so a busy
    // library could keep a copy from ever finishing.
    if (sqlite3_exec(connections.source, "BEGIN;", nullptr, nullptr, nullptr) != SQLITE_OK)
        return unexpected(RecoveryError::sqliteBackup(messageOf(connections.source)));
    for (;;) {
        const int rc = sqlite3_exec(connections.source, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            break;
        if (!isBusy(rc) || !budget.waitOnce())
            return unexpected(RecoveryError::sqliteBackup(messageOf(connections.source)));
    }

    sqlite3_backup* backup = sqlite3_backup_init(connections.destination, "main", connections.source, "main");
    if (!backup)
        return unexpected(RecoveryError::sqliteBackup(messageOf(connections.destination)));

    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(backup, pacing.pagesPerStep);
        if (rc == SQLITE_DONE || (rc != SQLITE_OK && !isBusy(rc)))
            break;
        if (isBusy(rc) && !budget.waitOnce())
            break;
    }
    // The step's failure reaches the destination connection only once the copy is finished.
    sqlite3_backup_finish(backup);
    sqlite3_exec(connections.source, "COMMIT;", nullptr, nullptr, nullptr);
    if (rc == SQLITE_DONE)
        return {};
    const bool described = sqlite3_errcode(connections.destination) != SQLITE_OK;
    return unexpected(RecoveryError::sqliteBackup(described ? messageOf(connections.destination)
                                                            : QString::fromUtf8(sqlite3_errstr(rc))));
}

} // namespace vesk
