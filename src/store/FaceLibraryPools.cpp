// Person pools: naming a face, renaming and merging pools, the named people the views list and a
// person's photographs (the person timeline and the photo book).
#include "store/FaceLibrary.h"

#include "faces/PersonPools.h"
#include "model/ItemFileKinds.h"
#include "platform/Log.h"
#include "store/FaceLibraryHost.h"
#include "store/FailureWording.h"
#include "store/SQLiteDatabase.h"

namespace vesk {

Expected<void, DatabaseError> FaceLibrary::assignFace(qsizetype faceIndex, const QUuid& poolID,
                                                      const std::optional<VeskFaceClusterRecord>& newPool)
{
    const QUuid faceID = m_faceRecordsCache[faceIndex].id;
    // The pool's row, the dropped rejection and the assignment go in together, so a failure
    // leaves the database as the caches still are.
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto assigned = database->assignFaceToCluster(faceID, poolID, newPool); !assigned)
            return assigned;
    }
    if (newPool)
        m_faceClustersCache.append(*newPool);
    m_faceRecordsCache[faceIndex].clusterID = poolID;
    m_faceRejectionsCache.removeIf([&](const VeskFaceRejectionRecord& rejection) {
        return rejection.faceID == faceID && rejection.clusterID == poolID;
    });
    return {};
}

void FaceLibrary::noteFaceChange(bool peopleChanged)
{
    setFaceDataRevision(m_faceDataRevision + 1);
    // People's names are searchable: a change of who is in which pool reaches the index.
    if (peopleChanged)
        m_host.refreshSearchAfterFaceChange();
}

bool FaceLibrary::createPersonPool(const QString& name, const QUuid& faceID)
{
    assertMainThread();
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    const auto face = std::find_if(m_faceRecordsCache.cbegin(), m_faceRecordsCache.cend(),
                                   [&](const VeskFaceRecord& record) { return record.id == faceID; });
    if (face == m_faceRecordsCache.cend())
        return false;

    std::optional<VeskFaceClusterRecord> newPool;
    QUuid poolID;
    const auto existing = std::find_if(m_faceClustersCache.cbegin(), m_faceClustersCache.cend(),
                                       [&](const VeskFaceClusterRecord& pool) {
                                           return samePersonName(personPoolName(pool.name), trimmed);
                                       });
    if (existing != m_faceClustersCache.cend()) {
        poolID = existing->id;
    } else {
        const QDateTime now = m_services.clock->now();
        newPool = VeskFaceClusterRecord{QUuid::createUuid(), trimmed, now, now};
        poolID = newPool->id;
    }
    if (auto assigned = assignFace(face - m_faceRecordsCache.cbegin(), poolID, newPool); !assigned) {
        veskLog(QStringLiteral("Vesk person pool create error: ") + assigned.error().logText());
        m_host.reportRefused(QStringLiteral("Person not named"),
                      QStringLiteral("The face was not named ") + quotedItemTitle(trimmed), assigned.error());
        return false;
    }
    noteFaceChange(true);
    return true;
}

bool FaceLibrary::renamePersonPool(const QUuid& poolID, const QString& newName)
{
    assertMainThread();
    const QString trimmed = newName.trimmed();
    if (trimmed.isEmpty())
        return false;
    const auto pool = std::find_if(m_faceClustersCache.begin(), m_faceClustersCache.end(),
                                   [&](const VeskFaceClusterRecord& record) { return record.id == poolID; });
    if (pool == m_faceClustersCache.end())
        return false;
    VeskFaceClusterRecord renamed = *pool;
    renamed.name = trimmed;
    renamed.modifiedAt = m_services.clock->now();
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto saved = database->upsertFaceCluster(renamed); !saved) {
            veskLog(QStringLiteral("Vesk person pool rename error: ") + saved.error().logText());
            m_host.reportRefused(QStringLiteral("Person not renamed"),
                          quotedItemTitle(personPoolName(pool->name)) + QStringLiteral(" was not renamed"), saved.error());
            return false;
        }
    }
    *pool = renamed;
    noteFaceChange(true);
    return true;
}

bool FaceLibrary::mergePersonPools(const QUuid& sourceID, const QUuid& targetID)
{
    assertMainThread();
    if (sourceID == targetID)
        return false;
    const auto findPool = [&](const QUuid& id) {
        return std::find_if(m_faceClustersCache.cbegin(), m_faceClustersCache.cend(),
                            [&](const VeskFaceClusterRecord& pool) { return pool.id == id; });
    };
    const auto source = findPool(sourceID);
    const auto target = findPool(targetID);
    if (source == m_faceClustersCache.cend() || target == m_faceClustersCache.cend())
        return false;
    if (SQLiteDatabase* database = m_host.database()) {
        if (auto merged = database->mergeFaceCluster(sourceID, targetID); !merged) {
            veskLog(QStringLiteral("Vesk person pool merge error: ") + merged.error().logText());
            m_host.reportRefused(QStringLiteral("People not merged"),
                          quotedItemTitle(personPoolName(source->name)) + QStringLiteral(" was not merged into ")
                              + quotedItemTitle(personPoolName(target->name)),
                          merged.error());
            return false;
        }
    }
    QSet<QUuid> moved;
    for (VeskFaceRecord& face : m_faceRecordsCache) {
        if (face.clusterID == sourceID) {
            moved.insert(face.id);
            face.clusterID = targetID;
        }
    }
    m_faceClustersCache.removeIf([&](const VeskFaceClusterRecord& pool) { return pool.id == sourceID; });
    m_faceRejectionsCache.removeIf([&](const VeskFaceRejectionRecord& rejection) {
        return rejection.clusterID == sourceID || (rejection.clusterID == targetID && moved.contains(rejection.faceID));
    });
    noteFaceChange(true);
    return true;
}

QList<VeskPersonPoolSummary> FaceLibrary::personPoolSummaries() const
{
    return vesk::personPoolSummaries(m_faceClustersCache, m_faceRecordsCache);
}

QList<VeskItem> FaceLibrary::photosForPersonPool(const QUuid& poolID) const
{
    assertMainThread();
    QSet<QUuid> itemIDs;
    for (const VeskFaceRecord& face : m_faceRecordsCache) {
        if (face.clusterID && *face.clusterID == poolID)
            itemIDs.insert(face.veskID);
    }
    QList<VeskItem> photos;
    if (itemIDs.isEmpty())
        return photos;
    for (const VeskItem& item : m_host.items()) {
        // A picture by its file's extension, whatever its kind: a PDF with a confirmed face is no
        // photograph.
        if (itemIDs.contains(item.id) && item.filePath && hasImageFileExtension(*item.filePath)) {
            photos.append(item);
            // An item is listed once even if the list held it twice.
            itemIDs.remove(item.id);
        }
    }
    return photos;
}

} // namespace vesk
