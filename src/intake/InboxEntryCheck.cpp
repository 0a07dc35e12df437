#include "intake/InboxEntryCheck.h"

#include "intake/FolderWalk.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <sys/stat.h>

namespace vesk {

namespace {

void addStamp(QCryptographicHash& hash, const QByteArray& relative, const struct stat* info)
{
    hash.addData(relative);
    if (!info) {
        hash.addData(QByteArrayView("\0missing", 8));
        return;
    }
    // The change time too: a writer that puts the modification time back still moves it.
    const qint64 fields[] = {qint64(info->st_mode), qint64(info->st_size), qint64(info->st_mtim.tv_sec),
                             qint64(info->st_mtim.tv_nsec), qint64(info->st_ino), qint64(info->st_ctim.tv_sec),
                             qint64(info->st_ctim.tv_nsec)};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(fields), sizeof fields));
}

QByteArray lastName(const QByteArray& nativePath)
{
    return nativePath.mid(nativePath.lastIndexOf('/') + 1);
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

QByteArray entryTreeStamp(const QByteArray& nativePath)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    struct stat info {};
    const bool present = ::lstat(nativePath.constData(), &info) == 0;
    addStamp(hash, QByteArray(), present ? &info : nullptr);
    if (present && S_ISDIR(info.st_mode)) {
        walkBelow(nativePath, [&](const QByteArray&, const QByteArray& path, const struct stat& inner) {
            addStamp(hash, path.mid(nativePath.size()), &inner);
        });
    }
    return hash.result();
}

QSet<FileIdentity> entryFileIdentities(const QByteArray& nativePath)
{
    QSet<FileIdentity> files;
    struct stat info {};
    if (::lstat(nativePath.constData(), &info) != 0)
        return files;
    if (S_ISREG(info.st_mode))
        files.insert({quint64(info.st_dev), quint64(info.st_ino)});
    else if (S_ISDIR(info.st_mode)) {
        walkBelow(nativePath, [&](const QByteArray&, const QByteArray&, const struct stat& inner) {
            if (S_ISREG(inner.st_mode))
                files.insert({quint64(inner.st_dev), quint64(inner.st_ino)});
        });
    }
    return files;
}

bool isUndecodableName(const QByteArray& name)
{
    return QFile::encodeName(QFile::decodeName(name)) != name;
}

std::optional<QString> firstUndecodableName(const QByteArray& nativePath)
{
    if (const QByteArray own = lastName(nativePath); isUndecodableName(own))
        return QString::fromLatin1(own);
    std::optional<QString> found;
    struct stat info {};
    if (::lstat(nativePath.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return found;
    walkBelow(nativePath, [&](const QByteArray& name, const QByteArray&, const struct stat&) {
        if (!found && isUndecodableName(name))
            found = QString::fromLatin1(name);
    });
    return found;
}

} // namespace vesk
