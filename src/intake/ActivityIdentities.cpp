#include "intake/ActivityIdentities.h"

#include "intake/PackageImport.h"

#include <QMutexLocker>

namespace vesk {

std::optional<QString> ActivityIdentities::identityOf(const QUuid& itemID) const
{
    const QMutexLocker lock(&m_mutex);
    const auto found = m_identities.constFind(itemID);
    if (found == m_identities.cend())
        return std::nullopt;
    return *found;
}

void ActivityIdentities::remember(const QUuid& itemID, const QString& identity)
{
    const QMutexLocker lock(&m_mutex);
    m_identities.insert(itemID, identity.trimmed());
}

void ActivityIdentities::learn(const QList<HeldPackage>& packages)
{
    for (const HeldPackage& package : packages) {
        if (identityOf(package.itemID))
            continue;
        const std::optional<MobileActivityManifest> manifest = readActivityManifest(package.managedPath);
        remember(package.itemID, manifest && manifest->activityID ? *manifest->activityID : QString());
    }
}

} // namespace vesk
