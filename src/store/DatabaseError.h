#pragma once

#include <QString>

namespace vesk {

// Why a library database operation failed. The message is SQLite's own text for the connection
// at the moment of failure (or one of the fixed texts in SQLiteDatabase.cpp).
struct DatabaseError {
    enum class Kind { OpenFailed, PrepareFailed, StepFailed, ExecuteFailed };

    Kind kind = Kind::ExecuteFailed;
    QString message;

    static DatabaseError openFailed(QString message) { return {Kind::OpenFailed, std::move(message)}; }
    static DatabaseError prepareFailed(QString message) { return {Kind::PrepareFailed, std::move(message)}; }
    static DatabaseError stepFailed(QString message) { return {Kind::StepFailed, std::move(message)}; }
    static DatabaseError executeFailed(QString message) { return {Kind::ExecuteFailed, std::move(message)}; }

    // The user-facing text, e.g. "Could not open Vesk database: unable to open database file".
    QString description() const;
    // The reason in plain words for a failure notice ("the disk is full", "the library file is
    // read-only"); SQLite's own text when it is none of the familiar ones.
    QString plainReason() const;
    // The form log lines use: the case name, then the message quoted in parentheses,
    // e.g. stepFailed("disk I/O error").
    QString logText() const;

    friend bool operator==(const DatabaseError&, const DatabaseError&) = default;
};

// An error case as log lines write it: the case name, then the message quoted in parentheses.
QString errorCaseLogText(const QString& caseName, const QString& message);

} // namespace vesk
