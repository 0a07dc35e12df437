#include "platform/IoFailure.h"

#include <cerrno>
#include <cstring>

namespace vesk {

IoFailure IoFailure::reading(int code, QString path)
{
    return IoFailure{code, IoOperation::Read, std::move(path), {}};
}

IoFailure IoFailure::writing(int code, QString path)
{
    return IoFailure{code, IoOperation::Write, std::move(path), {}};
}

IoFailure IoFailure::other(QString text, IoOperation operation)
{
    return IoFailure{0, operation, {}, std::move(text)};
}

IoFailure IoFailure::at(const QString& where) const
{
    IoFailure placed = *this;
    placed.path = where;
    return placed;
}

QString IoFailure::logText() const
{
    // A system error with words of our own beside it says both: "1.6 MB to copy and 1 MB free: No
    // space left on device".
    const QString system = code != 0 ? QString::fromLocal8Bit(std::strerror(code)) : QString();
    const QString words = code == 0 ? text : text.isEmpty() ? system : text + QStringLiteral(": ") + system;
    return path.isEmpty() ? words : path + QStringLiteral(": ") + words;
}

QString IoFailure::plainWords() const
{
    switch (code) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EACCES:
    case EPERM:
        return operation == IoOperation::Write ? QStringLiteral("the library folder is read-only")
                                               : QStringLiteral("Vesk is not allowed to read it");
    default:
        return logText();
    }
}

} // namespace vesk
