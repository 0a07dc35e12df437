#include "platform/FileBirthTime.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace vesk {

std::optional<QDateTime> fileBirthTime(const QString& path)
{
    return fileBirthTime(QFile::encodeName(path));
}

std::optional<QDateTime> fileBirthTime(const QByteArray& nativePath)
{
    struct statx info {};
    if (::statx(AT_FDCWD, nativePath.constData(), AT_STATX_SYNC_AS_STAT, STATX_BTIME, &info) != 0)
        return std::nullopt;
    // The kernel leaves the bit clear where the file system keeps no birth time.
    if (!(info.stx_mask & STATX_BTIME))
        return std::nullopt;
    const qint64 ms = qint64(info.stx_btime.tv_sec) * 1000 + info.stx_btime.tv_nsec / 1'000'000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

bool writeRecordedCreation(const QString& path, const QDateTime& created)
{
    if (!created.isValid())
        return false;
    const QByteArray value = created.toUTC().toString(Qt::ISODateWithMs).toUtf8();
    return ::setxattr(QFile::encodeName(path).constData(), kRecordedCreationAttribute, value.constData(),
                      size_t(value.size()), 0)
        == 0;
}

std::optional<QDateTime> recordedCreation(const QString& path)
{
    char buffer[64];
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), kRecordedCreationAttribute, buffer,
                                    sizeof buffer);
    if (size <= 0)
        return std::nullopt;
    const QDateTime created = QDateTime::fromString(QString::fromUtf8(buffer, size), Qt::ISODateWithMs);
    if (!created.isValid())
        return std::nullopt;
    return created.toUTC();
}

} // namespace vesk
