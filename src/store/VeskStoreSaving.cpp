// Saving and updating items, managed-file removal and the legacy archive's paths.
#include "store/VeskStore.h"
#include "store/LibraryItems.h"

#include "platform/Log.h"
#include "store/DestructiveChanges.h"
#include "store/FailureWording.h"
#include "store/SQLiteDatabase.h"
#include "store/LibraryHealth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <filesystem>
#include <utility>
#include <system_error>

namespace vesk {

bool VeskStore::saveItemToDatabase(const VeskItem& item)
{
    return m_health->writeItem(item, std::nullopt).hasValue();
}

bool VeskStore::updateItem(const VeskItem& item)
{
    assertMainThread();
    const qsizetype index = indexOfItem(item.id);
    if (index < 0)
        return false;
    // Refused before anything changes on screen: the change could not be kept.
    if (refuseWhileReadOnly(QStringLiteral("Not changed"), quotedItemTitle(items().at(index).title)
                                                               + QStringLiteral(" was not changed")))
        return false;
    const bool saved = saveItemToDatabase(item);
    adoptSavedItem(item);
    return saved;
}

bool VeskStore::updateItemFromWork(const VeskItem& item)
{
    // Not the user's change: a delete waiting for its snapshot lets it through (an item it
    // deletes goes after it), while a read-only library still refuses it. An item whose row is
    // being deleted goes with it: its row written now would outlive the delete.
    if (m_destructive->rowBeingDeleted(item.id))
        return false;
    return m_destructive->outsideRunningChange([&] { return updateItem(item); });
}

void VeskStore::adoptSavedItem(const VeskItem& item)
{
    assertMainThread();
    const qsizetype index = indexOfItem(item.id);
    if (index < 0)
        return;
    m_library->replaceAt(index, item);
    refreshSearchAfterItemChange(item.id);
    QTimer::singleShot(0, this, [this, item] { embedItem(item); });
}

void VeskStore::removeManagedFile(const VeskItem& item)
{
    assertMainThread();
    if (!item.filePath || item.filePath->isEmpty())
        return;
    const QString path = QDir::cleanPath(*item.filePath);
    if (!QDir::isAbsolutePath(path))
        return;

    // Lexically first: the containing folder must lie strictly below "Items". A stored path
    // directly inside "Items", in a sibling such as "ItemsOld", or climbing out through ".."
    // (already folded by cleanPath) is refused.
    const QString itemsDir = QDir::cleanPath(managedItemsDirectory());
    const QString folder = QFileInfo(path).path();
    if (!folder.startsWith(itemsDir + QLatin1Char('/')))
        return;

    // Then with links resolved, so a linked folder cannot lead outside.
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists() || !folderInfo.isDir())
        return;
    const QString resolvedItems = QFileInfo(itemsDir).canonicalFilePath();
    const QString resolvedFolder = folderInfo.canonicalFilePath();
    if (resolvedItems.isEmpty() || !resolvedFolder.startsWith(resolvedItems + QLatin1Char('/')))
        return;

    // A failed removal leaves the folder; nothing to report.
    QDir(resolvedFolder).removeRecursively();
}

QString VeskStore::legacyArchiveURL() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral("vesks.json"));
}

QString VeskStore::migratedArchivePath() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral("vesks-migrated.json"));
}

QString VeskStore::managedItemsDirectory() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral("Items"));
}

void VeskStore::migrateLegacyArchive()
{
    assertMainThread();
    const QString archive = legacyArchiveURL();
    if (!QFileInfo::exists(archive))
        return;
    // rename(2) replaces an older migrated archive in one step, so nothing outside "Items" is
    // ever deleted and no moment exists without either file.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(archive).toStdString()),
                            std::filesystem::path(QFile::encodeName(migratedArchivePath()).toStdString()), error);
    if (error)
        veskLog(QStringLiteral("Vesk legacy JSON archive error: ") + QString::fromStdString(error.message()));
}

} // namespace vesk
