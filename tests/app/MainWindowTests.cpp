// The main window offscreen: its frame, the content switch, the floating notices and their
// timers, the search field, the new-card pulse, the key monitor, sheets and drops.
#include "common/Eventually.h"
#include "AppTestSupport.h"

#include "app/CaptureDropZone.h"
#include "app/ControlsStrip.h"
#include "app/HeaderBar.h"
#include "app/LibrarySheets.h"
#include "app/MainWindowState.h"
#include "app/NoticeBanner.h"
#include "app/SearchField.h"
#include "app/SecureCaptureSheet.h"
#include "pane/VeskPreview.h"
#include "pane/WrappingText.h"
#include "platform/NotificationCenter.h"
#include "secureview/SecureVeskComposer.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QPushButton>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <functional>

namespace vesk::test {
namespace {

using MainWindowTest = WindowTest;

void showAndActivate(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

TEST_F(MainWindowTest, OpensAtDefaultSizeAndKeepsItsMinimumAndHeaderHeight)
{
    MainWindow& view = makeWindow();
    EXPECT_EQ(view.size(), QSize(1400, 820));
    EXPECT_EQ(view.minimumSize(), QSize(1340, 760));
    view.show();
    view.resize(900, 500);
    EXPECT_GE(view.width(), 1340);
    EXPECT_GE(view.height(), 760);
    EXPECT_EQ(view.header()->height(), 96);
    EXPECT_EQ(view.header()->geometry().top(), 0);
    EXPECT_GE(view.currentContent()->parentWidget()->geometry().top(), 96);
}

TEST_F(MainWindowTest, EmptyLibraryShowsTheDropZoneUntilTheFirstItem)
{
    MainWindow& view = makeWindow();
    EXPECT_EQ(view.currentContent(), view.dropZone());
    StoreInternals::setItems(*store, {makeItem(QStringLiteral("first"), 1000)});
    EXPECT_EQ(view.currentContent(), view.libraryView());
    // Deleting the last item brings the zone back.
    StoreInternals::setItems(*store, {});
    EXPECT_EQ(view.currentContent(), view.dropZone());
}

TEST_F(MainWindowTest, TheWindowShowsItIsAtWorkWhileADeleteWaitsForItsSnapshot)
{
    MainWindow& view = makeWindow();
    const VeskItem item = makeItem(QStringLiteral("doomed"), 1000);
    ASSERT_TRUE(store->commitNewItem(item));
    store->select(item.id);
    snapshots->holdDestructive = true;
    store->deleteItems();
    EXPECT_EQ(view.cursor().shape(), Qt::BusyCursor);
    snapshots->finishHeld();
    drainWrites(*store);
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(store->items().isEmpty());
}

TEST_F(MainWindowTest, BothNoticesFloatAtTheirOffsetsFromTheTopTrailingCorner)
{
    MainWindow& view = makeWindow();
    view.setTimings({60000, 60000, 60000, 60000});
    showAndActivate(view);
    store->setIntakeNotice(intakeNotice(QStringLiteral("Already in Vesk")));
    VeskBringBackNotice reminder = bringBackNotice(VeskBringBackNoticeKind::Scheduled, QStringLiteral("Bring Back set"));
    reminder.detail = QStringLiteral("Tomorrow at 9:00");
    store->setBringBackNotice(reminder);

    QWidget* intake = view.intakeNoticeView();
    QWidget* bringBack = view.bringBackNoticeView();
    ASSERT_NE(intake, nullptr);
    ASSERT_NE(bringBack, nullptr);
    const int margin = NoticeBanner::shadowMargin;
    ASSERT_EVENTUALLY_EQ(intake->y() + margin, 84, 5000);
    ASSERT_EVENTUALLY_EQ(bringBack->y() + margin, 132, 5000);
    EXPECT_EQ(view.width() - (intake->x() + intake->width() - margin), 18);
    EXPECT_EQ(view.width() - (bringBack->x() + bringBack->width() - margin), 18);
    EXPECT_TRUE(intake->isVisible());
    EXPECT_EQ(static_cast<NoticeBanner*>(bringBack)->detail(), QStringLiteral("Tomorrow at 9:00"));

    // They stay in the corner when the window grows.
    view.resize(1500, 900);
    EXPECT_EQ(view.width() - (intake->x() + intake->width() - margin), 18);
}

TEST_F(MainWindowTest, NoticesClearAfterTheirTimeButNotWhenReplaced)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);

    const WindowTimings timings = shortTimings();
    const VeskIntakeNotice first = intakeNotice(QStringLiteral("first"));
    store->setIntakeNotice(first);
    timers->advance(timings.intakeNoticeMs / 2);
    const VeskIntakeNotice second = intakeNotice(QStringLiteral("second"));
    store->setIntakeNotice(second);
    timers->advance(timings.intakeNoticeMs / 2); // the first notice's time is up
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->id, second.id) << "a newer notice keeps its own full time";
    timers->advance(timings.intakeNoticeMs / 2);
    EXPECT_FALSE(store->intakeNotice().has_value());
    ASSERT_EVENTUALLY_EQ(view.intakeNoticeView(), nullptr, 5000);

    // A returned item stays longer than a confirmation.
    store->setBringBackNotice(bringBackNotice(VeskBringBackNoticeKind::Returned, QStringLiteral("back")));
    timers->advance(timings.bringBackNoticeMs);
    EXPECT_TRUE(store->bringBackNotice().has_value());
    timers->advance(timings.returnedBringBackNoticeMs - timings.bringBackNoticeMs);
    EXPECT_FALSE(store->bringBackNotice().has_value());
    store->setBringBackNotice(bringBackNotice(VeskBringBackNoticeKind::Cancelled, QStringLiteral("cancelled")));
    timers->advance(timings.bringBackNoticeMs);
    EXPECT_FALSE(store->bringBackNotice().has_value());
}

TEST_F(MainWindowTest, NoticePostedBeforeTheWindowFirstShowsIsStillCleared)
{
    store->setIntakeNotice(intakeNotice(QStringLiteral("Note with photos received")));
    store->setBringBackNotice(bringBackNotice(VeskBringBackNoticeKind::Returned, QStringLiteral("It's back")));
    MainWindow& view = makeWindow();
    showAndActivate(view);
    EXPECT_NE(view.intakeNoticeView(), nullptr) << "shown on appearance";
    EXPECT_NE(view.bringBackNoticeView(), nullptr);
    timers->advance(shortTimings().returnedBringBackNoticeMs);
    EXPECT_FALSE(store->intakeNotice().has_value());
    EXPECT_FALSE(store->bringBackNotice().has_value());
}

TEST_F(MainWindowTest, SearchFieldEditsTheStoreSearchTextBothWays)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    SearchField* field = view.header()->searchField();
    QLineEdit* edit = field->lineEdit();
    EXPECT_EQ(edit->placeholderText(), QStringLiteral("What do you remember?"));
    EXPECT_TRUE(field->clearButton()->isHidden());

    QTest::keyClicks(edit, QStringLiteral("tax"));
    EXPECT_EQ(store->searchText(), QStringLiteral("tax"));
    EXPECT_FALSE(field->clearButton()->isHidden());

    store->setSearchText(QStringLiteral(" "));
    EXPECT_EQ(edit->text(), QStringLiteral(" "));
    EXPECT_FALSE(field->clearButton()->isHidden()) << "one space still shows the clear button";

    edit->setFocus();
    ASSERT_EVENTUALLY(edit->hasFocus(), 5000);
    QTest::mouseClick(field->clearButton(), Qt::LeftButton);
    EXPECT_EQ(store->searchText(), QString());
    EXPECT_EQ(edit->text(), QString());
    EXPECT_TRUE(edit->hasFocus()) << "clearing leaves the focus where it was";
}

TEST_F(MainWindowTest, ReturnWithoutHitsKeepsFocusAndWithHitsSelectsTheTopHit)
{
    // The test sets the hits of each search itself: the store's own passes never come.
    useStoreWithoutSearchPasses();
    MainWindow& view = makeWindow();
    showAndActivate(view);
    QLineEdit* edit = view.header()->searchField()->lineEdit();
    const VeskItem older = makeItem(QStringLiteral("budget plan"), 1000);
    const VeskItem newer = makeItem(QStringLiteral("holiday photos"), 2000);
    StoreInternals::setItems(*store, {newer, older});

    view.state().setSearchFieldIsFocused(true);
    ASSERT_EVENTUALLY(edit->hasFocus(), 5000);

    // Only spaces: nothing happens.
    store->setSearchText(QStringLiteral("   "));
    StoreInternals::setFilteredItems(*store, {newer, older});
    store->select(older.id);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(store->selectedID(), older.id);

    // No hits: nothing happens.
    store->setSearchText(QStringLiteral("zebra"));
    StoreInternals::setFilteredItems(*store, {});
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_TRUE(view.state().searchFieldIsFocused());

    // Hits: the top one is selected even though another was, and the field lets go.
    store->setSearchText(QStringLiteral("plan"));
    StoreInternals::setFilteredItems(*store, {older, newer});
    store->select(newer.id);
    const bool pulseBefore = view.state().surfacePulse();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(store->selectedID(), older.id);
    EXPECT_EQ(store->selectedIDs(), QSet<QUuid>({older.id}));
    EXPECT_NE(view.state().surfacePulse(), pulseBefore);
    EXPECT_FALSE(edit->hasFocus());
    EXPECT_FALSE(view.state().searchFieldIsFocused());
}

TEST_F(MainWindowTest, WhileTypingTheSelectionAndThePaneFollowTheTopOfEachListOfResults)
{
    // The test publishes each list of results itself: the store's own passes never come.
    useStoreWithoutSearchPasses();
    MainWindow& view = makeWindow();
    showAndActivate(view);
    const VeskItem plan = makeItem(QStringLiteral("budget plan"), 1000);
    const VeskItem planner = makeItem(QStringLiteral("planner notes"), 2000);
    const VeskItem photos = makeItem(QStringLiteral("holiday photos"), 3000);
    StoreInternals::setItems(*store, {photos, planner, plan});
    StoreInternals::setFilteredItems(*store, {photos, planner, plan});
    const auto shown = [&]() -> std::optional<QUuid> {
        const auto* preview = view.findChild<VeskPreview*>();
        return preview && preview->item() ? std::optional<QUuid>(preview->item()->id) : std::nullopt;
    };

    QTest::keyClicks(view.header()->searchField()->lineEdit(), QStringLiteral("plan"));
    // The quick first results, then a deeper pass that puts another of them on top.
    StoreInternals::setFilteredItems(*store, {planner, plan});
    EXPECT_EQ(store->selectedID(), planner.id);
    StoreInternals::setFilteredItems(*store, {plan, planner});
    EXPECT_EQ(store->selectedID(), plan.id);
    EXPECT_EQ(store->selectedIDs(), QSet<QUuid>({plan.id}));
    // The pane waits for typing to rest, then shows the top of the last list only.
    drainEvents();
    EXPECT_NE(shown(), std::optional<QUuid>(planner.id));
    timers->advance(VeskPreview::typingRestMs);
    ASSERT_EVENTUALLY_EQ(shown(), std::optional<QUuid>(plan.id), 5000);

    // A card the user picks stays picked however the results change after it.
    store->select(planner.id);
    StoreInternals::setFilteredItems(*store, {plan, planner, photos});
    EXPECT_EQ(store->selectedID(), planner.id);
    ASSERT_EVENTUALLY_EQ(shown(), std::optional<QUuid>(planner.id), 5000);
}

TEST_F(MainWindowTest, SummonNotificationFocusesTheSearchField)
{
    int captures = 0;
    MainWindowHooks hooks;
    hooks.captureClipboard = [&](VeskStore& s) {
        EXPECT_EQ(&s, store.get());
        ++captures;
    };
    MainWindow& view = makeWindow(hooks);
    showAndActivate(view);
    view.state().setSearchFieldIsFocused(false);
    ASSERT_EVENTUALLY(!view.header()->searchField()->lineEdit()->hasFocus(), 5000);
    NotificationCenter::shared().post(kSummonSearchNotification);
    EXPECT_FALSE(view.state().searchFieldIsFocused()) << "focus moves on the next turn of the loop";
    ASSERT_EVENTUALLY(view.state().searchFieldIsFocused(), 5000);
    ASSERT_EVENTUALLY(view.header()->searchField()->lineEdit()->hasFocus(), 5000);

    NotificationCenter::shared().post(kCaptureClipboardNotification);
    EXPECT_EQ(captures, 1);
}

TEST_F(MainWindowTest, OnlyItemsArrivingAfterAppearancePulse)
{
    const VeskItem loaded = makeItem(QStringLiteral("loaded"), 1000);
    StoreInternals::setItems(*store, {loaded});
    MainWindow& view = makeWindow();
    showAndActivate(view);
    EXPECT_FALSE(view.state().capturePulseID().has_value());

    const VeskItem first = makeItem(QStringLiteral("first"), 2000);
    (void)store->commitNewItem(first);
    EXPECT_EQ(view.state().capturePulseID(), first.id);
    const int pulseMs = shortTimings().capturePulseMs;
    timers->advance(pulseMs / 2);
    const VeskItem second = makeItem(QStringLiteral("second"), 3000);
    (void)store->commitNewItem(second);
    EXPECT_EQ(view.state().capturePulseID(), second.id);
    timers->advance(pulseMs / 2); // the first pulse's time is up and must leave the second alone
    EXPECT_EQ(view.state().capturePulseID(), second.id);
    timers->advance(pulseMs / 2);
    EXPECT_FALSE(view.state().capturePulseID().has_value());

    // Removing produces no pulse; an item added again pulses again.
    store->setSelectedIDs({second.id});
    store->deleteItems();
    drainWrites(*store);
    EXPECT_FALSE(view.state().capturePulseID().has_value());
    (void)store->commitNewItem(second);
    EXPECT_EQ(view.state().capturePulseID(), second.id);
}

TEST_F(MainWindowTest, OneKeyMonitorWhileShownAndItSeesEachKeyOnce)
{
    int keys = 0;
    bool swallow = false;
    int hotKeyStarts = 0;
    int quickLookCloses = 0;
    MainWindowHooks hooks;
    hooks.handleKeyDown = [&](QKeyEvent*) {
        ++keys;
        return swallow;
    };
    hooks.startSummonHotKey = [&] { ++hotKeyStarts; };
    hooks.closeQuickLook = [&] { ++quickLookCloses; };
    MainWindow& view = makeWindow(hooks);
    EXPECT_FALSE(view.hasKeyboardMonitor());
    showAndActivate(view);
    view.handleAppear();
    EXPECT_TRUE(view.hasKeyboardMonitor());
    EXPECT_EQ(hotKeyStarts, 2);

    QLineEdit* edit = view.header()->searchField()->lineEdit();
    QTest::keyClick(edit, Qt::Key_A);
    EXPECT_EQ(keys, 1) << "two appearances must not install two monitors";
    EXPECT_EQ(edit->text(), QStringLiteral("a"));
    swallow = true;
    QTest::keyClick(edit, Qt::Key_B);
    EXPECT_EQ(edit->text(), QStringLiteral("a")) << "a consumed key never reaches the field";

    view.hide();
    EXPECT_FALSE(view.hasKeyboardMonitor());
    EXPECT_EQ(quickLookCloses, 1);
    QTest::keyClick(edit, Qt::Key_C);
    EXPECT_EQ(keys, 2);
}

TEST_F(MainWindowTest, SheetFlagsPresentAndDismissTheirSheets)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    QPointer<QDialog> built;
    view.setSheetFactory(SheetFlag::TextCapture, [&](MainWindow& window) {
        built = new QDialog(&window);
        return built.data();
    });
    view.state().setDraftTitle(QStringLiteral("old draft"));
    view.openTextCapture();
    EXPECT_TRUE(view.state().showingTextCapture());
    EXPECT_EQ(view.state().draftTitle(), QString()) << "a new composer starts empty";
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(view.presentedSheet(SheetFlag::TextCapture), built.data());
    EXPECT_EQ(built->windowModality(), Qt::WindowModal);

    built->reject();
    EXPECT_FALSE(view.state().showingTextCapture()) << "closing the sheet clears its flag";
    EXPECT_EQ(view.presentedSheet(SheetFlag::TextCapture), nullptr);

    // Clearing the flag closes the sheet; a flag without a sheet presents nothing.
    view.openTextCapture();
    QPointer<QDialog> second = built;
    view.state().setShowingTextCapture(false);
    ASSERT_EVENTUALLY(second.isNull() || !second->isVisible(), 5000);
    view.state().setShowingAboutVesk(true);
    EXPECT_EQ(view.presentedSheet(SheetFlag::AboutVesk), nullptr);
}

TEST_F(MainWindowTest, HeaderButtonsOpenTheComposersAndTheDropZoneButtonToo)
{
    MainWindow& view = makeWindow();
    const auto emptySheet = [](MainWindow& window) { return new QDialog(&window); };
    view.setSheetFactory(SheetFlag::TextCapture, emptySheet);
    view.setSheetFactory(SheetFlag::SecureCapture, emptySheet);
    showAndActivate(view);
    view.state().setDraftTitle(QStringLiteral("left over"));
    view.state().setDraftRichText(QStringLiteral("<p>left over</p>"));
    QTest::mouseClick(view.controlsStrip()->newVeskButton(), Qt::LeftButton);
    EXPECT_TRUE(view.state().showingTextCapture());
    EXPECT_TRUE(view.state().draftTitle().isEmpty());
    EXPECT_TRUE(view.state().draftRichText().isEmpty());
    view.state().setShowingTextCapture(false);

    QTest::mouseClick(view.dropZone()->createTextButton(), Qt::LeftButton);
    EXPECT_TRUE(view.state().showingTextCapture());

    QTest::mouseClick(view.controlsStrip()->secureButton(), Qt::LeftButton);
    EXPECT_TRUE(view.state().showingSecureCapture());
}

TEST_F(MainWindowTest, ControlsOfSheetsThatDoNotExistAreHiddenAndTheirFlagsNeverStaySet)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    EXPECT_FALSE(view.controlsStrip()->secureButton()->isVisible());
    // Something that raises a flag without a sheet leaves nothing blocking the window.
    view.state().setShowingSecureCapture(true);
    EXPECT_FALSE(view.state().showingSecureCapture());
    view.state().setPendingRenameItemID(QUuid::createUuid());
    EXPECT_FALSE(view.state().pendingRenameItemID().has_value());

    view.setSheetFactory(SheetFlag::SecureCapture, [](MainWindow& window) { return new QDialog(&window); });
    EXPECT_TRUE(view.controlsStrip()->secureButton()->isVisible());
}

TEST_F(MainWindowTest, DroppingAFileImportsItAndSelectsIt)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    const QString folder = makeTempDirectory(QStringLiteral("drop"));
    const QString path = folder + QStringLiteral("/receipt.txt");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Receipt for the blue bicycle");
    }
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(path)});
    mime->setText(path);

    QDragEnterEvent enter(QPoint(600, 400), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(view.state().isTargeted());

    QDropEvent drop(QPointF(600, 400), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_FALSE(view.state().isTargeted());
    EXPECT_TRUE(store->items().isEmpty()) << "the drop returns before the import runs";

    ASSERT_EVENTUALLY_EQ(store->items().size(), qsizetype(1), 5000);
    const VeskItem& imported = store->items().constFirst();
    EXPECT_EQ(store->selectedID(), imported.id);
    ASSERT_TRUE(imported.filePath.has_value());
    EXPECT_TRUE(imported.filePath->endsWith(QStringLiteral("receipt.txt")));
    EXPECT_TRUE(QFile::exists(path)) << "the dropped original is not touched";
    EXPECT_EQ(view.currentContent(), view.libraryView());
    delete mime;
}

// The widget a real drag over `point` is delivered to: the deepest widget there, or the first of
// its parents that accepts drops.
QWidget* dropTargetAt(QWidget& window, const QPoint& point)
{
    QWidget* target = window.childAt(point);
    if (!target)
        target = &window;
    while (target && !target->isWindow() && !target->acceptDrops())
        target = target->parentWidget();
    return target;
}

TEST_F(MainWindowTest, ADropAnywhereOnTheWindowIsTheWindowsIntake)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    const QString folder = makeTempDirectory(QStringLiteral("drop-header"));
    const QString path = folder + QStringLiteral("/ticket.txt");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Train ticket to the coast");
    }
    // A file manager's drag: the file, and its path as text.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    mime.setText(path);

    // Dropped on the search field, the file is kept, not typed into the search.
    QLineEdit* edit = view.header()->searchField()->lineEdit();
    const QPoint onField = edit->mapTo(&view, edit->rect().center());
    QWidget* target = dropTargetAt(view, onField);
    ASSERT_EQ(target, &view);
    QDragEnterEvent enter(onField, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(onField), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EVENTUALLY_EQ(store->items().size(), qsizetype(1), 5000);
    EXPECT_TRUE(store->searchText().isEmpty());

    // Over the library, its grid and the preview of the selected item alike.
    store->select(store->items().constFirst().id);
    auto* preview = view.findChild<VeskPreview*>();
    ASSERT_NE(preview, nullptr);
    ASSERT_NE(preview->content(), nullptr);
    QCoreApplication::sendPostedEvents(); // the layouts the preview's content asked for
    for (int x = 20; x < view.width(); x += 90) {
        for (int y = 10; y < view.height(); y += 70)
            EXPECT_EQ(dropTargetAt(view, QPoint(x, y)), &view) << "at " << x << "," << y;
    }
}

TEST_F(MainWindowTest, DragOverTheLibraryDrawsTheDashedFrameInsideIt)
{
    StoreInternals::setItems(*store, {makeItem(QStringLiteral("kept"), 1000)});
    MainWindow& view = makeWindow();
    showAndActivate(view);
    QWidget* library = view.libraryView();
    ASSERT_EQ(view.currentContent(), library);
    auto accentPixelsAlongTopEdge = [&] {
        const QImage image = library->grab().toImage();
        const int y = int(DropTargetHighlight::inset) + 1;
        int accent = 0;
        for (int x = image.width() / 2 - 40; x < image.width() / 2 + 40; ++x) {
            const QColor c = image.pixelColor(x, y);
            accent += c.blue() > c.red() + 60 ? 1 : 0;
        }
        return accent;
    };
    EXPECT_EQ(accentPixelsAlongTopEdge(), 0);
    view.state().setIsTargeted(true);
    EXPECT_GT(accentPixelsAlongTopEdge(), 20) << "the frame is drawn over the grid, not under it";
    view.state().setIsTargeted(false);
    EXPECT_EQ(accentPixelsAlongTopEdge(), 0);
}

TEST_F(MainWindowTest, ADropIsTakenAsACopySoTheSourceKeepsItsFile)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    const QString path = makeTempDirectory(QStringLiteral("drop-move")) + QStringLiteral("/draft.txt");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("A draft the file manager offers to move");
    }
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});

    // A file manager proposing a move (Shift held): accepting it would have it delete the file.
    const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(QPoint(600, 400), copyOrMove, &mime, Qt::LeftButton, Qt::ShiftModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(600, 400), copyOrMove, &mime, Qt::LeftButton, Qt::ShiftModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    ASSERT_EVENTUALLY_EQ(store->items().size(), qsizetype(1), 5000);

    // A drag that can only be moved is refused outright.
    QDragEnterEvent moveOnly(QPoint(600, 400), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &moveOnly);
    EXPECT_FALSE(moveOnly.isAccepted());
    EXPECT_FALSE(view.state().isTargeted());
    QDropEvent moveDrop(QPointF(600, 400), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &moveDrop);
    EXPECT_FALSE(moveDrop.isAccepted());
    // A source that offers only a link still has its drop taken: a link leaves the source alone.
    QDragEnterEvent linkOnly(QPoint(600, 400), Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &linkOnly);
    EXPECT_TRUE(linkOnly.isAccepted());
    EXPECT_EQ(linkOnly.dropAction(), Qt::LinkAction);
}

// A dropped text, short enough to be taken in at once or long enough to be made ready on a
// worker: its card is selected as it arrives, the pane is built for it a frame later in a turn of
// its own and its text shown a frame after that, and once the drop has settled a search finds it
// by its words.
TEST_F(MainWindowTest, ADroppedTextsPaneFollowsAFrameLaterAndItsWordsAreFound)
{
    MainWindow& view = makeWindow();
    showAndActivate(view);
    auto* preview = view.findChild<VeskPreview*>();
    ASSERT_TRUE(preview);
    const auto shown = [&]() -> std::optional<QUuid> {
        return preview->item() ? std::optional<QUuid>(preview->item()->id) : std::nullopt;
    };
    // The text the pane shows of its item, when it shows one.
    const auto textShown = [&]() -> std::optional<QString> {
        for (QWidget* text : preview->findChildren<QWidget*>(QStringLiteral("previewPlainText"))) {
            if (!text->isVisibleTo(preview))
                continue;
            if (const auto* wrapping = qobject_cast<WrappingText*>(text))
                return wrapping->text();
            return QStringLiteral("(long)");
        }
        return std::nullopt;
    };
    // While nothing is shown, the pane's parts are made ahead and wait hidden.
    int rebuilds = 0;
    QObject::connect(preview, &VeskPreview::contentRebuilt, preview, [&] { ++rebuilds; });
    timers->advance(VeskPreview::prepareContentDelayMs);
    ASSERT_TRUE(preview->findChild<WrappingText*>(QStringLiteral("previewTitle")));
    EXPECT_FALSE(preview->findChild<WrappingText*>(QStringLiteral("previewTitle"))->isVisibleTo(preview));
    EXPECT_TRUE(preview->content()->isVisibleTo(preview));
    EXPECT_EQ(preview->item(), std::nullopt);
    EXPECT_EQ(rebuilds, 0);
    const QString filler = QStringLiteral("harbour crossing ").repeated(8'000);
    const struct {
        const char* name;
        QString text;
        QString word;
    } cases[] = {
        {"short", QStringLiteral("Ferry timetable for the lantern festival"), QStringLiteral("lantern")},
        {"long", QStringLiteral("Quay notes\n") + filler + QStringLiteral("gangplank ") + filler,
         QStringLiteral("gangplank")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store->setSearchText(QString());
        timers->advance(10);
        const qsizetype before = store->items().size();
        const std::optional<QUuid> shownBefore = shown();
        QMimeData mime;
        mime.setText(c.text);
        ASSERT_TRUE(view.handleDrop(mime));
        ASSERT_EVENTUALLY_EQ(store->items().size(), before + 1, 10'000);
        const QUuid id = store->items().constFirst().id;
        EXPECT_EQ(store->selectedID(), std::optional<QUuid>(id));
        drainEvents();
        EXPECT_EQ(shown(), shownBefore) << "the pane is not built in the turn the item arrives";
        timers->advance(VeskPreview::newItemDelayMs);
        EXPECT_EQ(shown(), std::optional<QUuid>(id));
        EXPECT_EQ(preview->findChild<WrappingText*>(QStringLiteral("previewTitle"))->isVisibleTo(preview), true);
        EXPECT_EQ(textShown(), std::nullopt) << "the text comes in a frame of its own";
        timers->advance(VeskPreview::newItemDelayMs);
        ASSERT_TRUE(textShown());
        if (c.text.size() < 1000)
            EXPECT_EQ(*textShown(), c.text);

        store->setSearchText(c.word);
        timers->advance(10);
        ASSERT_EVENTUALLY(store->filteredItems().size() == 1 && store->filteredItems().constFirst().id == id, 10'000);
    }

    // A card the user picks while a new item's pane waits is shown at once, and stays.
    store->setSearchText(QString());
    timers->advance(10);
    const QUuid picked = store->items().constLast().id;
    QMimeData mime;
    mime.setText(QStringLiteral("Mooring fees"));
    ASSERT_TRUE(view.handleDrop(mime));
    ASSERT_EVENTUALLY_EQ(store->items().size(), qsizetype(3), 10'000);
    store->select(picked);
    EXPECT_EQ(shown(), std::optional<QUuid>(picked));
    timers->advance(VeskPreview::newItemDelayMs);
    drainEvents();
    EXPECT_EQ(shown(), std::optional<QUuid>(picked));

    // Picked once the new item's pane is up but before its text shows: the new text never comes.
    mime.setText(QStringLiteral("Harbour dues"));
    ASSERT_TRUE(view.handleDrop(mime));
    ASSERT_EVENTUALLY_EQ(store->items().size(), qsizetype(4), 10'000);
    timers->advance(VeskPreview::newItemDelayMs);
    EXPECT_EQ(shown(), std::optional<QUuid>(store->items().constFirst().id));
    store->select(picked);
    timers->advance(2 * VeskPreview::newItemDelayMs);
    drainEvents();
    EXPECT_EQ(shown(), std::optional<QUuid>(picked));
    EXPECT_EQ(textShown(), std::optional<QString>(QStringLiteral("Ferry timetable for the lantern festival")));
}

TEST_F(MainWindowTest, DropOfNothingUsableIsRefused)
{
    MainWindow& view = makeWindow();
    QMimeData mime;
    mime.setData(QStringLiteral("application/x-unknown"), "data");
    EXPECT_FALSE(view.handleDrop(mime));
    EXPECT_EQ(store->importCountInProgress(), 0);
    drainEvents();
    EXPECT_TRUE(store->items().isEmpty());
}

TEST_F(MainWindowTest, WindowStateStartsFreshAndClampsThePreviewWidth)
{
    settings->setValue(QStringLiteral("veskPreviewPaneWidth"), 900.0);
    MainWindow& view = makeWindow();
    MainWindowState& state = view.state();
    EXPECT_TRUE(state.groupFilter().isAll());
    EXPECT_FALSE(state.showingAllVesks());
    EXPECT_FALSE(state.showingTextCapture());
    EXPECT_EQ(state.displayedPreviewPaneWidth(), 700.0);
    EXPECT_EQ(state.previewPaneWidth(), 900.0) << "the stored value changes only when a drag ends";
    state.setPreviewPaneWidth(420);
    EXPECT_EQ(settings->value(QStringLiteral("veskPreviewPaneWidth")).toDouble(), 420.0);

    MainWindowState fresh(std::make_shared<MemorySettings>());
    EXPECT_EQ(fresh.displayedPreviewPaneWidth(), 350.0);
    settings->setValue(QStringLiteral("veskPreviewPaneWidth"), 12.0);
    EXPECT_EQ(MainWindowState(settings).displayedPreviewPaneWidth(), 300.0);
}

// At the window's smallest size, every text of the sheets and panes shows whole, or ends in "…"
// where it is shortened on purpose.
TEST_F(MainWindowTest, NoTextIsCutAtTheWindowsMinimumSize)
{
    MainWindow& window = makeWindow();
    installLibrarySheets(window);
    window.setSheetFactory(SheetFlag::SecureCapture, makeSecureCaptureSheet);
    window.resize(window.minimumSize());
    window.show();
    auto settle = [] {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    };

    const struct {
        const char* screen;
        SheetFlag flag;
        std::function<void()> open;
    } sheets[] = {
        {"cleanup sheet with nothing to clean up", SheetFlag::FilenameCleanup,
         [&] {
             window.state().setFilenameCleanupCandidates({});
             window.state().setShowingFilenameCleanup(true);
         }},
        {"secure composer for a card", SheetFlag::SecureCapture,
         [&] {
             window.state().setShowingSecureCapture(true);
             settle();
             if (auto* composer = qobject_cast<SecureVeskComposer*>(window.presentedSheet(SheetFlag::SecureCapture)))
                 composer->setKind(SecureVeskKind::CreditCard);
         }},
    };
    for (const auto& sheet : sheets) {
        SCOPED_TRACE(sheet.screen);
        sheet.open();
        settle();
        QDialog* dialog = window.presentedSheet(sheet.flag);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(cutTexts(dialog), QStringList());
        dialog->close();
        settle();
    }
}

} // namespace
} // namespace vesk::test
