#pragma once

#include <QString>

namespace vesk {

// Why a recovery snapshot could not be taken. The database copy fails with SQLite's own message
// ("Unknown SQLite error" when no connection was allocated); the file steps with a message that
// names the path.
struct RecoveryError {
    enum class Kind { SqliteOpen, SqliteBackup, Files };

    Kind kind = Kind::Files;
    QString message;

    static RecoveryError sqliteOpen(QString message) { return {Kind::SqliteOpen, std::move(message)}; }
    static RecoveryError sqliteBackup(QString message) { return {Kind::SqliteBackup, std::move(message)}; }
    static RecoveryError files(QString message) { return {Kind::Files, std::move(message)}; }

    // The form log lines use, e.g. sqliteBackup("database is locked"); a file step's message as is.
    QString logText() const;

    friend bool operator==(const RecoveryError&, const RecoveryError&) = default;
};

} // namespace vesk
