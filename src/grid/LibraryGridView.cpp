#include "grid/LibraryGridView.h"

#include "grid/LibraryGridCanvas.h"
#include "grid/VeskMenu.h"
#include "platform/BackgroundRelease.h"
#include "present/DisplayTitles.h"
#include "grid/ResultStatesWidgets.h"
#include "store/VeskStore.h"

#include <QContextMenuEvent>
#include <algorithm>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollBar>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace vesk {

LibraryGridView::LibraryGridView(VeskStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(18, 0, 18, 0);
    headerRow->setSpacing(12);
    m_header = new ResultsHeaderWidget(this);
    headerRow->addWidget(m_header, 1);
    m_selectionBar = new SelectionBarWidget(this);
    headerRow->addWidget(m_selectionBar, 0, Qt::AlignVCenter);
    column->addLayout(headerRow);

    m_canvas = new LibraryGridCanvas(store.services().thumbnails, this);
    column->addWidget(m_canvas, 1);
    m_banner = new RecentLimitBannerWidget;
    m_canvas->setTopWidget(m_banner);
    m_empty = new EmptyResultsStateWidget;
    m_preparing = new PreparingSearchStateWidget;
    m_canvas->setEmptyWidget(m_preparing);
    m_canvas->setEmptyWidget(m_empty);
    m_preparing->hide();

    connect(m_header, &ResultsHeaderWidget::toggleShowAllRequested, this,
            [this] { setShowingAllVesks(!m_showingAllVesks); });
    connect(m_banner, &RecentLimitBannerWidget::showAllRequested, this, [this] { setShowingAllVesks(true); });
    connect(m_selectionBar, &SelectionBarWidget::clearRequested, this, &LibraryGridView::clearMultiSelection);
    connect(m_selectionBar, &SelectionBarWidget::deleteRequested, this, &LibraryGridView::deleteConfirmationRequested);
    connect(m_canvas, &LibraryGridCanvas::cardClicked, this, &LibraryGridView::handleCardClick);
    connect(m_canvas, &LibraryGridCanvas::cardContextMenuRequested, this,
            [this](const VeskItem& item, const QPoint& position) {
                QMenu* menu = buildCardContextMenu(item, this);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(position);
            });

    // First, so that a refresh made by any other answer to the signal sees the results as new.
    connect(&store, &VeskStore::filteredItemsChanged, this, [this] { ++m_resultsVersion; });
    for (auto signal : {&VeskStore::itemsChanged, &VeskStore::groupsChanged, &VeskStore::filteredItemsChanged,
                        &VeskStore::selectedIDChanged, &VeskStore::selectedIDsChanged,
                        &VeskStore::importCountInProgressChanged, &VeskStore::richTextByIDChanged,
                        &VeskStore::retrievalHintsChanged, &VeskStore::broughtBackIDsChanged,
                        &VeskStore::unsavedItemIDsChanged, &VeskStore::savingItemIDsChanged,
                        &VeskStore::searchReadyChanged})
        connect(&store, signal, this, &LibraryGridView::scheduleRefresh);
    connect(&store, &VeskStore::searchTextChanged, this, [this] {
        reactToSearchText();
        scheduleRefresh();
    });
    connect(&store, &VeskStore::filteredItemsChanged, this, &LibraryGridView::reactToPublishedResults);
    // The user's own choice, of a card or of the selected set (a Control-click that only takes
    // a card out of it, Escape), ends the following: later results must not undo it.
    for (auto signal : {&VeskStore::selectedIDChanged, &VeskStore::selectedIDsChanged}) {
        connect(&store, signal, this, [this] {
            if (!m_selectingForSearch)
                m_selectionFollowsResults = false;
        });
    }
    refreshNow();
}

LibraryGridView::~LibraryGridView() = default;

void LibraryGridView::setGroupFilter(const VeskGroupFilter& filter)
{
    if (filter == m_groupFilter)
        return;
    m_groupFilter = filter;
    emit groupFilterChanged();
    scheduleRefresh();
}

void LibraryGridView::setShowingAllVesks(bool showing)
{
    if (showing == m_showingAllVesks)
        return;
    m_showingAllVesks = showing;
    emit showingAllVesksChanged();
    scheduleRefresh();
}

void LibraryGridView::setSurfacePulse(bool pulse)
{
    if (pulse == m_surfacePulse)
        return;
    m_surfacePulse = pulse;
    emit surfacePulseChanged();
    scheduleRefresh();
}

void LibraryGridView::setCapturePulseID(const std::optional<QUuid>& id)
{
    if (id == m_capturePulseID)
        return;
    m_capturePulseID = id;
    emit capturePulseIDChanged();
    scheduleRefresh();
}

QList<VeskItem> LibraryGridView::visibleItems() const
{
    const QList<VeskItem>& results = m_store.filteredItems();
    if (showsResultsWhole(m_store.searchText(), m_groupFilter, m_showingAllVesks))
        return results;
    const NarrowedResults& narrowed = narrowedResults();
    return narrowed.admitsAll ? results : narrowed.items;
}

const LibraryGridView::NarrowedResults& LibraryGridView::narrowedResults() const
{
    const QList<VeskItem>& results = m_store.filteredItems();
    if (m_narrowed && m_narrowed->resultsVersion == m_resultsVersion && m_narrowed->resultsData == results.constData()
        && m_narrowed->resultsSize == results.size() && m_narrowed->filter == m_groupFilter)
        return *m_narrowed;
    // The list replaced may be most of the library: it is freed on a worker.
    if (m_narrowed)
        releaseInBackground(std::move(m_narrowed->items));
    NarrowedResults narrowed{m_resultsVersion, results.constData(), results.size(), m_groupFilter};
    narrowed.admitsAll = !m_groupFilter.isAll()
        && std::all_of(results.cbegin(), results.cend(), [&](const VeskItem& item) { return m_groupFilter.admits(item); });
    if (!narrowed.admitsAll)
        narrowed.items = vesk::visibleItems(m_store.searchText(), results, m_groupFilter, m_showingAllVesks);
    m_narrowed = std::move(narrowed);
    return *m_narrowed;
}

void LibraryGridView::scheduleRefresh()
{
    m_refresh.request();
}

void LibraryGridView::refreshNow()
{
    m_refresh.settle();
    const QList<VeskItem>& filtered = m_store.filteredItems();
    const QString& searchText = m_store.searchText();

    ResultsHeaderContent header;
    header.searching = !isBlankSearch(searchText);
    header.browse = browseHeaderTexts(m_groupFilter, m_showingAllVesks, filtered.size(), m_store.groups());
    header.filteredCount = filtered.size();
    header.importCount = m_store.importCountInProgress();
    header.totalCount = m_store.items().size();
    m_header->setContent(header);

    m_selectionBar->setVisible(m_store.selectedIDs().size() > 1);
    m_selectionBar->setCount(m_store.selectedIDs().size());

    const bool banner = recentCutApplies(searchText, filtered.size(), m_groupFilter, m_showingAllVesks);
    m_banner->setCounts(kRecentVeskLimit, filtered.size());
    m_banner->setVisible(banner);

    GridState state;
    // The store's results shown whole are read where the store keeps them: a share kept here
    // would make the next capture copy the whole library.
    if (showsResultsWhole(searchText, m_groupFilter, m_showingAllVesks)) {
        state.visibleItems = GridItems::readInPlace(filtered);
        // Not kept while unused: once the canvas lets go of it, it is freed on a worker.
        m_narrowed.reset();
    } else if (const NarrowedResults& narrowed = narrowedResults(); narrowed.admitsAll) {
        state.visibleItems = GridItems::readInPlace(filtered);
    } else {
        state.visibleItems = narrowed.items;
    }
    state.selectedID = m_store.selectedID();
    state.selectedIDs = m_store.selectedIDs();
    state.searchText = searchText;
    if (!filtered.isEmpty())
        state.topResultID = filtered.first().id;
    state.broughtBackIDs = m_store.broughtBackIDs();
    state.retrievalHints = m_store.retrievalHints();
    state.richTextByID = m_store.richTextByID();
    state.unsavedIDs = m_store.unsavedItemIDs();
    state.savingIDs = m_store.savingItemIDs();
    state.surfacePulse = m_surfacePulse;
    state.capturePulseID = m_capturePulseID;
    // The empty state follows the store's results, not the narrowed list: an empty group shows
    // an empty grid without it. A search typed while start-up still prepares it says so instead.
    QWidget* emptyState = nullptr;
    if (filtered.isEmpty())
        emptyState = header.searching && !m_store.searchReady() ? static_cast<QWidget*>(m_preparing) : m_empty;
    for (QWidget* widget : {static_cast<QWidget*>(m_empty), static_cast<QWidget*>(m_preparing)}) {
        if (widget != emptyState)
            widget->hide();
    }
    m_canvas->setEmptyWidget(emptyState);
    m_canvas->setState(state);

    // A new search or another group is a new list: start at its top, where its first result is.
    // A selection moved from elsewhere (the keyboard, a search) is brought into view.
    if (searchText != m_shownSearchText || !(m_groupFilter == m_shownFilter))
        m_canvas->verticalScrollBar()->setValue(0);
    else if (state.selectedID && state.selectedID != m_shownSelectedID)
        m_canvas->scrollToItem(*state.selectedID);
    m_shownSearchText = searchText;
    m_shownFilter = m_groupFilter;
    m_shownSelectedID = state.selectedID;
}

void LibraryGridView::reactToSearchText()
{
    const SearchReaction reaction = searchReactionFor(m_store.searchText(), m_store.filteredItems());
    // The list is still the previous one: the results for the new text, when published, bring
    // the selection to their top, and so does each later list for it (a deeper pass reorders).
    m_selectionFollowsResults = !isBlankSearch(m_store.searchText());
    if (reaction.selectID) {
        // The program, not the user, moves the selection here: no use is recorded, so typing
        // does not feed the usage ranking, and a brought-back mark stays until the item is opened.
        const QScopedValueRollback guard(m_selectingForSearch, true);
        m_store.selectWithoutRecordingUse(*reaction.selectID);
    }
    if (reaction.togglePulse)
        setSurfacePulse(!m_surfacePulse);
    if (reaction.resetPulse)
        setSurfacePulse(false);
}

void LibraryGridView::reactToPublishedResults()
{
    if (!m_selectionFollowsResults)
        return;
    const std::optional<QUuid> focus =
        focusForPublishedResults(m_store.searchText(), m_store.filteredItems(), m_store.selectedID());
    if (!focus)
        return;
    const QScopedValueRollback guard(m_selectingForSearch, true);
    m_store.selectWithoutRecordingUse(*focus);
}

void LibraryGridView::handleCardClick(const VeskItem& item, Qt::KeyboardModifiers modifiers)
{
    // Control stands in for the other platform's Command key.
    if (modifiers & Qt::ControlModifier)
        m_store.toggleSelection(item.id);
    else if (modifiers & Qt::ShiftModifier)
        m_store.extendSelection(item.id, visibleItems());
    else
        m_store.select(item.id);
}

void LibraryGridView::selectAllVisible()
{
    m_store.selectItems(visibleItems());
}

void LibraryGridView::clearMultiSelection()
{
    m_store.setSelectedIDs({});
}

void LibraryGridView::moveItemToGroup(const VeskItem& item, const std::optional<QUuid>& groupID,
                                      const QString& targetName)
{
    m_store.moveItemToGroup(item.id, groupID, targetName);
}

void LibraryGridView::applyMenuAction(const CardMenuEntry& entry, const VeskItem& item)
{
    switch (entry.action) {
    case CardMenuAction::ToggleSelection: m_store.toggleSelection(item.id); break;
    case CardMenuAction::SelectAllVisible: selectAllVisible(); break;
    case CardMenuAction::Rename: emit renameRequested(item.id, cleanedDisplayTitle(item)); break;
    case CardMenuAction::BrowseAll: setGroupFilter(VeskGroupFilter::all()); break;
    case CardMenuAction::BrowseUngrouped: setGroupFilter(VeskGroupFilter::ungrouped()); break;
    case CardMenuAction::BrowseGroup:
        if (entry.groupID)
            setGroupFilter(VeskGroupFilter::group(*entry.groupID));
        break;
    case CardMenuAction::MoveToNoGroup: moveItemToGroup(item, std::nullopt, QStringLiteral("No Group")); break;
    case CardMenuAction::MoveToGroup: {
        // The menu may have stayed open while the group was deleted: an item must not point at
        // a group that is gone, nor a notice claim a move that did not happen.
        const QList<VeskGroup>& groups = m_store.groups();
        const bool exists = std::any_of(groups.cbegin(), groups.cend(),
                                        [&](const VeskGroup& group) { return group.id == entry.groupID; });
        if (exists)
            moveItemToGroup(item, entry.groupID, entry.title);
        break;
    }
    case CardMenuAction::NewGroup: emit newGroupRequested(item.id); break;
    case CardMenuAction::DeleteThis:
        m_store.select(item.id);
        emit deleteConfirmationRequested();
        break;
    case CardMenuAction::DeleteSelected: emit deleteConfirmationRequested(); break;
    }
}

void LibraryGridView::addMenuEntries(QMenu* menu, const QList<CardMenuEntry>& entries, const VeskItem& item)
{
    // The item is copied: the menu may outlive the list it was opened on.
    fillMenu<CardMenuAction>(
        menu, entries, this, [this, item](const CardMenuEntry& entry) { applyMenuAction(entry, item); },
        [this](const CardMenuEntry& entry) { return !m_unavailableActions.contains(entry.action); });
}

void LibraryGridView::setUnavailableActions(const QSet<CardMenuAction>& actions)
{
    m_unavailableActions = actions;
    m_selectionBar->setDeleteAvailable(!actions.contains(CardMenuAction::DeleteSelected));
}

QMenu* LibraryGridView::buildCardContextMenu(const VeskItem& item, QWidget* parent)
{
    auto* menu = new VeskMenu(parent);
    addMenuEntries(menu, cardContextMenuEntries(item, m_store.selectedIDs(), m_store.groups(), m_groupFilter), item);
    return menu;
}

} // namespace vesk
