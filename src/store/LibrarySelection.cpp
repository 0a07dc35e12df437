#include "store/LibrarySelection.h"

#include "store/PublishedValue.h"

#include <algorithm>

namespace vesk {

LibrarySelection::LibrarySelection(Hooks hooks, QObject* parent) : QObject(parent), m_hooks(std::move(hooks)) {}

void LibrarySelection::setSelectedID(const std::optional<QUuid>& value)
{
    if (assignChanged(m_selectedID, value))
        emit selectedIDChanged();
}

void LibrarySelection::setSelectedIDs(const QSet<QUuid>& value)
{
    if (assignChanged(m_selectedIDs, value))
        emit selectedIDsChanged();
}

void LibrarySelection::select(const QUuid& id)
{
    selectWithoutRecordingUse(id);
    m_hooks.recordUse(id);
    m_hooks.clearBroughtBack(id);
}

void LibrarySelection::toggle(const QUuid& id)
{
    if (m_selectedIDs.contains(id)) {
        QSet<QUuid> remaining = m_selectedIDs;
        remaining.remove(id);
        setSelectedIDs(remaining);
        return;
    }
    QSet<QUuid> extended = m_selectedIDs;
    extended.insert(id);
    setSelectedIDs(extended);
    setSelectedID(id);
    m_hooks.recordUse(id);
}

void LibrarySelection::extend(const QUuid& id, const QList<VeskItem>& visible)
{
    auto positionOf = [&visible](const QUuid& wanted) -> qsizetype {
        for (qsizetype i = 0; i < visible.size(); ++i) {
            if (visible[i].id == wanted)
                return i;
        }
        return -1;
    };

    const qsizetype target = positionOf(id);
    if (target < 0)
        return;

    std::optional<QUuid> anchor = m_selectedID;
    if (!anchor && !m_selectedIDs.isEmpty())
        anchor = *m_selectedIDs.cbegin();
    const qsizetype anchorPosition = anchor ? positionOf(*anchor) : -1;
    if (anchorPosition < 0) {
        select(id);
        return;
    }

    QSet<QUuid> extended = m_selectedIDs;
    for (qsizetype i = std::min(target, anchorPosition); i <= std::max(target, anchorPosition); ++i)
        extended.insert(visible[i].id);
    setSelectedIDs(extended);
    setSelectedID(id);
    m_hooks.recordUse(id);
}

void LibrarySelection::selectItems(const QList<VeskItem>& items)
{
    QSet<QUuid> ids;
    ids.reserve(items.size());
    for (const VeskItem& item : items)
        ids.insert(item.id);
    setSelectedIDs(ids);
    if (!m_selectedID && !items.isEmpty())
        setSelectedID(items.first().id);
}

void LibrarySelection::selectWithoutRecordingUse(const QUuid& id)
{
    setSelectedIDs(QSet<QUuid>{id});
    setSelectedID(id);
}

void LibrarySelection::forget(const QSet<QUuid>& ids)
{
    if (m_selectedID && ids.contains(*m_selectedID))
        setSelectedID(std::nullopt);
    QSet<QUuid> remaining = m_selectedIDs;
    remaining.subtract(ids);
    setSelectedIDs(remaining);
}

} // namespace vesk
