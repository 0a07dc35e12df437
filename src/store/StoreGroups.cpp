// Groups: the store's operations forward to its groups area; the delete of a group follows the
// recovery snapshot and takes the group from its items.
#include "store/VeskStore.h"

#include "store/FailureWording.h"
#include "store/LibraryGroups.h"

#include <utility>

namespace vesk {

void VeskStore::makeLibraryGroups()
{
    LibraryGroups::Library library;
    library.database = [this] { return m_database.get(); };
    library.refuse = [this](const QString& title, const QString& whatDidNotHappen) {
        return refuseWhileReadOnly(title, whatDidNotHappen);
    };
    library.reportRefused = [this](const QString& title, const QString& whatDidNotHappen, const DatabaseError& error) {
        reportRefused(title, whatDidNotHappen, error);
    };
    m_groups = std::make_unique<LibraryGroups>(m_services.clock, m_services.recoverySnapshots, std::move(library));
    connect(m_groups.get(), &LibraryGroups::groupsChanged, this, &VeskStore::groupsChanged);
}

const QList<VeskGroup>& VeskStore::groups() const
{
    return m_groups->groups();
}

void VeskStore::setGroups(const QList<VeskGroup>& value)
{
    assertMainThread();
    m_groups->setGroups(value);
}

void VeskStore::sortGroups(QList<VeskGroup>& groups)
{
    LibraryGroups::sort(groups);
}

std::optional<VeskGroup> VeskStore::createGroup(const QString& name)
{
    assertMainThread();
    return m_groups->create(name);
}

bool VeskStore::renameGroup(const QUuid& id, const QString& name)
{
    assertMainThread();
    return m_groups->rename(id, name);
}

bool VeskStore::deleteGroup(const QUuid& id)
{
    assertMainThread();
    const std::optional<VeskGroup> group = m_groups->group(id);
    if (!group)
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
    if (!m_groups->remove(id, name, members))
        return false;
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
