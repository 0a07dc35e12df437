// The focused item and the multi-selection: the store's operations forward to its selection area.
#include "store/VeskStore.h"

#include "store/LibrarySelection.h"

namespace vesk {

void VeskStore::makeLibrarySelection()
{
    LibrarySelection::Hooks hooks;
    hooks.recordUse = [this](const QUuid& id) { recordUsage(id); };
    hooks.clearBroughtBack = [this](const QUuid& id) { clearBroughtBack(id); };
    m_selection = std::make_unique<LibrarySelection>(std::move(hooks));
    connect(m_selection.get(), &LibrarySelection::selectedIDChanged, this, &VeskStore::selectedIDChanged);
    connect(m_selection.get(), &LibrarySelection::selectedIDsChanged, this, &VeskStore::selectedIDsChanged);
}

const std::optional<QUuid>& VeskStore::selectedID() const
{
    return m_selection->selectedID();
}

void VeskStore::setSelectedID(const std::optional<QUuid>& value)
{
    assertMainThread();
    m_selection->setSelectedID(value);
}

const QSet<QUuid>& VeskStore::selectedIDs() const
{
    return m_selection->selectedIDs();
}

void VeskStore::setSelectedIDs(const QSet<QUuid>& value)
{
    assertMainThread();
    m_selection->setSelectedIDs(value);
}

void VeskStore::select(const QUuid& id)
{
    assertMainThread();
    m_selection->select(id);
}

void VeskStore::toggleSelection(const QUuid& id)
{
    assertMainThread();
    m_selection->toggle(id);
}

void VeskStore::extendSelection(const QUuid& id, const QList<VeskItem>& visible)
{
    assertMainThread();
    m_selection->extend(id, visible);
}

void VeskStore::selectItems(const QList<VeskItem>& items)
{
    assertMainThread();
    m_selection->selectItems(items);
}

void VeskStore::selectWithoutRecordingUse(const QUuid& id)
{
    assertMainThread();
    m_selection->selectWithoutRecordingUse(id);
}

std::optional<QString> VeskStore::retrievalHint(const QUuid& id) const
{
    const auto it = retrievalHints().constFind(id);
    if (it == retrievalHints().cend())
        return std::nullopt;
    return *it;
}

} // namespace vesk
