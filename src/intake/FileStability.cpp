#include "intake/FileStability.h"

#include <QFile>
#include <sys/stat.h>

namespace vesk {

std::optional<FileStamp> regularFileStamp(const QString& path)
{
    return regularFileStamp(QFile::encodeName(path));
}

std::optional<FileStamp> regularFileStamp(const QByteArray& nativePath)
{
    struct stat info {};
    if (::lstat(nativePath.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{static_cast<qint64>(info.st_size),
                     static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

void StabilityTracker::beginScan()
{
    m_previous = std::move(m_current);
    m_current.clear();
}

bool StabilityTracker::isStable(const QString& path)
{
    const std::optional<FileStamp> stamp = regularFileStamp(path);
    if (!stamp)
        return false;
    m_current.insert(path, *stamp);
    const auto previous = m_previous.constFind(path);
    return previous != m_previous.constEnd() && *previous == *stamp;
}

} // namespace vesk
