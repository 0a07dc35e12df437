#include "faces/PersonPools.h"

#include <QCollator>
#include <QHash>
#include <algorithm>

namespace vesk {

QString personPoolName(const std::optional<QString>& name)
{
    return name ? name->trimmed() : QString();
}

QString personNameKey(const QString& name)
{
    const QString decomposed = name.trimmed().normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        stripped.append(c);
    }
    return stripped.toCaseFolded();
}

bool samePersonName(const QString& a, const QString& b)
{
    return personNameKey(a) == personNameKey(b);
}

namespace {

struct PoolFaces {
    int faceCount = 0;
    QSet<QUuid> items;
    QUuid firstFace;
};

QHash<QUuid, PoolFaces> facesByPool(const QList<VeskFaceRecord>& faces)
{
    QHash<QUuid, PoolFaces> byPool;
    for (const VeskFaceRecord& face : faces) {
        if (!face.clusterID)
            continue;
        PoolFaces& pool = byPool[*face.clusterID];
        if (pool.faceCount++ == 0)
            pool.firstFace = face.id;
        pool.items.insert(face.veskID);
    }
    return byPool;
}

std::optional<VeskPersonPoolSummary> summaryOf(const VeskFaceClusterRecord& pool, const PoolFaces* faces)
{
    const QString name = personPoolName(pool.name);
    if (name.isEmpty() || !faces || faces->faceCount == 0)
        return std::nullopt;
    return VeskPersonPoolSummary{pool.id, name, faces->faceCount, int(faces->items.size()), faces->firstFace};
}

} // namespace

std::optional<VeskPersonPoolSummary> personPoolSummary(const VeskFaceClusterRecord& pool,
                                                       const QList<VeskFaceRecord>& faces)
{
    PoolFaces own;
    for (const VeskFaceRecord& face : faces) {
        if (face.clusterID != pool.id)
            continue;
        if (own.faceCount++ == 0)
            own.firstFace = face.id;
        own.items.insert(face.veskID);
    }
    return summaryOf(pool, &own);
}

QList<VeskPersonPoolSummary> personPoolSummaries(const QList<VeskFaceClusterRecord>& pools,
                                                 const QList<VeskFaceRecord>& faces)
{
    const QHash<QUuid, PoolFaces> byPool = facesByPool(faces);
    QList<VeskPersonPoolSummary> summaries;
    for (const VeskFaceClusterRecord& pool : pools) {
        const auto found = byPool.constFind(pool.id);
        if (auto summary = summaryOf(pool, found == byPool.cend() ? nullptr : &*found))
            summaries.append(std::move(*summary));
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(summaries.begin(), summaries.end(),
                     [&](const VeskPersonPoolSummary& a, const VeskPersonPoolSummary& b) {
                         return collator.compare(a.name, b.name) < 0;
                     });
    return summaries;
}

QList<VeskFaceRecord> unassignedFaces(const QList<VeskFaceRecord>& faces, const QSet<QUuid>& ignored, int limit)
{
    QList<VeskFaceRecord> unassigned;
    for (const VeskFaceRecord& face : faces) {
        if (!face.clusterID && !ignored.contains(face.id))
            unassigned.append(face);
    }
    std::stable_sort(unassigned.begin(), unassigned.end(),
                     [](const VeskFaceRecord& a, const VeskFaceRecord& b) { return a.createdAt > b.createdAt; });
    if (unassigned.size() > std::max(limit, 0))
        unassigned.resize(std::max(limit, 0));
    return unassigned;
}

VeskFaceStatistics faceStatistics(const QList<VeskFaceRecord>& faces, const QSet<QUuid>& ignored)
{
    VeskFaceStatistics statistics;
    statistics.total = int(faces.size());
    for (const VeskFaceRecord& face : faces) {
        if (face.clusterID)
            ++statistics.confirmed;
        else if (!ignored.contains(face.id))
            ++statistics.unassigned;
    }
    return statistics;
}

} // namespace vesk
