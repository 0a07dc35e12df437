#include "app/AppTestSupport.h"
#include "app/CaptureDropZone.h"
#include "app/FailureNoticeView.h"
#include "app/ImportProgressView.h"
#include "app/LibraryProblemView.h"
#include "platform/SerialExecutor.h"
#include "store/FaultInjection.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>
#include <sqlite3.h>
#include <algorithm>
#include <future>
#include <utility>

namespace vesk::test {
namespace {

// Holds start-up's worker, and with it the check of the library file after start-up, which
// follows start-up's reading on that worker, until the test opens it (at the latest as it goes).
// The check starts and ends on the main thread: until the test lets events run after opening,
// it has not ended.
class StartupGate {
public:
    explicit StartupGate(VeskStore& store)
    {
        StoreInternals::startupWorker(store).run([held = m_opened.get_future().share()] { held.wait(); });
    }
    ~StartupGate() { open(); }
    StartupGate(const StartupGate&) = delete;
    StartupGate& operator=(const StartupGate&) = delete;

    void open()
    {
        if (!std::exchange(m_open, true))
            m_opened.set_value();
    }

private:
    std::promise<void> m_opened;
    bool m_open = false;
};

class FailureViewsTest : public WindowTest {
protected:
    // Enough notes that the identifier index has leaves that reading the library never visits.
    static QList<VeskItem> libraryOfManyPages()
    {
        QList<VeskItem> library;
        for (int i = 0; i < 600; ++i)
            library.append(makeItem(QStringLiteral("Note %1 ").arg(i) + QString(300, QLatin1Char('a' + i % 26)), 1000 + i));
        return library;
    }
};

TEST_F(FailureViewsTest, AFailureNoticeStaysUntilDismissedAndCountsFailuresOfItsKind)
{
    MainWindow& window = makeWindow();
    window.show();
    store->reportFailure(QStringLiteral("Not saved"), QStringLiteral("\u201CNote\u201D could not be written."));
    store->setIntakeNotice(intakeNotice(QStringLiteral("Vesked from Clipboard")));
    FailureNoticeView* view = window.failureNoticeView();
    ASSERT_NE(view, nullptr);

    // Long after an intake notice has gone, it is still there.
    timers->advance(shortTimings().intakeNoticeMs * 3);
    EXPECT_FALSE(store->intakeNotice());
    ASSERT_EQ(window.failureNoticeView(), view);
    EXPECT_TRUE(view->isVisible());

    // More of the same kind: the same view names and counts them.
    store->reportFailure(QStringLiteral("Not saved"), QStringLiteral("\u201CList\u201D could not be written."));
    EXPECT_EQ(window.failureNoticeView(), view);
    EXPECT_EQ(view->notice().count, 2);
    EXPECT_EQ(view->notice().detail,
              QStringLiteral("\u201CNote\u201D could not be written.\n\u201CList\u201D could not be written."));
    EXPECT_EQ(FailureNoticeView::countLine(view->notice()), QString());
    VeskFailureNotice burst = view->notice();
    burst.count = 7;
    burst.named = 5;
    EXPECT_EQ(FailureNoticeView::countLine(burst), QStringLiteral("2 more like it"));

    // Another kind waits behind it and is shown once it is dismissed.
    store->reportFailure(QStringLiteral("Not imported"), QStringLiteral("\u201Ca.txt\u201D was not imported."));
    EXPECT_EQ(window.failureNoticeView(), view);
    view->dismissButton()->click();
    ASSERT_NE(window.failureNoticeView(), nullptr);
    EXPECT_EQ(window.failureNoticeView()->notice().title, QStringLiteral("Not imported"));
    window.failureNoticeView()->dismissButton()->click();
    EXPECT_FALSE(store->failureNotice());
    EXPECT_EQ(window.failureNoticeView(), nullptr);
}

// The card's detail has room for a few lines: the failures it names are shown whole as far as
// they fit, and its count takes in every one it does not show, so that the names shown and the
// count add up to every failure.
TEST_F(FailureViewsTest, TheNamesAFailureCardShowsAndItsCountAddUpToEveryFailure)
{
    MainWindow& window = makeWindow();
    window.show();
    for (const int refused : {2, 5, 7, 8}) {
        SCOPED_TRACE(refused);
        store->dismissFailureNotice();
        QStringList failures;
        for (int i = 1; i <= refused; ++i) {
            // Each takes two lines of the card.
            failures.append(QStringLiteral("\u201CA phone note sent from the beach on day %1.vesknote\u201D could not be "
                                           "imported: the disk is full.").arg(i));
            store->reportFailure(QStringLiteral("Not imported"), failures.last());
        }
        FailureNoticeView* view = window.failureNoticeView();
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->notice().count, refused);

        const QStringList detailLines = view->shownDetailLines();
        const QString shownText = detailLines.join(QLatin1Char(' '));
        int namesShown = 0;
        for (int i = 0; i < refused; ++i) {
            const QString name = QStringLiteral("day %1.vesknote").arg(i + 1);
            if (shownText.contains(failures[i])) {
                ++namesShown;
                continue;
            }
            EXPECT_FALSE(shownText.contains(name)) << "shown in part: " << name.toStdString();
        }
        EXPECT_EQ(detailLines.size(), 2 * namesShown) << "two lines a name";
        EXPECT_FALSE(shownText.contains(QStringLiteral("\u2026"))) << shownText.toStdString();
        const QString more = view->shownCountLine();
        int counted = 0;
        if (!more.isEmpty()) {
            ASSERT_TRUE(more.endsWith(QStringLiteral(" more like it"))) << more.toStdString();
            counted = more.section(QLatin1Char(' '), 0, 0).toInt();
        }
        EXPECT_GE(namesShown, 1);
        EXPECT_EQ(namesShown + counted, refused) << shownText.toStdString() << " / " << more.toStdString();
        if (!more.isEmpty()) {
            EXPECT_EQ(view->shownLines().last(), more) << "the count is drawn under the names";
        }
    }
}

TEST_F(FailureViewsTest, ALibraryThatCannotBeReadIsShownInsteadOfTheWelcomeSurface)
{
    store.reset();
    // The library file is damaged; the user had a recovery snapshot.
    QDir().mkpath(dataDir + QStringLiteral("/Recovery/Snapshots/2026-05-01_08-00-00-000"));
    writeFile(databasePath(), QByteArray(8192, 'x'));
    store = makeStore();
    QString opened;
    MainWindowHooks hooks;
    hooks.openFolder = [&](const QString& folder) { opened = folder; };
    MainWindow& window = makeWindow(hooks);
    window.show();

    ASSERT_EQ(window.currentContent(), window.libraryProblemView());
    const QStringList paragraphs = LibraryProblemView::paragraphs(window.libraryProblemView()->problem());
    EXPECT_EQ(LibraryProblemView::headline(*store->libraryProblem()), QStringLiteral("The library could not be read."));
    EXPECT_TRUE(paragraphs.first().contains(databasePath()));
    EXPECT_TRUE(paragraphs.first().contains(QStringLiteral("the library file is damaged")));
    EXPECT_TRUE(paragraphs.last().contains(QStringLiteral("Recovery/Snapshots/2026-05-01_08-00-00-000")));
    EXPECT_FALSE(window.libraryProblemView()->startNewLibraryButton()->isVisible());
    window.libraryProblemView()->openFolderButton()->click();
    EXPECT_EQ(opened, dataDir);
}

TEST_F(FailureViewsTest, ALostLibraryStartsAnewOnlyOnTheUsersWord)
{
    store.reset();
    writeFile(dataDir + QStringLiteral("/.vesk-library-has-held-items"), "1\n");
    QFile::remove(databasePath());
    store = makeStore();
    MainWindow& window = makeWindow();
    window.show();
    ASSERT_EQ(window.currentContent(), window.libraryProblemView());
    EXPECT_EQ(LibraryProblemView::headline(*store->libraryProblem()), QStringLiteral("The library is missing."));
    QPushButton* startNew = window.libraryProblemView()->startNewLibraryButton();
    ASSERT_TRUE(startNew->isVisible());
    EXPECT_FALSE(QFileInfo::exists(databasePath()));

    startNew->click();
    EXPECT_FALSE(store->libraryProblem());
    EXPECT_EQ(window.currentContent(), window.dropZone());
    EXPECT_TRUE(QFileInfo::exists(databasePath()));
}

TEST_F(FailureViewsTest, ClosingWithUnsavedItemsAsksFirst)
{
    int asked = 0;
    bool letClose = false;
    MainWindowHooks hooks;
    hooks.confirmCloseWithUnsaved = [&](int count) {
        asked = count;
        return letClose;
    };
    MainWindow& window = makeWindow(hooks);
    window.show();
    failItemSaves(*store, true);
    EXPECT_FALSE(store->commitNewItem(makeItem(QStringLiteral("unsaved"), 5)));

    QCloseEvent refused;
    QApplication::sendEvent(&window, &refused);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(refused.isAccepted());

    letClose = true;
    QCloseEvent accepted;
    QApplication::sendEvent(&window, &accepted);
    EXPECT_TRUE(accepted.isAccepted());

    // Once it can be written, the last try at closing saves it and nothing is asked.
    asked = 0;
    failItemSaves(*store, false);
    QCloseEvent quiet;
    QApplication::sendEvent(&window, &quiet);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(store->unsavedItemIDs().isEmpty());
}

TEST_F(FailureViewsTest, DamageFoundAfterTheFirstFrameReplacesTheLibraryAndWhatWaitedIsSaidOnClosing)
{
    store.reset();
    seed(libraryOfManyPages());
    ASSERT_TRUE(damagePagesReadingNeverVisits(databasePath(), 3));
    const QString snapshot = dataDir + QStringLiteral("/Recovery/Snapshots/2026-05-01_08-00-00-000");
    QDir().mkpath(snapshot);
    store = makeStore(true, false);
    StartupGate checkMayStart(*store);
    QString opened;
    int asked = 0;
    MainWindowHooks hooks;
    hooks.openFolder = [&](const QString& folder) { opened = folder; };
    hooks.confirmCloseWithUnsaved = [&](int count) {
        asked = count;
        return false;
    };
    MainWindow& window = makeWindow(hooks);
    window.show();
    EXPECT_NE(window.currentContent(), window.libraryProblemView()) << "the library is shown while it is checked";
    EXPECT_FALSE(store->commitNewItem(makeItem(QStringLiteral("typed while checked"), 5000)));

    checkMayStart.open();
    store->waitForStartup();
    ASSERT_EQ(window.currentContent(), window.libraryProblemView());
    EXPECT_EQ(LibraryProblemView::headline(*store->libraryProblem()), QStringLiteral("The library file is damaged."));
    const QStringList paragraphs = LibraryProblemView::paragraphs(window.libraryProblemView()->problem());
    EXPECT_TRUE(paragraphs.first().contains(QStringLiteral("PRAGMA quick_check"))) << paragraphs.first().toStdString();
    EXPECT_FALSE(window.libraryProblemView()->startNewLibraryButton()->isVisible());
    ASSERT_TRUE(window.libraryProblemView()->openSnapshotButton()->isVisible());
    window.libraryProblemView()->openSnapshotButton()->click();
    EXPECT_EQ(opened, snapshot);

    QCloseEvent close;
    QApplication::sendEvent(&window, &close);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(close.isAccepted());
}

TEST_F(FailureViewsTest, ClosingWhileTheLibraryFileIsCheckedKeepsWhatWaitedForTheCheck)
{
    store.reset();
    // A library that holds something is read in the background, and checked after that.
    seed({makeItem(QStringLiteral("kept before"), 10)});
    store = makeStore(true, false);
    StartupGate checkMayStart(*store);
    int asked = 0;
    MainWindowHooks hooks;
    hooks.confirmCloseWithUnsaved = [&](int count) {
        asked = count;
        return false;
    };
    MainWindow& window = makeWindow(hooks);
    window.show();
    const VeskItem typed = makeItem(QStringLiteral("typed while checked"), 5000);
    EXPECT_FALSE(store->commitNewItem(typed));
    ASSERT_EQ(store->savingItemIDs(), QSet<QUuid>{typed.id}) << "waits for the check";

    // Opened, the check cannot end before the close: it ends on the main thread.
    checkMayStart.open();
    QCloseEvent close;
    QApplication::sendEvent(&window, &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_EQ(asked, 0) << "nothing is left unsaved to ask about";
    const QList<VeskItem> stored = storedItems();
    EXPECT_TRUE(std::any_of(stored.cbegin(), stored.cend(), [&](const VeskItem& item) { return item.id == typed.id; }))
        << "written before the window goes";
}

// Collects what a widget is asked to paint.
struct PaintedRegions : QObject {
    // "WxH+X+Y" of the bounding rectangle, for messages.
    std::string bounds() const
    {
        const QRect r = region.boundingRect();
        return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+"
            + std::to_string(r.y());
    }
    explicit PaintedRegions(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    // Whether all of rect was painted (QRegion::contains says whether any of it was).
    bool covers(const QRect& rect) const { return (QRegion(rect) - region).isEmpty(); }
    QRegion region;
};

TEST_F(FailureViewsTest, ALargeImportShowsItsProgressAndCanBeCancelledFromThere)
{
    MainWindow& window = makeWindow();
    window.show();
    const QUuid importID = QUuid::createUuid();
    store->setImportProgress(VeskImportProgress{importID, QStringLiteral("Holiday.mov"), 250'000'000, 1'000'000'000});
    auto* view = qobject_cast<ImportProgressView*>(window.intakeNoticeView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(ImportProgressView::titleText(view->progress()), QStringLiteral("Importing \u201CHoliday.mov\u201D"));
    EXPECT_DOUBLE_EQ(ImportProgressView::fraction(view->progress()), 0.25);

    // Further progress of the same import moves the same bar: the count and the bar are painted
    // again, and only they.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Once it has slid in: while it fades, every update is of the whole card.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->graphicsEffect() == nullptr; }, 2000));
    // The repaint that follows is throttled to the window's next frame: paint it now.
    window.repaint();
    PaintedRegions painted(view);
    store->setImportProgress(VeskImportProgress{importID, QStringLiteral("Holiday.mov"), 500'000'000, 1'000'000'000});
    EXPECT_EQ(window.intakeNoticeView(), view);
    EXPECT_DOUBLE_EQ(ImportProgressView::fraction(view->progress()), 0.5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !painted.region.isEmpty(); }, 2000));
    EXPECT_TRUE(painted.covers(view->progressRect())) << painted.bounds();
    EXPECT_FALSE(painted.covers(view->rect())) << painted.bounds();
    // Another file's progress in the same card shows its name: the whole card again.
    window.repaint();
    painted.region = QRegion();
    store->setImportProgress(VeskImportProgress{importID, QStringLiteral("Trip.mov"), 500'000'000, 1'000'000'000});
    EXPECT_TRUE(QTest::qWaitFor([&] { return painted.covers(view->rect()); }, 2000))
        << painted.bounds();

    QList<QUuid> cancelled;
    QObject::connect(view, &ImportProgressView::cancelRequested, [&](const QUuid& id) { cancelled.append(id); });
    view->cancelButton()->click();
    EXPECT_EQ(cancelled, QList<QUuid>{importID});
    store->setImportProgress(std::nullopt);
    EXPECT_EQ(window.intakeNoticeView(), nullptr);
}

} // namespace
} // namespace vesk::test
