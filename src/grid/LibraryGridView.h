#pragma once

#include "platform/CoalescedCall.h"
#include "present/VeskGroupFilter.h"
#include "grid/ResultStates.h"
#include "model/VeskItem.h"

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <optional>

class QMenu;

namespace vesk {

class VeskStore;
class LibraryGridCanvas;
class ResultsHeaderWidget;
class SelectionBarWidget;
class RecentLimitBannerWidget;
class EmptyResultsStateWidget;
class PreparingSearchStateWidget;

// The library column of the main window: the results header with the selection bar, and the
// card grid with its recent-items banner and empty state. It owns the browsing state the grid
// needs (group filter, "Show All", the surface pulse and the capture pulse); the window reads and
// sets it through the accessors and hosts the prompts the grid asks for through its signals.
class LibraryGridView : public QWidget {
    Q_OBJECT
public:
    explicit LibraryGridView(VeskStore& store, QWidget* parent = nullptr);
    ~LibraryGridView() override;

    VeskGroupFilter groupFilter() const { return m_groupFilter; }
    void setGroupFilter(const VeskGroupFilter& filter);
    bool showingAllVesks() const { return m_showingAllVesks; }
    void setShowingAllVesks(bool showing);
    bool surfacePulse() const { return m_surfacePulse; }
    void setSurfacePulse(bool pulse);
    std::optional<QUuid> capturePulseID() const { return m_capturePulseID; }
    void setCapturePulseID(const std::optional<QUuid>& id);
    // True while the grid itself moves the selection to the top result of the search being
    // typed (not the user's own choice).
    bool selectingForSearch() const { return m_selectingForSearch; }

    // The one list the window shows; the keyboard commands work from it too. A list narrowed
    // from the store's results is kept and given again while they and the browsing state are
    // as they were.
    QList<VeskItem> visibleItems() const;

    // Click on a card: Control toggles (with or without Shift), Shift extends over the visible
    // list, a plain click selects the card alone.
    void handleCardClick(const VeskItem& item, Qt::KeyboardModifiers modifiers);
    void selectAllVisible();
    // Empties the multi-selection; the focused item stays.
    void clearMultiSelection();
    // Saves the item into the group (none: no group) and posts the "Moved" notice.
    void moveItemToGroup(const VeskItem& item, const std::optional<QUuid>& groupID, const QString& targetName);
    // Builds the card's context menu; the caller owns it.
    QMenu* buildCardContextMenu(const VeskItem& item, QWidget* parent = nullptr);
    // Commands whose prompt or confirmation the window cannot present: their menu entries are
    // left out (and the selection bar's delete button hidden) instead of opening nothing.
    void setUnavailableActions(const QSet<CardMenuAction>& actions);
    const QSet<CardMenuAction>& unavailableActions() const { return m_unavailableActions; }

    LibraryGridCanvas* canvas() const { return m_canvas; }
    ResultsHeaderWidget* resultsHeader() const { return m_header; }
    SelectionBarWidget* selectionBar() const { return m_selectionBar; }
    RecentLimitBannerWidget* recentLimitBanner() const { return m_banner; }
    EmptyResultsStateWidget* emptyResultsState() const { return m_empty; }
    PreparingSearchStateWidget* preparingSearchState() const { return m_preparing; }

    // Brings the header, banner and cards up to date at once instead of on the next turn.
    void refreshNow();

signals:
    void groupFilterChanged();
    void showingAllVesksChanged();
    void surfacePulseChanged();
    void capturePulseIDChanged();
    // The rename prompt, starting from the display title.
    void renameRequested(const QUuid& itemID, const QString& initialTitle);
    // The delete confirmation for the store's current selection.
    void deleteConfirmationRequested();
    // The new-group prompt, for the item the group is made for.
    void newGroupRequested(const QUuid& itemID);

private:
    void scheduleRefresh();
    void reactToSearchText();
    void reactToPublishedResults();
    void applyMenuAction(const CardMenuEntry& entry, const VeskItem& item);
    void addMenuEntries(QMenu* menu, const QList<CardMenuEntry>& entries, const VeskItem& item);

    VeskStore& m_store;
    VeskGroupFilter m_groupFilter = VeskGroupFilter::all();
    bool m_showingAllVesks = false;
    bool m_surfacePulse = false;
    std::optional<QUuid> m_capturePulseID;
    CoalescedCall m_refresh{this, [this] { refreshNow(); }};
    // From a new search text until the selection is changed by anything but the search itself:
    // each list published for that text brings the selection to its top.
    bool m_selectionFollowsResults = false;
    bool m_selectingForSearch = false;
    // The store's results narrowed for browsing (a group's items, "No Group", the newest), kept
    // from one refresh to the next: narrowing reads every result, and a selection, a hint or a
    // pulse changes none. Kept while the results read the same (the store says every change of
    // them, in place too, by filteredItemsChanged, counted here) under the same filter. Neither
    // "Show All" (a narrowed list is one that it does not show whole) nor the groups (an item is
    // admitted by its own group identifier) change it.
    struct NarrowedResults {
        quint64 resultsVersion = 0;
        const VeskItem* resultsData = nullptr;
        qsizetype resultsSize = 0;
        VeskGroupFilter filter = VeskGroupFilter::all();
        // Every result is in the group browsed ("No Group" in a library without groups): the
        // results are shown where the store keeps them, as when shown whole, not as a copy of
        // the library. Otherwise items holds those that are.
        bool admitsAll = false;
        QList<VeskItem> items;
    };
    // The narrowed results, made anew when what they were made from has changed.
    const NarrowedResults& narrowedResults() const;
    mutable std::optional<NarrowedResults> m_narrowed;
    quint64 m_resultsVersion = 0;
    // What the last refresh showed, to tell a new list from an updated one.
    QString m_shownSearchText;
    VeskGroupFilter m_shownFilter = VeskGroupFilter::all();
    std::optional<QUuid> m_shownSelectedID;

    ResultsHeaderWidget* m_header = nullptr;
    SelectionBarWidget* m_selectionBar = nullptr;
    QSet<CardMenuAction> m_unavailableActions;
    LibraryGridCanvas* m_canvas = nullptr;
    RecentLimitBannerWidget* m_banner = nullptr;
    EmptyResultsStateWidget* m_empty = nullptr;
    PreparingSearchStateWidget* m_preparing = nullptr;
};

} // namespace vesk
