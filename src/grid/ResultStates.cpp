#include "grid/ResultStates.h"

#include <algorithm>
#include <cmath>

namespace vesk {

QString totalCountText(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" total");
}

QString importingCountText(int count)
{
    return QStringLiteral("Importing ") + QString::number(count);
}

QString selectionCountText(qsizetype count)
{
    return QString::number(count) + QStringLiteral(" selected");
}

QString recentLimitBannerText(int limit)
{
    return QStringLiteral("Showing the ") + QString::number(limit) + QStringLiteral(" most recent Vesks");
}

QString showAllCountText(qsizetype count)
{
    return QStringLiteral("Show All ") + QString::number(count);
}

QString groupFilterTitle(const VeskGroupFilter& filter, const QList<VeskGroup>& groups)
{
    switch (filter.filterCase()) {
    case VeskGroupFilter::Case::All: return QStringLiteral("All Vesks");
    case VeskGroupFilter::Case::Ungrouped: return QStringLiteral("No Group");
    case VeskGroupFilter::Case::Group:
        for (const VeskGroup& group : groups) {
            if (group.id == *filter.groupID())
                return group.name;
        }
        return QStringLiteral("Group");
    }
    return QStringLiteral("All Vesks");
}

BrowseHeaderTexts browseHeaderTexts(const VeskGroupFilter& filter, bool showingAllVesks,
                                    qsizetype filteredCount, const QList<VeskGroup>& groups, int recentLimit)
{
    BrowseHeaderTexts texts;
    const bool recentCut = filter.isAll() && filteredCount > recentLimit;
    if (filter.isAll())
        texts.title = showingAllVesks ? QStringLiteral("All Vesks") : QStringLiteral("Recent Vesks");
    else
        texts.title = groupFilterTitle(filter, groups);
    if (recentCut) {
        texts.subtitle = showingAllVesks ? QStringLiteral("Browsing the full library.")
                                         : QStringLiteral("Search still reaches every Vesk.");
        texts.toggleButton = showingAllVesks ? QStringLiteral("Show Recent") : QStringLiteral("Show All");
    } else if (!filter.isAll()) {
        texts.subtitle = QStringLiteral("Search still reaches every Vesk.");
    }
    return texts;
}

std::optional<VeskItem> detailPaneItem(const QList<VeskItem>& items, const std::optional<QUuid>& selectedID)
{
    if (!selectedID)
        return std::nullopt;
    for (const VeskItem& item : items) {
        if (item.id == *selectedID)
            return item;
    }
    return std::nullopt;
}

GridColumns gridColumnsFor(double availableWidth)
{
    GridColumns columns;
    const double width = std::max(0.0, availableWidth);
    columns.count = std::max(1, int(std::floor((width + kGridSpacing) / (kGridMinimumColumn + kGridSpacing))));
    const double share = (width - kGridSpacing * (columns.count - 1)) / columns.count;
    columns.width = std::clamp(share, double(kGridMinimumColumn), double(kGridMaximumColumn));
    return columns;
}

namespace {

CardMenuEntry action(const QString& title, CardMenuAction what, bool checked = false,
                     std::optional<QUuid> group = std::nullopt, bool destructive = false)
{
    CardMenuEntry entry;
    entry.title = title;
    entry.action = what;
    entry.checked = checked;
    entry.groupID = group;
    entry.destructive = destructive;
    return entry;
}

CardMenuEntry marker(CardMenuEntry::Type type, const QString& title = {})
{
    CardMenuEntry entry;
    entry.type = type;
    entry.title = title;
    return entry;
}

} // namespace

QList<CardMenuEntry> groupBrowseMenuEntries(const QList<VeskGroup>& groups, const VeskGroupFilter& filter)
{
    QList<CardMenuEntry> entries;
    entries << action(QStringLiteral("All Vesks"), CardMenuAction::BrowseAll, filter == VeskGroupFilter::all());
    entries << action(QStringLiteral("No Group"), CardMenuAction::BrowseUngrouped,
                      filter == VeskGroupFilter::ungrouped());
    if (!groups.isEmpty()) {
        entries << marker(CardMenuEntry::Type::Divider);
        for (const VeskGroup& group : groups)
            entries << action(group.name, CardMenuAction::BrowseGroup, filter == VeskGroupFilter::group(group.id),
                              group.id);
    }
    return entries;
}

QList<CardMenuEntry> cardContextMenuEntries(const VeskItem& item, const QSet<QUuid>& selectedIDs,
                                            const QList<VeskGroup>& groups, const VeskGroupFilter& filter)
{
    QList<CardMenuEntry> entries;
    entries << action(selectedIDs.contains(item.id) ? QStringLiteral("Deselect") : QStringLiteral("Select"),
                      CardMenuAction::ToggleSelection);
    entries << action(QStringLiteral("Select All Visible"), CardMenuAction::SelectAllVisible);
    entries << marker(CardMenuEntry::Type::Divider);
    entries << action(QStringLiteral("Rename\u2026"), CardMenuAction::Rename);
    entries << marker(CardMenuEntry::Type::Divider);

    entries << marker(CardMenuEntry::Type::SubmenuBegin, QStringLiteral("Open Group"));
    entries << groupBrowseMenuEntries(groups, filter);
    entries << marker(CardMenuEntry::Type::SubmenuEnd);

    entries << marker(CardMenuEntry::Type::SubmenuBegin, QStringLiteral("Move Vesk to Group"));
    entries << action(QStringLiteral("No Group"), CardMenuAction::MoveToNoGroup, !item.groupID.has_value());
    if (!groups.isEmpty()) {
        entries << marker(CardMenuEntry::Type::Divider);
        for (const VeskGroup& group : groups)
            entries << action(group.name, CardMenuAction::MoveToGroup, item.groupID == group.id, group.id);
    }
    entries << marker(CardMenuEntry::Type::Divider);
    entries << action(QStringLiteral("New Group\u2026"), CardMenuAction::NewGroup);
    entries << marker(CardMenuEntry::Type::SubmenuEnd);

    entries << marker(CardMenuEntry::Type::Divider);
    if (selectedIDs.size() < 2)
        entries << action(QStringLiteral("Delete Vesk"), CardMenuAction::DeleteThis, false, std::nullopt, true);
    else
        entries << action(QStringLiteral("Delete Selected\u2026"), CardMenuAction::DeleteSelected, false,
                          std::nullopt, true);
    return entries;
}

} // namespace vesk
