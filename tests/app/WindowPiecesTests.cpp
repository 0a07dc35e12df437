// Pieces of the main window on their own: the notice banner's text, the grid kept in step with
// the window's state, the header's hover, the drop zone's outline, the backdrop kept between
// repaints, the window's edge, and the application's appearance following the user defaults.
#include "common/Eventually.h"
#include "AppTestSupport.h"

#include "app/CaptureDropZone.h"
#include "app/ControlsStrip.h"
#include "app/HeaderBar.h"
#include "app/LibraryContent.h"
#include "app/SearchField.h"
#include "app/MainWindowState.h"
#include "app/NoticeBanner.h"
#include "app/NoticeHost.h"
#include "app/NoticeText.h"
#include "app/VeskApp.h"
#include "app/WindowBackdrop.h"
#include "app/WindowChrome.h"
#include "platform/ui/Theme.h"
#include "people/PeopleWindow.h"
#include "grid/LibraryGridView.h"
#include "imageeditor/VeskImageEditor.h"
#include "pane/VeskPreview.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QEnterEvent>
#include <QDir>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <functional>
#include <cstdlib>

namespace vesk::test {
namespace {

// What the backdrop paints into a window of size over region, starting from magenta.
QImage backdropShot(WindowBackdrop& backdrop, QSize size, qreal glow, const QRegion& region)
{
    QImage shot(size, QImage::Format_RGB32);
    shot.fill(Qt::magenta);
    QPainter p(&shot);
    p.setClipRegion(region);
    backdrop.paint(p, region, size, glow);
    return shot;
}

QImage freshBackdrop(QSize size, qreal glow)
{
    QImage shot(size, QImage::Format_RGB32);
    shot.fill(Qt::magenta);
    QPainter p(&shot);
    WindowBackdrop::paintFresh(p, QRectF(QPointF(0, 0), QSizeF(size)), glow, Theme::current());
    return shot;
}

TEST(WindowBackdropTest, KeptPictureFollowsSizeAppearanceAndGlowAndFillsOnlyTheAskedRegion)
{
    const QString originalAppearance = Theme::current().appearanceRawValue();
    Theme::current().setAppearance(Appearance::Light);
    WindowBackdrop backdrop;
    const QSize size(640, 420);
    EXPECT_EQ(backdropShot(backdrop, size, 0, QRect(QPoint(0, 0), size)), freshBackdrop(size, 0));

    // Two rectangles of a repaint: each as painted afresh, nothing around them touched.
    const QRegion parts = QRegion(10, 20, 200, 150) + QRegion(300, 100, 120, 300);
    const QImage partly = backdropShot(backdrop, size, 0, parts);
    const QImage whole = freshBackdrop(size, 0);
    for (const QPoint& at : {QPoint(10, 20), QPoint(209, 169), QPoint(350, 399), QPoint(300, 100)})
        EXPECT_EQ(partly.pixel(at), whole.pixel(at)) << at.x() << "," << at.y();
    for (const QPoint& at : {QPoint(0, 0), QPoint(250, 50), QPoint(639, 419), QPoint(421, 100)})
        EXPECT_EQ(partly.pixel(at), QColor(Qt::magenta).rgb()) << at.x() << "," << at.y();

    // The kept picture is never shown stale: not after the appearance changes, a resize, or the
    // search's glow moving.
    Theme::current().setAppearance(Appearance::Dark);
    EXPECT_EQ(backdropShot(backdrop, size, 0, QRect(QPoint(0, 0), size)), freshBackdrop(size, 0));
    const QSize larger(900, 500);
    EXPECT_EQ(backdropShot(backdrop, larger, 0, QRect(QPoint(0, 0), larger)), freshBackdrop(larger, 0));
    EXPECT_EQ(backdrop.picture().size(), larger);
    EXPECT_EQ(backdropShot(backdrop, larger, 1, QRect(QPoint(0, 0), larger)), freshBackdrop(larger, 1));
    // A glow on its way is mixed from the pictures at rest and glowing: what a fresh paint shows,
    // give or take two levels of rounding.
    const QImage mixed = backdropShot(backdrop, larger, 0.6, QRect(QPoint(0, 0), larger));
    const QImage fresh = freshBackdrop(larger, 0.6);
    int worst = 0;
    for (int y = 0; y < larger.height(); ++y) {
        for (int x = 0; x < larger.width(); ++x) {
            const QRgb a = mixed.pixel(x, y);
            const QRgb b = fresh.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    }
    EXPECT_LE(worst, 2);
    EXPECT_NE(freshBackdrop(larger, 0.6), freshBackdrop(larger, 0));
    // Back at rest after an appearance change while glowing: the pictures are painted anew.
    Theme::current().setAppearance(Appearance::Light);
    EXPECT_EQ(backdropShot(backdrop, larger, 0, QRect(QPoint(0, 0), larger)), freshBackdrop(larger, 0));
    Theme::current().setAppearanceRawValue(originalAppearance);
}

// The window repaints only the glow's region while the glow moves: outside it the backdrop must
// be the same at rest and glowing, in both appearances.
TEST(WindowBackdropTest, TheGlowChangesNothingOutsideItsRegion)
{
    const QString originalAppearance = Theme::current().appearanceRawValue();
    for (Appearance appearance : {Appearance::Light, Appearance::Dark}) {
        Theme::current().setAppearance(appearance);
        const QSize size(1400, 820);
        const QImage rest = freshBackdrop(size, 0);
        const QImage glowing = freshBackdrop(size, 1);
        const QRegion outside = QRegion(QRect(QPoint(0, 0), size)) - WindowBackdrop::glowRegion(size);
        ASSERT_FALSE(outside.isEmpty());
        for (const QRect& rect : outside) {
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x)
                    ASSERT_EQ(rest.pixel(x, y), glowing.pixel(x, y)) << x << "," << y;
            }
        }
        EXPECT_NE(rest, glowing);
    }
    Theme::current().setAppearanceRawValue(originalAppearance);
}

TEST(WindowChromeTest, EdgeIsLaidOnceOnEveryEdgePixelAndLeavesTheInsideAlone)
{
    QWidget window;
    window.resize(300, 250);
    WindowChrome chrome(WindowChrome::mainWindowAluminum(), &window);
    ASSERT_EQ(chrome.size(), window.size());
    QImage shot(chrome.size(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::white);
    chrome.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);

    QImage expected(1, 1, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::white);
    QPainter(&expected).fillRect(QRect(0, 0, 1, 1), chrome.borderColor());
    const QRgb edge = expected.pixel(0, 0);
    const int w = shot.width();
    const int h = shot.height();
    // Sides, corners and the bottom row: the colour laid once, with no gap between runs.
    for (int y = WindowChrome::tintHeight; y < h; ++y) {
        ASSERT_EQ(shot.pixel(0, y), edge) << "left, row " << y;
        ASSERT_EQ(shot.pixel(w - 1, y), edge) << "right, row " << y;
    }
    for (int x = 0; x < w; ++x)
        ASSERT_EQ(shot.pixel(x, h - 1), edge) << "bottom, column " << x;
    EXPECT_EQ(shot.pixel(w / 2, h / 2), QColor(Qt::white).rgb());
    EXPECT_EQ(shot.pixel(1, h - 2), QColor(Qt::white).rgb());
    EXPECT_EQ(shot.pixel(w - 2, WindowChrome::tintHeight), QColor(Qt::white).rgb());

    // The chrome claims only its band and edge, after a resize too: a repaint inside the window,
    // or the chrome raised over a new notice, never repaints the whole window under it.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(420, 310);
    QCoreApplication::processEvents();
    EXPECT_EQ(chrome.size(), QSize(420, 310));
    EXPECT_EQ(chrome.mask(), WindowChrome::paintedRegion(QSize(420, 310)));
    EXPECT_TRUE(chrome.mask().contains(QPoint(419, 150)));
    EXPECT_TRUE(chrome.mask().contains(QPoint(210, 309)));
    EXPECT_TRUE(chrome.mask().contains(QPoint(210, WindowChrome::tintHeight - 1)));
    EXPECT_FALSE(chrome.mask().contains(QPoint(210, 150)));
    EXPECT_FALSE(chrome.mask().contains(QPoint(418, 150)));
}

TEST(NoticeBannerTest, EmptyDetailShowsTheTitleOnlyAndLongDetailStaysOnOneLine)
{
    const NoticeBannerLook look{QStringLiteral("clock.badge.checkmark"), Qt::blue};
    NoticeBanner titleOnly(look, QStringLiteral("Bring Back set"), std::nullopt);
    NoticeBanner emptyDetail(look, QStringLiteral("Bring Back set"), QString());
    EXPECT_EQ(emptyDetail.detail(), QString());
    EXPECT_EQ(emptyDetail.sizeHint(), titleOnly.sizeHint());

    NoticeBanner shortDetail(look, QStringLiteral("Bring Back set"), QStringLiteral("Tomorrow"));
    NoticeBanner longDetail(look, QStringLiteral("Bring Back set"), QString(400, QLatin1Char('x')));
    EXPECT_GT(shortDetail.sizeHint().height(), titleOnly.sizeHint().height());
    EXPECT_EQ(longDetail.sizeHint().height(), shortDetail.sizeHint().height()) << "the detail never wraps";
    EXPECT_LE(longDetail.sizeHint().width(), NoticeBanner::maximumTextWidth + 2 * NoticeBanner::shadowMargin + 80);
}

// Whatever a notice says (a long path, many lines), every line fits its width, nothing is lost
// but what gives way to "…", and a word is broken only where it is wider than a line.
TEST(NoticeTextTest, LinesFitTheirWidthAndTheLastAllowedOneEndsInAnEllipsis)
{
    const QFont font = Theme::font(11);
    const QFontMetricsF metrics(font);
    const qreal width = 200;
    const QString path = QStringLiteral("/home/ann/Pictures/") + QString(80, QLatin1Char('p')) + QStringLiteral(".jpg");
    const QString words = QStringLiteral("the quick brown fox jumps over the lazy dog ").repeated(12).trimmed();
    struct Case {
        QString text;
        int maxLines;
        bool ellipsis;
    };
    for (const Case& c : {Case{path + QStringLiteral(" was not imported"), 0, false},
                          Case{words, 0, false},
                          Case{words, 3, true},
                          Case{QStringLiteral("one\ntwo\nthree"), 2, true},
                          Case{QStringLiteral("short"), 4, false}}) {
        const QStringList lines = noticeLines(font, c.text, width, c.maxLines);
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_FALSE(lines.isEmpty());
        if (c.maxLines > 0)
            EXPECT_LE(lines.size(), c.maxLines);
        for (const QString& line : lines)
            EXPECT_LE(metrics.horizontalAdvance(line), width + 0.5) << line.toStdString();
        EXPECT_EQ(lines.constLast().endsWith(QStringLiteral("\u2026")), c.ellipsis);
        if (!c.ellipsis) {
            QString joined = lines.join(QString());
            joined.remove(QLatin1Char(' '));
            QString expected = c.text;
            expected.remove(QLatin1Char(' ')).remove(QLatin1Char('\n'));
            EXPECT_EQ(joined, expected);
        }
    }
    // Words are kept whole where they fit.
    for (const QString& line : noticeLines(font, words, width))
        EXPECT_TRUE(words.contains(line)) << line.toStdString();
}

TEST(NoticeHostTest, ANoticeReplacedWhileComingInStillLeavesAndTheNewOneSettles)
{
    QWidget window;
    window.resize(800, 600);
    window.show();
    NoticeHost host(&window, 84, 18);
    QPointer<QWidget> first = new QLabel(QStringLiteral("first"));
    host.show(first);
    // A third of the way through its entrance.
    auto* entrance = first->findChild<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(entrance, nullptr);
    ASSERT_EQ(entrance->state(), QAbstractAnimation::Running);
    entrance->setCurrentTime(entrance->duration() / 3);
    QPointer<QWidget> second = new QLabel(QStringLiteral("second"));
    host.show(second);
    EXPECT_EQ(host.current(), second.data());
    ASSERT_EVENTUALLY(first.isNull(), 2000);
    ASSERT_EVENTUALLY_EQ(second->pos(), host.targetPosition(second), 5000);
    ASSERT_EVENTUALLY(second->graphicsEffect() == nullptr, 5000);

    host.clear();
    EXPECT_EQ(host.current(), nullptr);
    ASSERT_EVENTUALLY(second.isNull(), 2000);
}

using LibraryContentTest = WindowTest;

TEST_F(LibraryContentTest, GridAndWindowStateFollowEachOther)
{
    MainWindowState state(settings);
    LibraryContent content(*store, state, settings);
    LibraryGridView* grid = content.grid();

    const QUuid pulsing = QUuid::createUuid();
    state.setCapturePulseID(pulsing);
    EXPECT_EQ(grid->capturePulseID(), pulsing);
    state.setSurfacePulse(true);
    EXPECT_TRUE(grid->surfacePulse());

    // The grid's own banners and menus change the window's browsing state.
    grid->setShowingAllVesks(true);
    EXPECT_TRUE(state.showingAllVesks());
    grid->setGroupFilter(VeskGroupFilter::ungrouped());
    EXPECT_EQ(state.groupFilter(), VeskGroupFilter::ungrouped());
    state.setGroupFilter(VeskGroupFilter::all());
    EXPECT_TRUE(grid->groupFilter().isAll());

    // A pulse toggled on either side is one toggle, not two that cancel out.
    const bool before = state.surfacePulse();
    grid->setSurfacePulse(!before);
    EXPECT_EQ(state.surfacePulse(), !before);
    EXPECT_EQ(grid->surfacePulse(), !before);

    // The prompts the grid asks for become the window's sheet flags.
    emit grid->deleteConfirmationRequested();
    EXPECT_TRUE(state.showingDeleteConfirmation());
    const QUuid item = QUuid::createUuid();
    emit grid->renameRequested(item, QStringLiteral("Holiday"));
    EXPECT_EQ(state.pendingRenameItemID(), item);
    EXPECT_EQ(state.renameItemTitle(), QStringLiteral("Holiday"));
    state.setNewGroupName(QStringLiteral("stale"));
    emit grid->newGroupRequested(item);
    EXPECT_TRUE(state.showingNewGroupPrompt());
    EXPECT_EQ(state.pendingGroupItemID(), item);
    EXPECT_TRUE(state.newGroupName().isEmpty());
}

TEST_F(LibraryContentTest, ThePaneShowsTheTopResultOnlyOnceTheTypingRests)
{
    const VeskItem apple = makeItem(QStringLiteral("apple pie"), 100);
    const VeskItem apricot = makeItem(QStringLiteral("apricot jam"), 200);
    const VeskItem banana = makeItem(QStringLiteral("banana bread"), 300);
    seed({apple, apricot, banana});
    useStoreWithoutSearchPasses();
    MainWindowState state(settings);
    LibraryContent content(*store, state, settings);
    VeskPreview* pane = content.preview();
    store->select(apricot.id);
    ASSERT_EQ(pane->item()->id, apricot.id);
    QCoreApplication::processEvents();
    int rebuilds = 0;
    QObject::connect(pane, &VeskPreview::contentRebuilt, pane, [&] { ++rebuilds; });
    const auto typeKey = [&](const QString& text) {
        store->setSearchText(text);
        store->refreshFilteredItems(text);
        QCoreApplication::processEvents();
    };

    // The first key selects the top of the list shown until then (the newest item), and each
    // key's results move the selection to their own top; the pane is built for none of them
    // while the keys come, each within the rest of the one before.
    store->setSearchText(QStringLiteral("app"));
    EXPECT_EQ(store->selectedID(), banana.id);
    EXPECT_EQ(pane->item()->id, apricot.id);
    for (const QString& text : {QStringLiteral("app"), QStringLiteral("appl"), QStringLiteral("apple")}) {
        typeKey(text);
        ASSERT_FALSE(store->filteredItems().isEmpty());
        EXPECT_EQ(store->selectedID(), store->filteredItems().first().id) << text.toStdString();
        EXPECT_EQ(pane->item()->id, apricot.id) << text.toStdString();
        timers->advance(VeskPreview::typingRestMs - 1);
    }
    EXPECT_EQ(rebuilds, 0);
    // Once the typing rests, the last of them is shown, built once.
    timers->advance(1);
    EXPECT_EQ(pane->item()->id, apple.id);
    EXPECT_EQ(rebuilds, 1);

    // The user's own choice while the typing goes on is shown at once, and the held one is moot.
    typeKey(QStringLiteral("apr"));
    EXPECT_EQ(store->selectedID(), apricot.id);
    store->select(banana.id);
    EXPECT_EQ(pane->item()->id, banana.id);
    timers->advance(VeskPreview::typingRestMs);
    EXPECT_EQ(pane->item()->id, banana.id);
    EXPECT_EQ(rebuilds, 2);
}

TEST_F(LibraryContentTest, EditImageOpensTheEditorAndKeepsTheSavedVersion)
{
    MainWindowState state(settings);
    LibraryContent content(*store, state, settings);
    const QString path = QDir(makeTempDirectory(QStringLiteral("pictures"))).filePath(QStringLiteral("Dune.png"));
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    ASSERT_TRUE(picture.save(path));
    ASSERT_TRUE(importNow(*store, path));
    const VeskItem original = store->items().first();
    // The pane is built for an imported item a frame after it arrives.
    timers->advance(VeskPreview::newItemDelayMs);

    auto* editImage = content.preview()->findChild<QPushButton*>(QStringLiteral("previewEditImageButton"));
    ASSERT_TRUE(editImage);
    editImage->click();
    QPointer<VeskImageEditor> editor = content.findChild<VeskImageEditor*>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->item(), original);
    ASSERT_EVENTUALLY(editor->saveButton()->isEnabled(), 10000);
    EditSettings turned;
    turned.quarterTurns = 1;
    editor->setSettings(turned);
    editor->saveEditedVersion();
    ASSERT_EVENTUALLY_EQ(store->items().size(), 2, 10000);

    const VeskItem version = store->items().first();
    EXPECT_EQ(version.sourceItemID, original.id);
    EXPECT_EQ(QImage(*version.filePath).size(), QSize(80, 120));
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Edited version saved"));
    ASSERT_EVENTUALLY(editor.isNull(), 2000);
}

using HeaderTest = WindowTest;

TEST_F(HeaderTest, PointerNearTheSearchOrControlsBrightensTheHeader)
{
    MainWindow& view = makeWindow();
    view.show();
    HeaderBar* header = view.header();
    QEvent enter(QEvent::Enter);
    QEvent leave(QEvent::Leave);

    QApplication::sendEvent(header->searchField(), &enter);
    EXPECT_TRUE(view.state().memoryControlsNearby());
    ASSERT_EVENTUALLY(header->nearbyProgress() > 0.9, 5000);

    // Moving from the capsule onto the controls keeps it bright; leaving both dims it.
    QApplication::sendEvent(view.controlsStrip(), &enter);
    QApplication::sendEvent(header->searchField(), &leave);
    EXPECT_TRUE(view.state().memoryControlsNearby());
    QApplication::sendEvent(view.controlsStrip(), &leave);
    EXPECT_FALSE(view.state().memoryControlsNearby());
    ASSERT_EVENTUALLY(header->nearbyProgress() < 0.05, 5000);
}

TEST_F(HeaderTest, TheControlsCapsulesShowEachChangeOfTheirLookAtTheNextPaint)
{
    // Their capsules are painted once per look and copied: a look left out of what is kept
    // would show the capsule as it was.
    MainWindowState state(settings);
    ControlsStrip strip(state);
    strip.resize(520, 44);
    GlassButton* button = strip.secureButton();
    button->resize(button->sizeHint());
    const QImage stripAtRest = strip.grab().toImage();
    const QImage buttonAtRest = button->grab().toImage();
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QEvent leave(QEvent::Leave);
    struct Change {
        const char* name;
        std::function<void()> apply;
        std::function<void()> undo;
    };
    const Change changes[] = {
        {"pressed", [&] { button->setDown(true); }, [&] { button->setDown(false); }},
        {"hovered", [&] { QApplication::sendEvent(button, &enter); }, [&] { QApplication::sendEvent(button, &leave); }},
    };
    for (const Change& change : changes) {
        change.apply();
        EXPECT_NE(button->grab().toImage(), buttonAtRest) << change.name;
        change.undo();
        EXPECT_EQ(button->grab().toImage(), buttonAtRest) << change.name;
    }
    state.setMemoryControlsNearby(true);
    EXPECT_NE(strip.grab().toImage(), stripAtRest);
    state.setMemoryControlsNearby(false);
    EXPECT_EQ(strip.grab().toImage(), stripAtRest);
}

TEST_F(HeaderTest, DropZoneOutlineFollowsTheDragHover)
{
    MainWindow& view = makeWindow();
    view.show();
    CaptureDropZone* zone = view.dropZone();
    EXPECT_EQ(zone->outlineProgress(), 0.0);
    view.state().setIsTargeted(true);
    ASSERT_EVENTUALLY_EQ(zone->outlineProgress(), 1.0, 5000);
    view.state().setIsTargeted(false);
    ASSERT_EVENTUALLY_EQ(zone->outlineProgress(), 0.0, 5000);
}

TEST(VeskAppTest, AppearanceSettingDrivesTheApplicationPalette)
{
    auto settings = std::make_shared<MemorySettings>();
    settings->setValue(QStringLiteral("veskAppearance"), QStringLiteral("dark"));
    VeskServices services;
    services.settings = settings;
    services.clock = std::make_shared<FakeClock>();
    services.dataDirectory = makeTempDirectory(QStringLiteral("app"));
    const QPalette original = QApplication::palette();
    const QString originalAppearance = Theme::current().appearanceRawValue();
    {
        VeskApp app(services);
        EXPECT_TRUE(Theme::current().isDark());
        EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
        EXPECT_EQ(app.mainWindow().size(), QSize(1400, 820));
        // "New Vesk" opens the composer sheet.
        app.mainWindow().openTextCapture();
        EXPECT_NE(app.mainWindow().presentedSheet(SheetFlag::TextCapture), nullptr);
        // "People" presents the People window.
        EXPECT_TRUE(app.mainWindow().state().sheetAvailable(SheetFlag::FaceClusterInspector));
        app.mainWindow().state().setShowingFaceClusterInspector(true);
        EXPECT_TRUE(qobject_cast<VeskFaceClusterInspector*>(
            app.mainWindow().presentedSheet(SheetFlag::FaceClusterInspector)));

        Theme::current().setAppearance(Appearance::Light);
        EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 180);
        EXPECT_EQ(settings->value(QStringLiteral("veskAppearance")).toString(), QStringLiteral("light"));
    }
    Theme::current().attachSettings(nullptr);
    Theme::current().setAppearanceRawValue(originalAppearance);
    QApplication::setPalette(original);
}

TEST(VeskAppTest, TheDesktopsQuitKeyEndsVeskAsAQuitRequestDoes)
{
    VeskServices services;
    services.settings = std::make_shared<MemorySettings>();
    services.clock = std::make_shared<FakeClock>();
    services.dataDirectory = makeTempDirectory(QStringLiteral("app-quit-key"));
    const QPalette original = QApplication::palette();
    const QString originalAppearance = Theme::current().appearanceRawValue();
    {
        VeskApp app(services);
        // A desktop without a free Control+Alt+T would stop the test at its alert.
        app.summonHotKey().setFailureReporter([](const HotKeyFailure&) {});
        app.mainWindow().show();
        app.mainWindow().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app.mainWindow()));
        // Pressed as the user presses it: on whatever holds the keyboard focus in the window.
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &app.mainWindow();
        QTest::keyClick(focus, Qt::Key_Q, Qt::ControlModifier);
        ASSERT_EVENTUALLY(app.quitRequested(), 5000);
        EXPECT_FALSE(app.mainWindow().isVisible());
    }
    Theme::current().attachSettings(nullptr);
    Theme::current().setAppearanceRawValue(originalAppearance);
    QApplication::setPalette(original);
}

} // namespace
} // namespace vesk::test
