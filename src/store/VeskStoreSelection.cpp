// The focused item and the multi-selection.
#include "store/VeskStore.h"

namespace vesk {

void VeskStore::select(const QUuid& id)
{
    assertMainThread();
    setSelectedIDs(QSet<QUuid>{id});
    setSelectedID(id);
    recordUsage(id);
    clearBroughtBack(id);
}

void VeskStore::toggleSelection(const QUuid& id)
{
    assertMainThread();
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
    recordUsage(id);
}

void VeskStore::extendSelection(const QUuid& id, const QList<VeskItem>& visible)
{
    assertMainThread();
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
    recordUsage(id);
}

void VeskStore::selectItems(const QList<VeskItem>& items)
{
    assertMainThread();
    QSet<QUuid> ids;
    ids.reserve(items.size());
    for (const VeskItem& item : items)
        ids.insert(item.id);
    setSelectedIDs(ids);
    if (!m_selectedID && !items.isEmpty())
        setSelectedID(items.first().id);
}

std::optional<QString> VeskStore::retrievalHint(const QUuid& id) const
{
    const auto it = m_retrievalHints.constFind(id);
    if (it == m_retrievalHints.cend())
        return std::nullopt;
    return *it;
}

} // namespace vesk
