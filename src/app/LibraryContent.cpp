#include "app/LibraryContent.h"

#include "app/MainWindowState.h"
#include "present/DisplayTitles.h"
#include "grid/LibraryGridView.h"
#include "imageeditor/VeskImageEditor.h"
#include "pane/SplitLayout.h"
#include "pane/VeskPreview.h"
#include "secureview/SecureVeskPreview.h"
#include "store/VeskStore.h"

#include <QVBoxLayout>

namespace vesk {

LibraryContent::LibraryContent(VeskStore& store, MainWindowState& state, std::shared_ptr<Settings> settings,
                               QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_grid = new LibraryGridView(store);
    m_preview = new VeskPreview(store);
    m_preview->followSelection();
    LibraryGridView* searchingGrid = m_grid;
    m_preview->holdSelectionsMovedBySearch([searchingGrid] { return searchingGrid->selectingForSearch(); });
    // A checklist glyph toggled in the pane is kept, not only shown.
    m_preview->setRichTextUpdater(
        [&store](const QUuid& id, const QByteArray& rtf) { store.updateRichText(id, rtf); });
    // Edit Image opens the editor as a sheet of the window; saving keeps a new version through the
    // store, and the editor stays open with its alert when that fails.
    VeskPreview::Sheets sheets;
    sheets.editImage = [&store](QWidget* pane, const VeskItem& item) {
        auto* editor = new VeskImageEditor(
            item,
            [&store, item](const QByteArray& data, const QString& extension, VeskImageEditor::SaveAnswer answer) {
                store.saveEditedImageLater(data, item, extension,
                                           [answer](const std::optional<VeskItem>& saved) { answer(saved.has_value()); });
            },
            pane->window());
        editor->setAttribute(Qt::WA_DeleteOnClose);
        editor->setWindowModality(Qt::WindowModal);
        editor->open();
    };
    m_preview->setSheets(std::move(sheets));
    m_preview->setSectionFactory(PreviewSection::Secure, [&store](const VeskItem& item, QWidget* parent) {
        return new SecureVeskPreview(store, item, nullptr, parent);
    });
    m_split = new SplitLayout(std::move(settings), m_grid, m_preview, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_split);

    LibraryGridView* grid = m_grid;
    MainWindowState* windowState = &state;

    // Window state -> grid. Both setters ignore equal values, so the two directions cannot loop.
    grid->setGroupFilter(state.groupFilter());
    grid->setShowingAllVesks(state.showingAllVesks());
    grid->setSurfacePulse(state.surfacePulse());
    grid->setCapturePulseID(state.capturePulseID());
    connect(&state, &MainWindowState::groupFilterChanged, grid, [=] { grid->setGroupFilter(windowState->groupFilter()); });
    connect(&state, &MainWindowState::showingAllVesksChanged, grid,
            [=] { grid->setShowingAllVesks(windowState->showingAllVesks()); });
    connect(&state, &MainWindowState::surfacePulseChanged, grid, [=] { grid->setSurfacePulse(windowState->surfacePulse()); });
    connect(&state, &MainWindowState::capturePulseIDChanged, grid,
            [=] { grid->setCapturePulseID(windowState->capturePulseID()); });

    // Grid -> window state: its banners, menus and search reaction change these.
    connect(grid, &LibraryGridView::groupFilterChanged, &state, [=] { windowState->setGroupFilter(grid->groupFilter()); });
    connect(grid, &LibraryGridView::showingAllVesksChanged, &state,
            [=] { windowState->setShowingAllVesks(grid->showingAllVesks()); });
    connect(grid, &LibraryGridView::surfacePulseChanged, &state, [=] { windowState->setSurfacePulse(grid->surfacePulse()); });

    // The prompts the grid asks for are sheets of the window, presented from its state.
    connect(grid, &LibraryGridView::renameRequested, &state, [=](const QUuid& id, const QString& title) {
        windowState->setRenameItemTitle(title);
        windowState->setPendingRenameItemID(id);
    });
    connect(grid, &LibraryGridView::deleteConfirmationRequested, &state,
            [=] { windowState->setShowingDeleteConfirmation(true); });
    connect(grid, &LibraryGridView::newGroupRequested, &state, [=](const QUuid& id) {
        windowState->setNewGroupName(QString());
        windowState->setPendingGroupItemID(id);
        windowState->setShowingNewGroupPrompt(true);
    });

    // Commands whose sheet the window cannot present are not offered.
    const auto updateAvailability = [=] {
        QSet<CardMenuAction> unavailable;
        if (!windowState->sheetAvailable(SheetFlag::RenamePrompt))
            unavailable.insert(CardMenuAction::Rename);
        if (!windowState->sheetAvailable(SheetFlag::NewGroupPrompt))
            unavailable.insert(CardMenuAction::NewGroup);
        if (!windowState->sheetAvailable(SheetFlag::DeleteConfirmation)) {
            unavailable.insert(CardMenuAction::DeleteThis);
            unavailable.insert(CardMenuAction::DeleteSelected);
        }
        grid->setUnavailableActions(unavailable);
    };
    updateAvailability();
    connect(&state, &MainWindowState::availableSheetsChanged, grid, updateAvailability);

    SplitLayout* split = m_split;
    VeskStore* storePtr = &store;
    split->setSearching(!store.searchText().isEmpty());
    split->setSurfacePulse(state.surfacePulse());
    connect(&store, &VeskStore::searchTextChanged, split, [=] { split->setSearching(!storePtr->searchText().isEmpty()); });
    connect(&state, &MainWindowState::surfacePulseChanged, split, [=] { split->setSurfacePulse(windowState->surfacePulse()); });
}

} // namespace vesk
