#include "common/Eventually.h"
#include "grid/LibraryGridCanvas.h"
#include "grid/LibraryGridView.h"
#include "grid/ResultStatesWidgets.h"

#include "common/MenuPixels.h"
#include "common/TestEnvironment.h"
#include "common/TestPictures.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/WorkPool.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"
#include "store/VeskServices.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QMenu>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include "common/Fakes.h"
#include "store/StoreInternals.h"

#include <QPushButton>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace vesk {
namespace {

class LibraryGridTest : public ::testing::Test {
protected:
    static std::shared_ptr<test::FakeThumbnails> makeThumbnails()
    {
        auto fake = std::make_shared<test::FakeThumbnails>();
        fake->image = QImage(40, 30, QImage::Format_RGB32);
        fake->image.fill(Qt::darkGreen);
        return fake;
    }

    void SetUp() override
    {
        VeskServices services;
        services.clock = clock;
        services.settings = std::make_shared<MemorySettings>();
        services.dataDirectory = test::makeTempDirectory(QStringLiteral("grid"));
        services.thumbnails = thumbnails;
        services.lexicalSearchDelayMs = 1;
        services.deepSearchDelayMs = 2;
        store = std::make_unique<VeskStore>(services.completed());
    }

    QList<VeskItem> makeItems(int count, VeskKind kind = VeskKind::Text)
    {
        QList<VeskItem> items;
        for (int i = 0; i < count; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.kind = kind;
            item.title = QStringLiteral("Item %1").arg(i);
            item.createdAt = clock->now().addSecs(-i * 60);
            if (kind == VeskKind::Image)
                item.filePath = QStringLiteral("/managed/picture-%1.png").arg(i);
            items.append(item);
        }
        return items;
    }

    struct ScrolledGrid {
        LibraryGridCanvas* canvas = nullptr;
        qsizetype oneScreen = 0;
        qsizetype afterScroll = 0;
    };

    // A grid of 600 cards painted at its top and then at its end, with the given frame timing:
    // the cards it keeps then cover both screens.
    ScrolledGrid scrollThroughManyCards(std::shared_ptr<test::FakeTimers> timers, MotionClock now)
    {
        showGrid(makeItems(600));
        grid->setShowingAllVesks(true);
        grid->refreshNow();
        ScrolledGrid scrolled;
        scrolled.canvas = grid->canvas();
        scrolled.canvas->setFrameTiming(std::move(timers), std::move(now));
        scrolled.canvas->viewport()->repaint();
        // The trim the new list asks for runs on the turn after its first frame.
        QCoreApplication::processEvents();
        scrolled.oneScreen = scrolled.canvas->keptTitleCount();
        QScrollBar* bar = scrolled.canvas->verticalScrollBar();
        bar->setValue(bar->maximum());
        scrolled.canvas->viewport()->repaint();
        QCoreApplication::processEvents();
        scrolled.afterScroll = scrolled.canvas->keptTitleCount();
        return scrolled;
    }

    void showGrid(const QList<VeskItem>& items)
    {
        this->items = items;
        StoreInternals::setItems(*store, items);
        StoreInternals::setFilteredItems(*store, items);
        grid = std::make_unique<LibraryGridView>(*store);
        grid->resize(1000, 700);
        grid->show();
        grid->canvas()->setAnimationsEnabled(false);
        grid->refreshNow();
        QCoreApplication::processEvents();
    }

    void click(int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF centre = grid->canvas()->cardRect(index).center();
        QTest::mouseClick(grid->canvas()->viewport(), Qt::LeftButton, modifiers, centre.toPoint());
        grid->refreshNow();
    }

    QSet<QUuid> ids(std::initializer_list<int> indexes) const
    {
        QSet<QUuid> out;
        for (int i : indexes)
            out.insert(items[i].id);
        return out;
    }

    QAction* findAction(QMenu* menu, const QString& path)
    {
        const QStringList parts = path.split(QLatin1Char('/'));
        QMenu* current = menu;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QAction* found = nullptr;
            for (QAction* action : current->actions()) {
                if (action->text() == parts[i])
                    found = action;
            }
            if (!found)
                return nullptr;
            if (i == parts.size() - 1)
                return found;
            current = found->menu();
            if (!current)
                return nullptr;
        }
        return nullptr;
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<test::FakeThumbnails> thumbnails = makeThumbnails();
    std::unique_ptr<VeskStore> store;
    std::unique_ptr<LibraryGridView> grid;
    QList<VeskItem> items;
};

TEST_F(LibraryGridTest, ClicksAndModifiersDriveTheSelection)
{
    showGrid(makeItems(12));
    click(2);
    EXPECT_EQ(store->selectedID(), items[2].id);
    EXPECT_EQ(store->selectedIDs(), ids({2}));
    EXPECT_TRUE(grid->selectionBar()->isHidden());

    click(4, Qt::ControlModifier);
    EXPECT_EQ(store->selectedIDs(), ids({2, 4}));
    EXPECT_EQ(store->selectedID(), items[4].id);
    EXPECT_FALSE(grid->selectionBar()->isHidden());

    // Control wins over Shift: the card is toggled out again.
    click(4, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(store->selectedIDs(), ids({2}));

    // The focused card (4, toggled out but still focused) anchors the range.
    click(6, Qt::ShiftModifier);
    EXPECT_EQ(store->selectedIDs(), ids({2, 4, 5, 6}));
    EXPECT_EQ(store->selectedID(), items[6].id);

    // A plain click on a member of the multi-selection leaves it alone selected.
    click(3);
    EXPECT_EQ(store->selectedIDs(), ids({3}));

    // Between cards nothing happens.
    const QRectF first = grid->canvas()->cardRect(0);
    QTest::mouseClick(grid->canvas()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(int(first.right() + 7), int(first.center().y())));
    EXPECT_EQ(store->selectedIDs(), ids({3}));
}

TEST_F(LibraryGridTest, SelectionBarClearsOnlyTheMultiSelection)
{
    showGrid(makeItems(5));
    click(0);
    click(1, Qt::ControlModifier);
    click(2, Qt::ControlModifier);
    ASSERT_FALSE(grid->selectionBar()->isHidden());
    grid->selectionBar()->clearRequested();
    grid->refreshNow();
    EXPECT_TRUE(store->selectedIDs().isEmpty());
    EXPECT_EQ(store->selectedID(), items[2].id);
    EXPECT_TRUE(grid->selectionBar()->isHidden());
}

TEST_F(LibraryGridTest, ContextMenuDeletesWhatItSays)
{
    showGrid(makeItems(6));
    QSignalSpy deletes(grid.get(), &LibraryGridView::deleteConfirmationRequested);

    // One item selected: "Delete Vesk" on another card asks for that card alone.
    click(0);
    std::unique_ptr<QMenu> menu(grid->buildCardContextMenu(items[3]));
    ASSERT_EQ(findAction(menu.get(), QStringLiteral("Delete Selected\u2026")), nullptr);
    findAction(menu.get(), QStringLiteral("Delete Vesk"))->trigger();
    EXPECT_EQ(store->selectedIDs(), ids({3}));
    EXPECT_EQ(deletes.count(), 1);

    // Two others selected: the card offers to delete them and leaves the selection as it is.
    click(1);
    click(2, Qt::ControlModifier);
    menu.reset(grid->buildCardContextMenu(items[5]));
    ASSERT_EQ(findAction(menu.get(), QStringLiteral("Delete Vesk")), nullptr);
    findAction(menu.get(), QStringLiteral("Delete Selected\u2026"))->trigger();
    EXPECT_EQ(store->selectedIDs(), ids({1, 2}));
    EXPECT_EQ(deletes.count(), 2);

    menu.reset(grid->buildCardContextMenu(items[5]));
    findAction(menu.get(), QStringLiteral("Select All Visible"))->trigger();
    EXPECT_EQ(store->selectedIDs().size(), 6);
    menu.reset(grid->buildCardContextMenu(items[5]));
    findAction(menu.get(), QStringLiteral("Deselect"))->trigger();
    EXPECT_FALSE(store->selectedIDs().contains(items[5].id));

    QSignalSpy renames(grid.get(), &LibraryGridView::renameRequested);
    findAction(menu.get(), QStringLiteral("Rename\u2026"))->trigger();
    ASSERT_EQ(renames.count(), 1);
    EXPECT_EQ(renames.first().at(1).toString(), QStringLiteral("Item 5"));

    // Commands the window cannot present are left out instead of opening nothing.
    grid->setUnavailableActions({CardMenuAction::Rename, CardMenuAction::DeleteSelected});
    menu.reset(grid->buildCardContextMenu(items[5]));
    EXPECT_EQ(findAction(menu.get(), QStringLiteral("Rename\u2026")), nullptr);
    EXPECT_EQ(findAction(menu.get(), QStringLiteral("Delete Selected\u2026")), nullptr);
    EXPECT_NE(findAction(menu.get(), QStringLiteral("Select All Visible")), nullptr);
    EXPECT_TRUE(grid->selectionBar()->deleteButton()->isHidden());
}

TEST_F(LibraryGridTest, DeleteEntriesAreWrittenInTheDestructiveColour)
{
    showGrid(makeItems(4));
    qApp->setStyleSheet(applicationStyleSheet(Theme::current()));
    for (const bool several : {false, true}) {
        if (several) {
            click(0);
            click(2, Qt::ControlModifier);
        }
        std::unique_ptr<QMenu> menu(grid->buildCardContextMenu(items[1]));
        menu->ensurePolished();
        menu->adjustSize();
        QAction* remove = findAction(menu.get(), several ? QStringLiteral("Delete Selected\u2026")
                                                         : QStringLiteral("Delete Vesk"));
        ASSERT_NE(remove, nullptr);
        EXPECT_GT(test::reddishPixels(*menu, remove), 10);
        EXPECT_EQ(test::reddishPixels(*menu, findAction(menu.get(), QStringLiteral("Rename\u2026"))), 0);
    }
    qApp->setStyleSheet(QString());
}

TEST_F(LibraryGridTest, GroupMenusBrowseAndMoveWithANotice)
{
    QList<VeskItem> list = makeItems(4);
    const VeskGroup trips{QUuid::createUuid(), QStringLiteral("Trips"), clock->now()};
    list[1].groupID = trips.id;
    showGrid(list);
    store->setGroups({trips});

    std::unique_ptr<QMenu> menu(grid->buildCardContextMenu(items[0]));
    findAction(menu.get(), QStringLiteral("Open Group/Trips"))->trigger();
    EXPECT_EQ(grid->groupFilter(), VeskGroupFilter::group(trips.id));
    ASSERT_EQ(grid->visibleItems().size(), 1);
    EXPECT_EQ(grid->visibleItems().first().id, items[1].id);

    menu.reset(grid->buildCardContextMenu(items[0]));
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/Trips"))->trigger();
    ASSERT_TRUE(store->items()[store->indexOfItem(items[0].id)].groupID.has_value());
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Moved"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Item 0 \u2192 Trips"));
    EXPECT_EQ(store->intakeNotice()->relatedID, items[0].id);

    // Moving into the group it is already in still saves and still tells.
    const QUuid firstNotice = store->intakeNotice()->id;
    const VeskItem moved = store->items()[store->indexOfItem(items[0].id)];
    menu.reset(grid->buildCardContextMenu(moved));
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/Trips"))->trigger();
    EXPECT_NE(store->intakeNotice()->id, firstNotice);

    // A group deleted while the menu was open is not moved into.
    const QUuid lastNotice = store->intakeNotice()->id;
    menu.reset(grid->buildCardContextMenu(items[2]));
    store->setGroups({});
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/Trips"))->trigger();
    EXPECT_FALSE(store->items()[store->indexOfItem(items[2].id)].groupID.has_value());
    EXPECT_EQ(store->intakeNotice()->id, lastNotice);

    // The item changed while its menu was open: the move keeps the change; an item deleted
    // meanwhile is neither moved nor announced.
    menu.reset(grid->buildCardContextMenu(items[3]));
    VeskItem renamed = store->items()[store->indexOfItem(items[3].id)];
    renamed.title = QStringLiteral("Renamed meanwhile");
    ASSERT_TRUE(store->updateItem(renamed));
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/No Group"))->trigger();
    EXPECT_EQ(store->items()[store->indexOfItem(items[3].id)].title, QStringLiteral("Renamed meanwhile"));
    EXPECT_EQ(store->intakeNotice()->detail, QStringLiteral("Renamed meanwhile \u2192 No Group"));
    const QUuid renamedNotice = store->intakeNotice()->id;
    menu.reset(grid->buildCardContextMenu(items[3]));
    StoreInternals::setItems(*store, {store->items()[store->indexOfItem(items[0].id)]});
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/No Group"))->trigger();
    EXPECT_EQ(store->intakeNotice()->id, renamedNotice);
    EXPECT_LT(store->indexOfItem(items[3].id), 0);
    StoreInternals::setItems(*store, items);
    menu.reset(grid->buildCardContextMenu(items[2]));

    QSignalSpy newGroup(grid.get(), &LibraryGridView::newGroupRequested);
    findAction(menu.get(), QStringLiteral("Move Vesk to Group/New Group\u2026"))->trigger();
    ASSERT_EQ(newGroup.count(), 1);
    EXPECT_EQ(newGroup.first().at(0).value<QUuid>(), items[2].id);
}

// Browsing a group narrows the store's results by reading every one of them: the narrowed list is
// kept from one refresh to the next while the results stay as they were, and made anew when they
// change, in place too, so that an item that comes into the group shows at once.
TEST_F(LibraryGridTest, ABrowsedGroupIsNarrowedAgainOnlyWhenTheResultsChange)
{
    QList<VeskItem> list = makeItems(12);
    const VeskGroup trips{QUuid::createUuid(), QStringLiteral("Trips"), clock->now()};
    list[4].groupID = trips.id;
    showGrid(list);
    store->setGroups({trips});
    // The library's list is then the store's own: a move changes it where it lies.
    store->addText(QStringLiteral("Captured before browsing"));
    const auto shownIDs = [&] {
        QList<QUuid> ids;
        for (const VeskItem& item : grid->canvas()->state().visibleItems)
            ids.append(item.id);
        return ids;
    };

    grid->setGroupFilter(VeskGroupFilter::group(trips.id));
    grid->refreshNow();
    const QList<VeskItem> narrowed = grid->canvas()->state().visibleItems.list();
    ASSERT_EQ(shownIDs(), QList<QUuid>{items[4].id});
    for (const auto& change : std::initializer_list<std::function<void()>>{
             [&] { store->select(items[7].id); },
             [&] { store->toggleSelection(items[4].id); },
             [&] { grid->setSurfacePulse(!grid->surfacePulse()); },
             [&] { grid->setShowingAllVesks(true); }}) {
        change();
        grid->refreshNow();
        EXPECT_TRUE(grid->canvas()->state().visibleItems.list().isSharedWith(narrowed));
    }

    const VeskItem* front = store->items().constData();
    store->moveItemToGroup(items[9].id, trips.id, trips.name);
    ASSERT_EQ(store->items().constData(), front);
    grid->refreshNow();
    EXPECT_EQ(shownIDs(), (QList<QUuid>{items[4].id, items[9].id}));

    // "No Group", with grouped items left out, and once none is left in a group (shown where
    // the store keeps the results): a capture shows first.
    grid->setGroupFilter(VeskGroupFilter::ungrouped());
    for (const bool someGrouped : {true, false}) {
        if (!someGrouped) {
            store->moveItemToGroup(items[4].id, std::nullopt, QStringLiteral("No Group"));
            store->moveItemToGroup(items[9].id, std::nullopt, QStringLiteral("No Group"));
        }
        grid->refreshNow();
        EXPECT_EQ(shownIDs().size(), store->items().size() - (someGrouped ? 2 : 0));
        store->addText(QStringLiteral("Captured while browsing"));
        grid->refreshNow();
        ASSERT_FALSE(shownIDs().isEmpty());
        EXPECT_EQ(shownIDs().first(), store->items().constFirst().id);
    }
}

// The grid keeps its cards in a picture of their own and copies it onto the backdrop: the
// window shows what drawing each card onto the backdrop gives, pictures, tints and poses alike.
TEST_F(LibraryGridTest, CardsCopiedFromTheirPictureLookAsIfDrawnOnTheBackdrop)
{
    QList<VeskItem> mixed = makeItems(6);
    mixed += makeItems(6, VeskKind::Image);
    showGrid(mixed);
    store->setBroughtBackIDs({items[1].id});
    store->setSearchText(QStringLiteral("item"));
    grid->refreshNow();
    LibraryGridCanvas* canvas = grid->canvas();
    const QSize view = canvas->viewport()->size();
    const auto backdrop = [&](QSize size) {
        QImage image(size, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, size.width(), size.height());
        gradient.setColorAt(0, QColor(246, 243, 238));
        gradient.setColorAt(1, QColor(70, 110, 190));
        painter.fillRect(image.rect(), gradient);
        return image;
    };
    for (int round = 0; round < 2; ++round) {
        // The thumbnails arrive after the first paint.
        QImage throughPicture = backdrop(view);
        {
            QPainter painter(&throughPicture);
            canvas->paintFrame(painter, QRegion(throughPicture.rect()));
        }
        // Moved by a whole pixel, the painter draws each card itself.
        QImage direct = backdrop(view + QSize(0, 1));
        {
            QPainter painter(&direct);
            painter.translate(0, 1);
            canvas->paintFrame(painter, QRegion(QRect(QPoint(0, 0), view)));
        }
        direct = direct.copy(0, 1, view.width(), view.height());
        // Blending onto a clear picture first rounds each channel once more than a direct draw:
        // 2 levels on a quiet machine, 3 when the bands are shared out differently under load.
        EXPECT_LE(test::largestChannelDifference(throughPicture, direct), 3) << "round " << round;
        EXPECT_NE(throughPicture, backdrop(view)) << "the cards are painted";
        ASSERT_EVENTUALLY(canvas->keptPictureCount() > 0, 5000);
    }
}

TEST_F(LibraryGridTest, TypingSelectsTheTopResultWithoutRecordingAUse)
{
    showGrid(makeItems(5));
    store->setBroughtBackIDs({items[0].id});
    const bool pulseBefore = grid->surfacePulse();

    store->setSearchText(QStringLiteral("i"));
    EXPECT_EQ(store->selectedID(), items[0].id);
    EXPECT_EQ(store->selectedIDs(), ids({0}));
    EXPECT_NE(grid->surfacePulse(), pulseBefore);
    EXPECT_EQ(store->usageScore(items[0].id, clock->now()), 0.0);
    EXPECT_TRUE(store->broughtBackIDs().contains(items[0].id));

    store->setSearchText(QStringLiteral(" "));
    EXPECT_FALSE(grid->surfacePulse());
    EXPECT_EQ(store->selectedID(), items[0].id);

    // A click by the user is a use.
    grid->handleCardClick(items[0], Qt::NoModifier);
    EXPECT_GT(store->usageScore(items[0].id, clock->now()), 0.0);
}

TEST_F(LibraryGridTest, PublishedResultsBringTheSelectionToTheirTop)
{
    showGrid(makeItems(5));
    // Typing selects the top of the list as it stands; the results for the new text, once
    // published, move the selection to their own top.
    store->setSearchText(QStringLiteral("item 3"));
    ASSERT_EQ(store->selectedID(), items[0].id);
    StoreInternals::setFilteredItems(*store, {items[3], items[4]});
    EXPECT_EQ(store->selectedID(), items[3].id);
    EXPECT_EQ(store->selectedIDs(), ids({3}));
    // A later list for the same text that puts another result on top takes the selection along.
    StoreInternals::setFilteredItems(*store, {items[4], items[3]});
    EXPECT_EQ(store->selectedID(), items[4].id);
    // No results: nothing to move to.
    store->setSearchText(QStringLiteral("nothing"));
    StoreInternals::setFilteredItems(*store, {});
    EXPECT_EQ(store->selectedID(), items[4].id);

    // What the user picks afterwards is left alone by later lists.
    store->setSearchText(QStringLiteral("item"));
    StoreInternals::setFilteredItems(*store, {items[1], items[2]});
    EXPECT_EQ(store->selectedID(), items[1].id);
    grid->handleCardClick(items[2], Qt::NoModifier);
    StoreInternals::setFilteredItems(*store, {items[1]});
    EXPECT_EQ(store->selectedID(), items[2].id);
    EXPECT_EQ(store->usageScore(items[1].id, clock->now()), 0.0);
    // So is a card only taken out of the selected set: the focus stays, the set stays empty.
    store->setSearchText(QStringLiteral("ite"));
    ASSERT_EQ(store->selectedID(), items[1].id);
    grid->handleCardClick(items[1], Qt::ControlModifier);
    StoreInternals::setFilteredItems(*store, {items[2], items[1]});
    EXPECT_EQ(store->selectedID(), items[1].id);
    EXPECT_TRUE(store->selectedIDs().isEmpty());
}

TEST_F(LibraryGridTest, BannerAndEmptyStateFollowTheResults)
{
    showGrid(makeItems(121));
    EXPECT_EQ(grid->canvas()->state().visibleItems.size(), 120);
    EXPECT_FALSE(grid->recentLimitBanner()->isHidden());
    EXPECT_EQ(grid->resultsHeader()->content().browse.toggleButton, QStringLiteral("Show All"));
    EXPECT_EQ(grid->resultsHeader()->content().totalCount, 121);

    grid->recentLimitBanner()->showAllRequested();
    grid->refreshNow();
    EXPECT_TRUE(grid->showingAllVesks());
    EXPECT_TRUE(grid->recentLimitBanner()->isHidden());
    EXPECT_EQ(grid->canvas()->state().visibleItems.size(), 121);

    StoreInternals::setFilteredItems(*store, {});
    grid->refreshNow();
    EXPECT_FALSE(grid->emptyResultsState()->isHidden());
    StoreInternals::setFilteredItems(*store, items);
    grid->refreshNow();
    EXPECT_TRUE(grid->emptyResultsState()->isHidden());
}

TEST_F(LibraryGridTest, OnlyCardsInViewAskForThumbnails)
{
    showGrid(makeItems(600, VeskKind::Image));
    grid->setShowingAllVesks(true);
    grid->refreshNow();
    grid->canvas()->viewport()->repaint();
    QCoreApplication::processEvents();
    const auto [first, last] = grid->canvas()->visibleRange();
    ASSERT_GT(last, first);
    EXPECT_EQ(thumbnails->requests.size(), last - first);
    EXPECT_EQ(thumbnails->requests.last().second, 520);
    for (const QUuid& id : thumbnails->askedIDs()) {
        const qsizetype index = store->indexOfItem(id);
        EXPECT_TRUE(index >= first && index < last) << index;
    }

    // A second paint asks no one again; scrolling to the end asks only the new cards.
    grid->canvas()->viewport()->repaint();
    EXPECT_EQ(thumbnails->requests.size(), last - first);
    grid->canvas()->verticalScrollBar()->setValue(grid->canvas()->verticalScrollBar()->maximum());
    grid->canvas()->viewport()->repaint();
    const auto [endFirst, endLast] = grid->canvas()->visibleRange();
    EXPECT_EQ(endLast, 600);
    EXPECT_EQ(thumbnails->requests.size(), (last - first) + (endLast - endFirst));
}

TEST_F(LibraryGridTest, CapturePulseRestartsWhenItsCardComesIntoView)
{
    showGrid(makeItems(300));
    grid->setShowingAllVesks(true);
    grid->setCapturePulseID(items[250].id);
    grid->refreshNow();
    LibraryGridCanvas* canvas = grid->canvas();
    canvas->viewport()->repaint();
    QCoreApplication::processEvents();

    canvas->verticalScrollBar()->setValue(int(canvas->cardRect(250).top()) - 20);
    canvas->viewport()->repaint();
    // In view for the first time: the raised pose, then settling on the next turn.
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[250].id))[CardLook::Scale], 1.022);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[250].id))[CardLook::Scale], 1.005);

    // Out of view and back: raised again.
    canvas->verticalScrollBar()->setValue(0);
    canvas->viewport()->repaint();
    canvas->verticalScrollBar()->setValue(int(canvas->cardRect(250).top()) - 20);
    canvas->viewport()->repaint();
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[250].id))[CardLook::Scale], 1.022);

    // The window ends the pulse: the card rests at once.
    grid->setCapturePulseID(std::nullopt);
    grid->refreshNow();
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[250].id))[CardLook::CapturePresence], 0.0);
}

TEST_F(LibraryGridTest, HoverFollowsThePointer)
{
    showGrid(makeItems(10));
    LibraryGridCanvas* canvas = grid->canvas();
    QTest::mouseMove(canvas->viewport(), canvas->cardRect(3).center().toPoint());
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[3].id))[CardLook::Tilt], 1.0);
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[2].id))[CardLook::Tilt], 0.0);
    QTest::mouseMove(canvas->viewport(), canvas->cardRect(2).center().toPoint());
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[3].id))[CardLook::Tilt], 0.0);
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[2].id))[CardLook::Scale], 1.014);
}

// Records the regions the viewport is asked to paint.
class PaintRegions : public QObject {
public:
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

TEST_F(LibraryGridTest, AMovingCardRepaintsOnlyItsOwnPlaceUntilItSettles)
{
    showGrid(makeItems(30));
    LibraryGridCanvas* canvas = grid->canvas();
    auto frames = std::make_shared<test::FakeTimers>();
    canvas->setFrameTiming(frames, [frames] { return frames->nowMs(); });
    canvas->setAnimationsEnabled(true);
    canvas->viewport()->repaint();
    PaintRegions paints;
    canvas->viewport()->installEventFilter(&paints);

    QTest::mouseMove(canvas->viewport(), canvas->cardRect(3).center().toPoint());
    const int scroll = canvas->verticalScrollBar()->value();
    const QRect reach = canvas->cardRect(3).translated(0, -scroll).adjusted(-30, -30, 30, 40).toAlignedRect();
    // The hover's lift takes a few hundred milliseconds; the frames stop once it has settled.
    QCoreApplication::processEvents();
    for (int elapsedMs = 0; frames->pendingCount() > 0 && elapsedMs < 3000; elapsedMs += 16) {
        frames->advance(16);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(frames->pendingCount(), 0) << "a frame is still asked for after the card settled";
    EXPECT_GE(paints.regions.size(), 4);
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[3].id))[CardLook::Tilt], 1.0);
    // The first frame after the pointer moved may be the whole grid; the frames of the motion
    // are the card's own place.
    ASSERT_GE(paints.regions.size(), 3);
    for (qsizetype i = 1; i < paints.regions.size(); ++i) {
        EXPECT_TRUE(QRegion(reach).contains(paints.regions[i].boundingRect()))
            << "frame " << i << " painted " << paints.regions[i].boundingRect().width() << "x"
            << paints.regions[i].boundingRect().height();
    }
    EXPECT_LT(reach.width(), canvas->viewport()->width());
}

// A change of the results, of one card's content or of the selection repaints the places of the
// cards it changes and no other: the whole grid would paint every card and the window's
// backdrop behind it again for each letter typed.
TEST_F(LibraryGridTest, AChangeRepaintsOnlyTheCardsItChanges)
{
    struct Case {
        const char* name;
        // Changes the shown items (a copy of the painted ones) or the store; the indexes changed.
        std::function<QList<int>(QList<VeskItem>&, VeskStore&)> change;
    };
    const QList<Case> cases{
        {"one card's title", [](QList<VeskItem>& shown, VeskStore&) {
             shown[4].title = QStringLiteral("Renamed");
             return QList<int>{4};
         }},
        {"one result replaced", [this](QList<VeskItem>& shown, VeskStore&) {
             shown[7] = makeItems(1).first();
             return QList<int>{7};
         }},
        {"two results trade places", [](QList<VeskItem>& shown, VeskStore&) {
             std::swap(shown[2], shown[6]);
             return QList<int>{2, 6};
         }},
        {"the last result gone", [](QList<VeskItem>& shown, VeskStore&) {
             shown.removeLast();
             return QList<int>{9};
         }},
        {"the selection", [](QList<VeskItem>& shown, VeskStore& store) {
             store.select(shown[3].id);
             return QList<int>{3};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        showGrid(makeItems(10));
        LibraryGridCanvas* canvas = grid->canvas();
        ASSERT_EQ(canvas->visibleRange().second, 10) << "every card is in view";
        canvas->viewport()->repaint();
        QCoreApplication::processEvents();
        PaintRegions paints;
        canvas->viewport()->installEventFilter(&paints);

        QList<VeskItem> shown = items;
        const QList<int> changed = c.change(shown, *store);
        StoreInternals::setFilteredItems(*store, shown);
        grid->refreshNow();
        QCoreApplication::processEvents();

        QRegion painted;
        for (const QRegion& region : std::as_const(paints.regions))
            painted += region;
        QRegion expected;
        for (int index : changed) {
            // A card's place with its shadow and pose, give or take the pixel a card is moved by
            // to lie on whole pixels.
            expected += canvas->cardRect(index).adjusted(-31, -31, 31, 41).toAlignedRect();
            EXPECT_TRUE(painted.contains(canvas->cardRect(index).toAlignedRect())) << "card " << index;
        }
        EXPECT_TRUE((painted - expected).isEmpty())
            << "painted beyond the changed cards: " << (painted - expected).boundingRect().width() << "x"
            << (painted - expected).boundingRect().height();
        canvas->viewport()->removeEventFilter(&paints);
    }
}

TEST_F(LibraryGridTest, HoverSurvivesARefreshOfTheList)
{
    // Over 120 items the recent cut rebuilds the shown list on every refresh.
    showGrid(makeItems(200));
    LibraryGridCanvas* canvas = grid->canvas();
    QTest::mouseMove(canvas->viewport(), canvas->cardRect(3).center().toPoint());
    store->select(items[5].id);
    grid->refreshNow();
    EXPECT_DOUBLE_EQ((*canvas->lookOf(items[3].id))[CardLook::Tilt], 1.0);
}

TEST_F(LibraryGridTest, SelectionFromElsewhereIsScrolledIntoView)
{
    showGrid(makeItems(300));
    grid->setShowingAllVesks(true);
    grid->refreshNow();
    QScrollBar* bar = grid->canvas()->verticalScrollBar();
    bar->setValue(bar->maximum());

    store->select(items[1].id);
    grid->refreshNow();
    const QRectF card = grid->canvas()->cardRect(1);
    EXPECT_LE(bar->value(), card.top());
    EXPECT_GE(bar->value() + grid->canvas()->viewport()->height(), card.bottom());

    // A new search starts at the top of its results.
    bar->setValue(bar->maximum() / 2);
    store->setSearchText(QStringLiteral("item"));
    grid->refreshNow();
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(LibraryGridTest, AFastScrollWithdrawsTheThumbnailsOfTheCardsItPassed)
{
    thumbnails->hold = true;
    showGrid(makeItems(600, VeskKind::Image));
    grid->setShowingAllVesks(true);
    grid->refreshNow();
    grid->canvas()->viewport()->repaint();
    const QList<QUuid> firstScreen = thumbnails->askedIDs();
    ASSERT_FALSE(firstScreen.isEmpty());

    // Down to the end before any picture came: the decoder must not work through the top first.
    QScrollBar* bar = grid->canvas()->verticalScrollBar();
    bar->setValue(bar->maximum());
    grid->canvas()->viewport()->repaint();
    for (const QUuid& id : firstScreen)
        EXPECT_TRUE(thumbnails->withdrawn.value(id).isCancelled());
    EXPECT_EQ(grid->canvas()->withdrawnThumbnailCount(), firstScreen.size());
    const auto [first, last] = grid->canvas()->visibleRange();
    for (qsizetype i = first; i < last; ++i)
        EXPECT_FALSE(thumbnails->withdrawn.value(items[i].id).isCancelled());

    // Back up again: the withdrawn cards ask anew.
    bar->setValue(0);
    grid->canvas()->viewport()->repaint();
    EXPECT_EQ(thumbnails->askedIDs().count(firstScreen.first()), 2);
}

TEST_F(LibraryGridTest, CardsOfUnsavedItemsAreMarked)
{
    showGrid(makeItems(3));
    // The store refuses the row: the card of the changed item says so.
    sqlite3_exec(StoreInternals::database(*store)->nativeHandleForTesting(), "PRAGMA query_only = 1;", nullptr, nullptr, nullptr);
    VeskItem renamed = items[1];
    renamed.title = QStringLiteral("renamed");
    EXPECT_FALSE(store->updateItem(renamed));
    grid->refreshNow();
    EXPECT_EQ(grid->canvas()->state().unsavedIDs, QSet<QUuid>{items[1].id});
}

TEST_F(LibraryGridTest, TheGridLetsGoOfFarCardsOnlyOnceStillForTwoSeconds)
{
    auto timers = std::make_shared<test::FakeTimers>();
    const ScrolledGrid scrolled = scrollThroughManyCards(timers, [timers] { return timers->nowMs(); });
    ASSERT_GT(scrolled.oneScreen, 0);
    ASSERT_GT(scrolled.afterScroll, scrolled.oneScreen);
    LibraryGridCanvas* canvas = scrolled.canvas;
    const qsizetype afterScroll = scrolled.afterScroll;

    // Each frame puts the trim off: a frame just before it was due keeps everything for two
    // seconds more.
    struct Step {
        qint64 advanceMs;
        bool paintAfter;
        bool trimmed;
    };
    const Step steps[] = {
        {1500, true, false},
        {1000, false, false},
        {999, false, false},
        {1, false, true},
    };
    for (const Step& step : steps) {
        timers->advance(step.advanceMs);
        if (step.trimmed)
            EXPECT_LT(canvas->keptTitleCount(), afterScroll) << "at " << timers->nowMs() << " ms";
        else
            EXPECT_EQ(canvas->keptTitleCount(), afterScroll) << "at " << timers->nowMs() << " ms";
        if (step.paintAfter)
            canvas->viewport()->repaint();
    }
    EXPECT_EQ(timers->pendingCount(), 0);
}

TEST_F(LibraryGridTest, AStillGridKeepsOnlyThePicturesNearItsView)
{
    auto timers = std::make_shared<test::FakeTimers>();
    showGrid(makeItems(600, VeskKind::Image));
    grid->setShowingAllVesks(true);
    grid->refreshNow();
    LibraryGridCanvas* canvas = grid->canvas();
    canvas->setFrameTiming(timers, [timers] { return timers->nowMs(); });
    // Pictures reach the cards from a worker, through the event loop.
    const auto paintAndReceive = [canvas] {
        canvas->viewport()->repaint();
        workPool()->waitForDone();
        QCoreApplication::processEvents();
    };
    paintAndReceive();
    const qsizetype firstScreen = canvas->keptPictureCount();
    ASSERT_GT(firstScreen, 0);
    QScrollBar* bar = canvas->verticalScrollBar();
    bar->setValue(bar->maximum());
    paintAndReceive();
    const qsizetype bothScreens = canvas->keptPictureCount();
    ASSERT_GT(bothScreens, firstScreen);

    // Still for two seconds: the first screen's pictures go, those of the cards in view stay.
    timers->advance(2000);
    EXPECT_EQ(canvas->keptPictureCount(), bothScreens - firstScreen);
}

TEST_F(LibraryGridTest, ANewListKeepsOnlyTheCardsNearItsView)
{
    const ScrolledGrid scrolled = scrollThroughManyCards(std::make_shared<test::FakeTimers>(), [] { return qint64(0); });
    LibraryGridCanvas* canvas = scrolled.canvas;
    const qsizetype afterScroll = scrolled.afterScroll;

    const QList<VeskItem> fewer = items.mid(0, 40);
    ASSERT_GT(afterScroll, fewer.size());
    StoreInternals::setFilteredItems(*store, fewer);
    grid->refreshNow();
    canvas->viewport()->repaint();
    QCoreApplication::processEvents();
    EXPECT_LE(canvas->keptTitleCount(), fewer.size());
}

// A note captured while the grid shows the library, whole or its newest items, goes in front of
// the library's list where it lies: a share of the list kept by the grid would make the capture
// copy every other item first. The grid shows the note first after its refresh.
TEST_F(LibraryGridTest, ACaptureWhileTheGridShowsTheLibraryCopiesNoOtherItem)
{
    for (int i = 0; i < 130; ++i) {
        store->addText(QStringLiteral("Note %1 about the garden").arg(i));
        clock->advance(1);
    }
    QCoreApplication::processEvents();
    for (const bool showingAll : {true, false}) {
        SCOPED_TRACE(showingAll ? "Show All" : "the newest items");
        grid = std::make_unique<LibraryGridView>(*store);
        grid->resize(1000, 700);
        grid->show();
        grid->setShowingAllVesks(showingAll);
        grid->refreshNow();
        QCoreApplication::processEvents();
        for (int i = 0; i < 2; ++i) {
            const VeskItem* front = store->items().constData();
            store->addText(QStringLiteral("Captured %1 %2").arg(i).arg(showingAll));
            clock->advance(1);
            EXPECT_EQ(store->items().constData(), front - 1);
            QCoreApplication::processEvents();
            ASSERT_FALSE(grid->canvas()->state().visibleItems.isEmpty());
            EXPECT_EQ(grid->canvas()->state().visibleItems.first().id, store->items().constFirst().id);
        }
    }
}

} // namespace
} // namespace vesk
