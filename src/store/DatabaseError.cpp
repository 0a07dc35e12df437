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
