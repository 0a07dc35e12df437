#pragma once

#include "grid/MenuEntry.h"
#include "present/VeskGroupFilter.h"
#include "model/VeskItem.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// Texts with a count: the number, then the literal text around it.
QString totalCountText(qsizetype count);          // "12 total"
QString importingCountText(int count);            // "Importing 2"
QString selectionCountText(qsizetype count);      // "3 selected"
QString recentLimitBannerText(int limit);         // "Showing the 120 most recent Vesks"
QString showAllCountText(qsizetype count);        // "Show All 121"

// "All Vesks", "No Group", the group's name, or "Group" for a group that no longer exists.
QString groupFilterTitle(const VeskGroupFilter& filter, const QList<VeskGroup>& groups);

// The left block of the results header while browsing.
struct BrowseHeaderTexts {
    QString title;
    std::optional<QString> subtitle;
    std::optional<QString> toggleButton; // "Show All" / "Show Recent"

    friend bool operator==(const BrowseHeaderTexts&, const BrowseHeaderTexts&) = default;
};
BrowseHeaderTexts browseHeaderTexts(const VeskGroupFilter& filter, bool showingAllVesks,
                                    qsizetype filteredCount, const QList<VeskGroup>& groups,
                                    int recentLimit = kRecentVeskLimit);

// The item the detail column shows: looked up in the whole library, none when the selection
// names nothing there.
std::optional<VeskItem> detailPaneItem(const QList<VeskItem>& items, const std::optional<QUuid>& selectedID);

// The grid's adaptive columns: as many as fit at the minimum width, each as wide as the space
// allows up to the maximum.
struct GridColumns {
    int count = 1;
    double width = 170;
};
inline constexpr int kGridMinimumColumn = 170;
inline constexpr int kGridMaximumColumn = 220;
inline constexpr int kGridSpacing = 14;
GridColumns gridColumnsFor(double availableWidth);

// The entries of a card's context menu, in order.
enum class CardMenuAction {
    ToggleSelection,
    SelectAllVisible,
    Rename,
    BrowseAll,
    BrowseUngrouped,
    BrowseGroup,
    MoveToNoGroup,
    MoveToGroup,
    NewGroup,
    DeleteThis,
    DeleteSelected,
};
using CardMenuEntry = MenuEntry<CardMenuAction>;
QList<CardMenuEntry> cardContextMenuEntries(const VeskItem& item, const QSet<QUuid>& selectedIDs,
                                            const QList<VeskGroup>& groups, const VeskGroupFilter& filter);
// The same entries as the "Open Group" submenu; the header's "Browse Groups" menu shows them too.
QList<CardMenuEntry> groupBrowseMenuEntries(const QList<VeskGroup>& groups, const VeskGroupFilter& filter);

} // namespace vesk
