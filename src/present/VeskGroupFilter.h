#pragma once

#include "model/VeskItem.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// How many of the newest items the unfiltered browse list shows until "Show All".
inline constexpr int kRecentVeskLimit = 120;

// The main window's browsing filter: one group, every item, or the items without a group.
class VeskGroupFilter {
public:
    enum class Case { Group, All, Ungrouped };

    static VeskGroupFilter all() { return VeskGroupFilter(Case::All, {}); }
    static VeskGroupFilter ungrouped() { return VeskGroupFilter(Case::Ungrouped, {}); }
    static VeskGroupFilter group(const QUuid& id) { return VeskGroupFilter(Case::Group, id); }

    Case filterCase() const { return m_case; }
    bool isAll() const { return m_case == Case::All; }
    // The group's identifier for the group case; none otherwise.
    std::optional<QUuid> groupID() const
    {
        return m_case == Case::Group ? std::optional<QUuid>(m_groupID) : std::nullopt;
    }
    // Whether an item belongs in this filter's browse list.
    bool admits(const VeskItem& item) const;

    friend bool operator==(const VeskGroupFilter& a, const VeskGroupFilter& b)
    {
        return a.m_case == b.m_case && (a.m_case != Case::Group || a.m_groupID == b.m_groupID);
    }

private:
    VeskGroupFilter(Case c, const QUuid& id) : m_case(c), m_groupID(id) {}
    Case m_case;
    QUuid m_groupID;
};

// Only whitespace and line breaks count as blank.
bool isBlankSearch(const QString& searchText);

// What the main window shows: while searching, the store's results as they are; while browsing,
// the results narrowed by the group filter and, for "all" without "Show All", cut to the newest
// kRecentVeskLimit.
QList<VeskItem> visibleItems(const QString& searchText, const QList<VeskItem>& filteredItems,
                             const VeskGroupFilter& filter, bool showingAllVesks,
                             int recentLimit = kRecentVeskLimit);

// Whether visibleItems is the store's results whole: while searching, and for "all" with "Show All".
bool showsResultsWhole(const QString& searchText, const VeskGroupFilter& filter, bool showingAllVesks);

// Whether the recent cut hides anything: blank search, filter "all", not showing all and more
// than the limit in the results.
bool recentCutApplies(const QString& searchText, qsizetype filteredCount, const VeskGroupFilter& filter,
                      bool showingAllVesks, int recentLimit = kRecentVeskLimit);

// The window's answer to a new search text.
struct SearchReaction {
    // The item to select quietly (the top of the results the user is looking at), if any.
    std::optional<QUuid> selectID;
    // Toggle the surface pulse (true) or reset it to false (false when clearing).
    bool togglePulse = false;
    bool resetPulse = false;
};
SearchReaction searchReactionFor(const QString& newSearchText, const QList<VeskItem>& filteredItems);

// The item to focus when results for a search are published while the selection follows the
// typing: their top item, also when the focused one is among them further down (a later pass
// reorders what a quick first one found), so the preview shows the top card. None while
// browsing, for an empty list, or when the top item is focused already.
std::optional<QUuid> focusForPublishedResults(const QString& searchText, const QList<VeskItem>& results,
                                              const std::optional<QUuid>& focusedID);

} // namespace vesk
