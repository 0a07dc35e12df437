#include "store/RecoveryError.h"

#include "store/DatabaseError.h"

namespace vesk {

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
