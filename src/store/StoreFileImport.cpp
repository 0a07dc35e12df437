// File import: duplicates, related versions, managed copies and the item made for a file.
#include "store/VeskStore.h"

#include "intake/FileIntakeSupport.h"
#include "intake/FileTitles.h"
#include "intake/ManagedStorage.h"
#include "intake/VersionKey.h"
#include "platform/Log.h"
#include "platform/Sha256.h"
#include "platform/Uuid.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

namespace vesk {

void VeskStore::finishFileImport()
{
    setImportCountInProgress(std::max(0, m_importCountInProgress - 1));
}

bool VeskStore::importFile(const QString& path)
{
    assertMainThread();
    setImportCountInProgress(m_importCountInProgress + 1);
    const auto finish = qScopeGuard([this] { finishFileImport(); });

    const QString source = QDir::cleanPath(path);
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists())
        return false;
    const bool isFolder = sourceInfo.isDir();

    std::optional<QString> hash;
    if (!isFolder) {
        hash = sha256HexOfFile(source);
        if (hash) {
            if (const std::optional<VeskItem> existing = findDuplicateFile(source, *hash)) {
                // An item whose row was never written is not kept yet: write it now, and only
                // when that works may the source go.
                bool kept = !m_unsavedItemIDs.contains(existing->id);
                if (!kept && saveItemToDatabase(*existing)) {
                    m_unsavedItemIDs.remove(existing->id);
                    kept = true;
                }
                setSelectedID(existing->id);
                setSelectedIDs({existing->id});
                recordUsage(existing->id);
                setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Duplicate,
                                                 QStringLiteral("Already in Vesk"), existing->title,
                                                 existing->id});
                return kept;
            }
        }
    }

    const std::optional<VeskItem> related =
        isFolder ? std::nullopt : findRelatedVersion(source);

    const QUuid id = QUuid::createUuid();
    const std::optional<QString> managed = copyIntoManagedStorage(source, id);
    if (!managed) {
        veskLog(QStringLiteral("Vesk refused to create a fragile file reference for ") + source);
        return false;
    }

    const FileResourceValues values = readResourceValues(*managed);
    const bool isImage = countsAsImage(*managed, values.contentType);
    QStringList parts = fileSearchableParts(source, values);
    parts += fileTextParts(*managed, values.contentType);

    const QString fileName = sourceInfo.fileName();
    VeskItem item;
    item.id = id;
    item.kind = isImage ? VeskKind::Image : VeskKind::File;
    item.createdAt = m_services.clock->now();
    item.filePath = *managed;
    item.searchableText = parts.join(QLatin1Char(' '));
    item.title = fileName;
    item.title = cleanedTitleFromFileName(fileName, item, item.createdAt);

    const bool saved = commitNewItem(item);
    if (hash)
        m_fileHashCache.insert(uuidString(id), *hash);
    if (related) {
        setIntakeNotice(VeskIntakeNotice{QUuid::createUuid(), VeskIntakeNoticeKind::Version,
                                         QStringLiteral("Looks like another version"), related->title,
                                         related->id});
    }
    if (isImage)
        startImageTasks(item);
    return saved;
}

std::optional<VeskItem> VeskStore::findDuplicateFile(const QString& path, const QString& hash)
{
    assertMainThread();
    const std::optional<qint64> size = fileSizeOfURL(path);
    for (const VeskItem& item : std::as_const(m_items)) {
        if (!item.filePath || !QFileInfo::exists(*item.filePath))
            continue;
        if (size) {
            const std::optional<qint64> candidateSize = fileSizeOfURL(*item.filePath);
            if (candidateSize && *candidateSize != *size)
                continue;
        }
        const QString key = uuidString(item.id);
        QString candidateHash = m_fileHashCache.value(key);
        if (candidateHash.isEmpty()) {
            const std::optional<QString> computed = sha256HexOfFile(*item.filePath);
            if (!computed)
                continue;
            candidateHash = *computed;
            m_fileHashCache.insert(key, candidateHash);
        }
        if (candidateHash == hash)
            return item;
    }
    return std::nullopt;
}

std::optional<VeskItem> VeskStore::findRelatedVersion(const QString& path) const
{
    assertMainThread();
    return findRelatedVersionIn(m_items, QFileInfo(path).fileName());
}

std::optional<QString> VeskStore::copyIntoManagedStorage(const QString& source, const QUuid& id) const
{
    const Expected<QString, QString> copied =
        vesk::copyIntoManagedStorage(source, managedItemsDirectory(), id);
    if (!copied) {
        veskLog(QStringLiteral("Vesk copy error for ") + source + QStringLiteral(": ") + copied.error());
        return std::nullopt;
    }
    return copied.value();
}

} // namespace vesk
