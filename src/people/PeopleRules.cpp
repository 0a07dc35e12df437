#include "people/PeopleRules.h"

#include "faces/PersonPools.h"

namespace vesk {

std::optional<VeskPersonPoolSummary> mergeTarget(const VeskPersonPoolSummary& pool,
                                                 const QList<VeskPersonPoolSummary>& all)
{
    std::optional<VeskPersonPoolSummary> target;
    for (const VeskPersonPoolSummary& other : all) {
        if (other.id == pool.id || !samePersonName(other.name, pool.name))
            continue;
        if (!target || std::pair(other.faceCount, other.veskCount) > std::pair(target->faceCount, target->veskCount))
            target = other;
    }
    return target;
}

bool offersMerge(const VeskPersonPoolSummary& pool, const QList<VeskPersonPoolSummary>& all)
{
    bool larger = false;
    for (const VeskPersonPoolSummary& other : all) {
        if (other.id != pool.id && samePersonName(other.name, pool.name) && other.faceCount > pool.faceCount)
            larger = true;
    }
    return larger && mergeTarget(pool, all).has_value();
}

std::optional<VeskPersonPoolSummary> renameCollision(const QUuid& renamingID, const QString& newName,
                                                     const QList<VeskPersonPoolSummary>& all)
{
    const QString trimmed = newName.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (const VeskPersonPoolSummary& other : all) {
        if (other.id != renamingID && samePersonName(other.name, trimmed))
            return other;
    }
    return std::nullopt;
}

bool isSubmittableName(const QString& name)
{
    return !name.trimmed().isEmpty();
}

QString personCountLine(int faceCount, int veskCount)
{
    return QStringLiteral("%1 confirmed face%2 across %3 Vesk%4")
        .arg(faceCount)
        .arg(faceCount == 1 ? QString() : QStringLiteral("s"))
        .arg(veskCount)
        .arg(veskCount == 1 ? QString() : QStringLiteral("s"));
}

QString similarityText(double similarity)
{
    return QStringLiteral("Similarity ") + QString::asprintf("%.3f", similarity);
}

QString confirmAllHelp(int shown, const QString& poolName)
{
    return QStringLiteral("Confirm all %1 visible suggestions as ").arg(shown) + poolName;
}

QString mergeHelp(const QString& poolName, const QString& targetName)
{
    return QStringLiteral("Combine this ") + poolName + QStringLiteral(" pool with the larger confirmed ") + targetName
         + QStringLiteral(" pool");
}

} // namespace vesk
