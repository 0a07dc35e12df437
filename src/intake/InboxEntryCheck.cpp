#include "intake/InboxEntryCheck.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace vesk {

namespace {

void addStamp(QCryptographicHash& hash, const QString& name, const QString& path)
{
    struct stat info {};
    hash.addData(name.toUtf8());
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        hash.addData(QByteArrayView("\0missing", 8));
        return;
    }
    const qint64 fields[] = {qint64(info.st_mode), qint64(info.st_size), qint64(info.st_mtim.tv_sec),
                             qint64(info.st_mtim.tv_nsec), qint64(info.st_ino)};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(fields), sizeof fields));
}

} // namespace

std::optional<QString> specialFileReason(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    const QString name = QStringLiteral("\u201C") + QFileInfo(path).fileName() + QStringLiteral("\u201D");
    if (S_ISFIFO(info.st_mode))
        return name + QStringLiteral(" in it is a pipe, not a file");
    if (S_ISSOCK(info.st_mode))
        return name + QStringLiteral(" in it is a socket, not a file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return name + QStringLiteral(" in it is a device, not a file");
    return std::nullopt;
}

QByteArray entryTreeStamp(const QString& path)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addStamp(hash, QString(), path);
    const QFileInfo entry(path);
    if (entry.isDir() && !entry.isSymLink()) {
        QDirIterator it(path, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString inner = it.next();
            addStamp(hash, inner.mid(path.size()), inner);
        }
    }
    return hash.result();
}

} // namespace vesk
