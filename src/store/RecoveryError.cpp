#include "store/RecoveryError.h"

#include "store/DatabaseError.h"

namespace vesk {

QString RecoveryError::description() const
{
    switch (kind) {
    case Kind::SqliteOpen: return QStringLiteral("Could not open recovery database: ") + message;
    case Kind::SqliteBackup: return QStringLiteral("Could not snapshot Vesk database: ") + message;
    case Kind::Files: return message;
    }
    return message;
}

QString RecoveryError::logText() const
{
    switch (kind) {
    case Kind::SqliteOpen: return errorCaseLogText(QStringLiteral("sqliteOpen"), message);
    case Kind::SqliteBackup: return errorCaseLogText(QStringLiteral("sqliteBackup"), message);
    case Kind::Files: return message;
    }
    return message;
}

} // namespace vesk
