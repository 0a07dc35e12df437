// Groups: the store's operations forward to its groups area (a group's delete is a destructive
// change, in StoreDeletion.cpp).
#include "store/VeskStore.h"

#include "store/LibraryGroups.h"
#include "store/LibraryFile.h"

#include <utility>

namespace vesk {

void VeskStore::makeLibraryGroups()
{
    LibraryGroups::Library library;
    library.database = [this] { return m_file->database(); };
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

} // namespace vesk
