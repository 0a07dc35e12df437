#include "intake/ItemsFolderSweep.h"

#include "intake/ManagedStorage.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace vesk {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// When the entry last changed (for a folder: when an entry was added or removed); none when it is
// gone.
std::optional<QDateTime> lastChange(const QString& path)
{
    struct stat status {};
    if (::lstat(native(path).constData(), &status) != 0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000,
                                          Qt::UTC);
}

bool removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

// A free name in the recovered folder: the entry's own, else with " 2", " 3", ... added.
QString freeRecoveredPath(const QString& recoveredDirectory, const QString& name)
{
    QString candidate = QDir(recoveredDirectory).filePath(name);
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = QDir(recoveredDirectory).filePath(name + QLatin1Char(' ') + QString::number(n));
    return candidate;
}

// The files an entry holds (itself, when it is no folder) and their bytes; links are not followed.
std::pair<qint64, qint64> filesAndBytes(const QString& path)
{
    struct stat status {};
    if (::lstat(native(path).constData(), &status) != 0)
        return {0, 0};
    if (!S_ISDIR(status.st_mode))
        return {1, qint64(status.st_size)};
    qint64 files = 0;
    qint64 bytes = 0;
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const auto [f, b] = filesAndBytes(QDir(path).filePath(name));
        files += f;
        bytes += b;
    }
    return {files, bytes};
}

} // namespace

ItemsFolderSweepReport sweepItemsFolder(const QString& itemsDirectory, const QString& recoveredDirectory,
                                        const ItemsFolderReferences& references, const QDateTime& notBefore)
{
    ItemsFolderSweepReport report;
    const QDir items(itemsDirectory);
    if (!items.exists())
        return report;
    const QStringList names =
        items.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    const QString staging = managedStagingName();

    for (const QString& name : names) {
        if (references.busyFolderNames.contains(name))
            continue;
        const QString path = items.filePath(name);
        const QFileInfo info(path);
        const bool isFolder = info.isDir() && !info.isSymLink();
        // Taken before anything inside is removed, which would make the folder look new.
        const auto changed = lastChange(path);

        // An unfinished copy inside an item folder: never a finished file, unless a row names a
        // user's file that happens to carry the same name.
        if (isFolder) {
            const QString leftover = QDir(path).filePath(staging);
            const QFileInfo leftoverInfo(leftover);
            if ((leftoverInfo.exists() || leftoverInfo.isSymLink()) && !references.filePaths.contains(leftover)) {
                const auto leftoverChanged = lastChange(leftover);
                if (leftoverChanged && *leftoverChanged < notBefore) {
                    if (removeEntry(leftover)) {
                        report.removedStaging.append(leftover);
                        veskLog(QStringLiteral("Vesk removed an unfinished copy at ") + leftover);
                    } else {
                        report.errors.append(leftover + QStringLiteral(": could not be removed"));
                        veskLog(QStringLiteral("Vesk Items cleanup error for ") + leftover + QStringLiteral(": could not be removed"));
                    }
                }
            }
        }

        if (references.folderNames.contains(name))
            continue;
        if (!changed || *changed >= notBefore)
            continue;

        // An item folder emptied by an interrupted import holds nothing to keep.
        if (isFolder && QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (QDir().rmdir(path)) {
                report.removedEmpty.append(path);
                veskLog(QStringLiteral("Vesk removed an empty item folder at ") + path);
            }
            continue;
        }

        // Whatever else no row names may be the only copy of something: it is moved aside.
        if (!QDir().mkpath(recoveredDirectory)) {
            report.errors.append(path + QStringLiteral(": the folder ") + recoveredDirectory
                                 + QStringLiteral(" could not be created"));
            veskLog(QStringLiteral("Vesk Items cleanup error for ") + path + QStringLiteral(": the folder ")
                    + recoveredDirectory + QStringLiteral(" could not be created"));
            continue;
        }
        const QString target = freeRecoveredPath(recoveredDirectory, name);
        const auto [files, bytes] = filesAndBytes(path);
        const QStringList held = isFolder
            ? QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)
            : QStringList{name};
        if (::rename(native(path).constData(), native(target).constData()) != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            report.errors.append(path + QStringLiteral(": ") + reason);
            veskLog(QStringLiteral("Vesk Items cleanup error for ") + path + QStringLiteral(": ") + reason);
            continue;
        }
        report.recovered.append(path + QStringLiteral(" -> ") + target);
        report.recoveredFiles += files;
        report.recoveredBytes += bytes;
        for (const QString& entry : held) {
            if (entry != staging)
                report.recoveredNames.append(entry);
        }
        veskLog(QStringLiteral("Vesk moved ") + path + QStringLiteral(", which no item refers to, to ") + target);
    }
    return report;
}

} // namespace vesk
