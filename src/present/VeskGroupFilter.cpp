#include "present/VeskGroupFilter.h"

namespace vesk {

bool VeskGroupFilter::admits(const VeskItem& item) const
{
    switch (m_case) {
    case Case::All: return true;
    case Case::Ungrouped: return !item.groupID.has_value();
    case Case::Group: return item.groupID.has_value() && *item.groupID == m_groupID;
    }
    return true;
}

bool isBlankSearch(const QString& searchText)
{
    return searchText.trimmed().isEmpty();
}

QList<VeskItem> visibleItems(const QString& searchText, const QList<VeskItem>& filteredItems,
                             const VeskGroupFilter& filter, bool showingAllVesks, int recentLimit)
{
    if (showsResultsWhole(searchText, filter, showingAllVesks))
        return filteredItems;
    if (filter.isAll())
        return filteredItems.first(std::min<qsizetype>(recentLimit, filteredItems.size()));
    QList<VeskItem> shown;
    for (const VeskItem& item : filteredItems) {
        if (filter.admits(item))
            shown.append(item);
    }
    return shown;
}

bool showsResultsWhole(const QString& searchText, const VeskGroupFilter& filter, bool showingAllVesks)
{
    return !isBlankSearch(searchText) || (filter.isAll() && showingAllVesks);
}

bool recentCutApplies(const QString& searchText, qsizetype filteredCount, const VeskGroupFilter& filter,
                      bool showingAllVesks, int recentLimit)
{
    return isBlankSearch(searchText) && filter.isAll() && !showingAllVesks && filteredCount > recentLimit;
}

SearchReaction searchReactionFor(const QString& newSearchText, const QList<VeskItem>& filteredItems)
{
    SearchReaction reaction;
    if (isBlankSearch(newSearchText)) {
        reaction.resetPulse = true;
        return reaction;
    }
    if (filteredItems.isEmpty())
        return reaction;
    reaction.selectID = filteredItems.first().id;
    reaction.togglePulse = true;
    return reaction;
}

std::optional<QUuid> focusForPublishedResults(const QString& searchText, const QList<VeskItem>& results,
                                              const std::optional<QUuid>& focusedID)
{
    if (isBlankSearch(searchText) || results.isEmpty() || focusedID == results.first().id)
        return std::nullopt;
    return results.first().id;
}

} // namespace vesk
