// Groups: create, rename and delete. The database is written first; memory follows only a write
// that worked (a delete keeps what it changed when a later item save fails).
#include "store/VeskStore.h"

#include "platform/Log.h"
#include "store/SQLiteDatabase.h"

#include <QCollator>
#include <algorithm>

namespace vesk {

void VeskStore::sortGroups(QList<VeskGroup>& groups)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(groups.begin(), groups.end(), [&](const VeskGroup& a, const VeskGroup& b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

std::optional<VeskGroup> VeskStore::createGroup(const QString& name)
{
    assertMainThread();
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const VeskGroup group{QUuid::createUuid(), trimmed, m_services.clock->now()};
    if (m_database) {
        if (auto written = m_database->upsertGroup(group); !written) {
            veskLog(QStringLiteral("Vesk group create error: ") + written.error().logText());
            return std::nullopt;
        }
    }
    QList<VeskGroup> groups = m_groups;
    groups.append(group);
    sortGroups(groups);
    setGroups(groups);
    m_services.recoverySnapshots->noteChange();
    return group;
}

bool VeskStore::renameGroup(const QUuid& id, const QString& name)
{
    assertMainThread();
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return false;
    const auto found = std::find_if(m_groups.cbegin(), m_groups.cend(), [&](const VeskGroup& g) { return g.id == id; });
    if (found == m_groups.cend())
        return false;
    VeskGroup renamed = *found;
    renamed.name = trimmed;
    if (m_database) {
        if (auto written = m_database->upsertGroup(renamed); !written) {
            veskLog(QStringLiteral("Vesk group rename error: ") + written.error().logText());
            return false;
        }
    }
    QList<VeskGroup> groups = m_groups;
    groups[found - m_groups.cbegin()] = renamed;
    sortGroups(groups);
    setGroups(groups);
    m_services.recoverySnapshots->noteChange();
    return true;
}

bool VeskStore::deleteGroup(const QUuid& id)
{
    assertMainThread();
    const auto isDeleted = [&](const VeskGroup& g) { return g.id == id; };
    if (std::none_of(m_groups.cbegin(), m_groups.cend(), isDeleted))
        return false;

    // A failed snapshot is logged by the snapshots and never stops the delete.
    (void)m_services.recoverySnapshots->synchronousSnapshot(QStringLiteral("before-delete-group"));

    if (m_database) {
        if (auto deleted = m_database->deleteGroup(id); !deleted) {
            veskLog(QStringLiteral("Vesk group delete error: ") + deleted.error().logText());
            return false;
        }
    }

    QList<VeskGroup> groups = m_groups;
    groups.removeIf(isDeleted);
    setGroups(groups);

    QList<VeskItem> members;
    for (VeskItem& item : m_items) {
        if (item.groupID == id) {
            item.groupID.reset();
            members.append(item);
        }
    }
    if (!members.isEmpty())
        emit itemsChanged();

    if (m_database) {
        for (const VeskItem& item : std::as_const(members)) {
            if (auto saved = m_database->upsertItem(item); !saved) {
                veskLog(QStringLiteral("Vesk group delete error: ") + saved.error().logText());
                return false;
            }
        }
    }

    refreshSearchAfterChange();
    m_services.recoverySnapshots->noteChange();
    return true;
}

} // namespace vesk
