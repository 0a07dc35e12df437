#include "store/DatabaseError.h"

namespace vesk {

QString DatabaseError::description() const
{
    switch (kind) {
    case Kind::OpenFailed: return QStringLiteral("Could not open Vesk database: ") + message;
    case Kind::PrepareFailed: return QStringLiteral("Could not prepare Vesk database command: ") + message;
    case Kind::StepFailed: return QStringLiteral("Could not complete Vesk database command: ") + message;
    case Kind::ExecuteFailed: return QStringLiteral("Could not execute Vesk database command: ") + message;
    }
    return message;
}

QString DatabaseError::plainReason() const
{
    struct Known {
        const char* fragment;
        const char* words;
    };
    // SQLite's texts for its result codes, as sqlite3_errmsg gives them.
    static const Known known[] = {
        {"database or disk is full", "the disk is full"},
        {"readonly database", "the library file is read-only"},
        {"database is locked", "the library is busy in another program"},
        {"database table is locked", "the library is busy in another program"},
        {"disk I/O error", "the disk reported an error"},
        {"malformed", "the library file is damaged"},
        {"file is not a database", "the library file is damaged"},
        {"unable to open database file", "the library file could not be opened"},
        {"SQLite database is unavailable", "the library is not open"},
    };
    for (const Known& entry : known) {
        if (message.contains(QLatin1String(entry.fragment), Qt::CaseInsensitive))
            return QString::fromLatin1(entry.words);
    }
    return message;
}

QString DatabaseError::logText() const
{
    QString name;
    switch (kind) {
    case Kind::OpenFailed: name = QStringLiteral("openFailed"); break;
    case Kind::PrepareFailed: name = QStringLiteral("prepareFailed"); break;
    case Kind::StepFailed: name = QStringLiteral("stepFailed"); break;
    case Kind::ExecuteFailed: name = QStringLiteral("executeFailed"); break;
    }
    return errorCaseLogText(name, message);
}

QString errorCaseLogText(const QString& caseName, const QString& message)
{
    // Quotes, backslashes and line breaks inside the message are escaped so that a log entry
    // stays one line and its quoted part can be read back unambiguously.
    QString quoted;
    quoted.reserve(message.size() + 2);
    for (const QChar c : message) {
        switch (c.unicode()) {
        case '"': quoted += QStringLiteral("\\\""); break;
        case '\\': quoted += QStringLiteral("\\\\"); break;
        case '\n': quoted += QStringLiteral("\\n"); break;
        case '\r': quoted += QStringLiteral("\\r"); break;
        case '\t': quoted += QStringLiteral("\\t"); break;
        default: quoted += c;
        }
    }
    return caseName + QStringLiteral("(\"") + quoted + QStringLiteral("\")");
}

} // namespace vesk
