// Groups: create, rename and delete. The database is written first; memory follows only a write
// that worked, and a write that did not is said in the failure notice.
#include "store/VeskStore.h"

#include "platform/Log.h"
#include "store/FailureWording.h"
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
    if (refuseWhileReadOnly(QStringLiteral("Group not created"), quotedItemTitle(trimmed) + QStringLiteral(" was not created")))
        return std::nullopt;
    const VeskGroup group{QUuid::createUuid(), trimmed, m_services.clock->now()};
    if (m_database) {
        if (auto written = m_database->upsertGroup(group); !written) {
            veskLog(QStringLiteral("Vesk group create error: ") + written.error().logText());
            reportRefused(QStringLiteral("Group not created"), quotedItemTitle(trimmed) + QStringLiteral(" was not created"),
                          written.error());
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
    if (refuseWhileReadOnly(QStringLiteral("Group not renamed"), quotedItemTitle(found->name) + QStringLiteral(" was not renamed")))
        return false;
    VeskGroup renamed = *found;
    renamed.name = trimmed;
    if (m_database) {
        if (auto written = m_database->upsertGroup(renamed); !written) {
            veskLog(QStringLiteral("Vesk group rename error: ") + written.error().logText());
            reportRefused(QStringLiteral("Group not renamed"), quotedItemTitle(found->name) + QStringLiteral(" was not renamed"),
                          written.error());
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
    const auto group = std::find_if(m_groups.cbegin(), m_groups.cend(), [&](const VeskGroup& g) { return g.id == id; });
    if (group == m_groups.cend())
        return false;
    const QString name = group->name;
    if (refuseWhileReadOnly(QStringLiteral("Group not deleted"), quotedItemTitle(name) + QStringLiteral(" was not deleted")))
        return false;

    return changeAfterRecoverySnapshot(QStringLiteral("before-delete-group"),
        [this, id, name] { return deleteGroupNow(id, name); });
}

bool VeskStore::deleteGroupNow(const QUuid& id, const QString& name)
{
    // The members as they will be, written whole together with the group's removal: a library of
    // thousands of members is one transaction, and a refusal leaves the group and its members as
    // they were, in the file and on screen.
    QList<VeskItem> members;
    for (const VeskItem& item : std::as_const(m_items)) {
        if (item.groupID == id) {
            members.append(item);
            members.last().groupID.reset();
        }
    }
    if (m_database) {
        if (auto deleted = m_database->deleteGroup(id, members); !deleted) {
            veskLog(QStringLiteral("Vesk group delete error: ") + deleted.error().logText());
            reportRefused(QStringLiteral("Group not deleted"), quotedItemTitle(name) + QStringLiteral(" was not deleted"),
                          deleted.error());
            return false;
        }
    }

    QList<VeskGroup> groups = m_groups;
    groups.removeIf([&](const VeskGroup& g) { return g.id == id; });
    setGroups(groups);
    if (!members.isEmpty()) {
        for (VeskItem& item : m_items) {
            if (item.groupID == id)
                item.groupID.reset();
        }
        emit itemsChanged();
    }

    refreshSearchAfterChange();
    m_services.recoverySnapshots->noteChange();
    return true;
}

} // namespace vesk
