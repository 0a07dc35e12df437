#include "common/TestEnvironment.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "platform/ui/Theme.h"
#include "pane/StableImageView.h"
#include "pane/CachedVeskImage.h"
#include "pane/LongTextView.h"
#include "images/ImageCaches.h"
#include "store/RealServices.h"
#include "images/PreparedPreviewCache.h"
#include "pane/PreviewSections.h"
#include "pane/QuickLookThumb.h"
#include "pane/SplitLayout.h"
#include "pane/SplitLayoutWidth.h"
#include "pane/VeskPreview.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextRtf.h"
#include "richtext/VeskRichTextReadView.h"
#include "store/VeskStore.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QFile>
#include <QLabel>
#include <QPromise>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QWheelEvent>
#include <QTextBrowser>
#include <QTextDocument>
#include "common/Fakes.h"
#include "store/StoreInternals.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

QString writePicture(const QString& folder, const QString& name, QSize size, QColor colour = QColor(200, 40, 40))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QDir(folder).filePath(name);
    EXPECT_TRUE(image.save(path));
    return path;
}

VeskItem makeItem(VeskKind kind, const QString& title)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = title;
    item.searchableText = title;
    item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    return item;
}

class PreviewPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setVeskLogCapture([](const QString&) {});
        dataDir = test::makeTempDirectory(QStringLiteral("pane"));
        services.settings = settings;
        services.dataDirectory = dataDir;
        services.lexicalSearchDelayMs = 1;
        services.deepSearchDelayMs = 2;
        caches = installImageCaches(services);
        store = std::make_unique<VeskStore>(services);
    }
    void TearDown() override
    {
        store.reset();
        setVeskLogCapture({});
    }

    // What the pane shows by that name: sections kept for the next item of their kind wait
    // hidden in the content.
    template <typename T>
    T* find(VeskPreview& pane, const char* name)
    {
        if (!pane.content())
            return nullptr;
        for (T* widget : pane.content()->findChildren<T*>(QLatin1String(name))) {
            if (widget->isVisibleTo(pane.content()))
                return widget;
        }
        return nullptr;
    }

    template <typename T>
    QList<T*> shown(VeskPreview& pane)
    {
        QList<T*> widgets;
        for (T* widget : pane.content()->findChildren<T*>()) {
            if (widget->isVisibleTo(pane.content()))
                widgets.append(widget);
        }
        return widgets;
    }

    QString dataDir;
    VeskServices services;
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    ImageCaches caches;
    std::unique_ptr<VeskStore> store;
};

} // namespace

TEST(StableImageView, SameImageDoesNoWorkAndPicturesAreLetterboxed)
{
    StableImageView view;
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::green);
    view.setImage(picture);
    const int generation = view.contentsGeneration();
    view.setImage(picture);
    const QImage copy = picture; // shares the data: the same picture
    view.setImage(copy);
    EXPECT_EQ(view.contentsGeneration(), generation);

    QImage twin(40, 20, QImage::Format_RGB32);
    twin.fill(Qt::green);
    view.setImage(twin); // equal pixels, another picture
    EXPECT_EQ(view.contentsGeneration(), generation + 1);
    EXPECT_FALSE(view.sizeHint().isValid());

    EXPECT_EQ(StableImageView::fittedRect({40, 20}, QRectF(0, 0, 100, 100)), QRectF(0, 25, 100, 50));
    EXPECT_EQ(StableImageView::fittedRect({10, 40}, QRectF(0, 0, 100, 100)), QRectF(37.5, 0, 25, 100));
}

TEST(CachedVeskImage, ARecycledViewNeverShowsTheOtherItemsPicture)
{
    auto thumbnails = std::make_shared<test::FakeThumbnails>();
    thumbnails->hold = true;
    CachedVeskImage view(thumbnails);
    const VeskItem first = makeItem(VeskKind::Image, "first");
    const VeskItem second = makeItem(VeskKind::Image, "second");
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);

    view.setItem(first);
    thumbnails->answer(first.id, red);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }));

    // Reused for another item: the old picture goes at once ...
    view.setItem(second);
    EXPECT_TRUE(view.image().isNull());
    // ... and a late answer for an item it no longer shows is dropped.
    view.setItem(first);
    view.setItem(second);
    thumbnails->answer(first.id, red);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.image().isNull());
    thumbnails->answer(second.id, blue);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }));
    EXPECT_EQ(view.image().pixel(0, 0), QColor(Qt::blue).rgb());
}

TEST(FullImageOrCached, ClearsOnChangeAndIgnoresStaleAnswers)
{
    const QString sources = test::makeTempDirectory();
    const QString root = test::makeTempDirectory();
    auto previews = std::make_shared<PreparedPreviewCache>(QDir(root).filePath("PreparedPreviews"), nullptr);
    FullImageOrCached view(previews);
    VeskItem withPicture = makeItem(VeskKind::Image, "pic");
    withPicture.filePath = writePicture(sources, "pic.png", {64, 32});
    const VeskItem without = makeItem(VeskKind::Image, "none");

    EXPECT_TRUE(view.isWaiting());
    view.setItem(withPicture);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }));
    EXPECT_FALSE(view.isWaiting());

    view.setItem(without);
    EXPECT_TRUE(view.image().isNull());
    // Waiting, or already told there is nothing to show when the answer was quick.
    EXPECT_TRUE(view.isWaiting() || view.isUnavailable());

    // The picture's answer comes first but belongs to an item no longer shown.
    view.setItem(withPicture);
    view.setItem(without);
    previews->waitForIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isUnavailable(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.image().isNull());
    EXPECT_FALSE(view.isWaiting());
}

// A picture whose bytes do not decode ends in "Preview unavailable", never a spinner for ever; a
// later item that does decode is shown as usual.
TEST(FullImageOrCached, UndecodablePictureSaysPreviewUnavailable)
{
    const QString sources = test::makeTempDirectory();
    auto previews = std::make_shared<PreparedPreviewCache>(
        QDir(test::makeTempDirectory()).filePath("PreparedPreviews"), nullptr);
    FullImageOrCached view(previews);
    view.resize(300, 200);
    VeskItem broken = makeItem(VeskKind::Image, "broken");
    broken.filePath = QDir(sources).filePath("broken.jpg");
    QFile file(*broken.filePath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xd8 these bytes are no picture");
    file.close();

    view.setItem(broken);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isUnavailable(); }, 20'000));
    EXPECT_FALSE(view.isWaiting());
    EXPECT_FALSE(view.grab().isNull());

    VeskItem picture = makeItem(VeskKind::Image, "pic");
    picture.filePath = writePicture(sources, "pic.png", {64, 32});
    view.setItem(picture);
    EXPECT_FALSE(view.isUnavailable()); // waiting, or already shown when the answer was quick
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.image().isNull(); }, 20'000));
    EXPECT_FALSE(view.isUnavailable());
}

TEST(QuickLookThumb, MissingFileShowsTheTypeIconAndRenderedOnesAreKept)
{
    auto loader = std::make_shared<ThumbnailLoader>();
    QuickLookThumb thumb(loader);
    const QString folder = test::makeTempDirectory();
    thumb.setPath(QDir(folder).filePath("missing.pdf"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thumb.thumbnail().iconName.isEmpty(); }));
    EXPECT_TRUE(thumb.thumbnail().isIcon());
    EXPECT_EQ(thumb.thumbnail().iconName, "application-pdf");

    const QString picture = writePicture(folder, "shot.png", {880, 352});
    thumb.setPath(picture);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thumb.thumbnail().isIcon(); }));
    QFile::remove(picture);
    // Kept by path for the life of the process, even once the file is gone.
    auto again = loader->thumbnail(picture, {440, 176});
    again.waitForFinished();
    EXPECT_FALSE(again.result().isIcon());
}

TEST(SplitLayout, StoresTheClampedWidthOnceWhenADragEnds)
{
    auto settings = std::make_shared<MemorySettings>();
    auto* library = new QWidget;
    auto* preview = new QWidget;
    SplitLayout split(settings, library, preview);
    split.resize(1400, 800);
    EXPECT_DOUBLE_EQ(split.previewWidth(), 350);

    split.updateDrag(-500);
    EXPECT_DOUBLE_EQ(split.previewWidth(), 700);
    EXPECT_EQ(preview->width(), 700);
    EXPECT_FALSE(settings->contains("veskPreviewPaneWidth")); // nothing stored mid-drag
    split.commitDrag(-500);
    EXPECT_DOUBLE_EQ(settings->value("veskPreviewPaneWidth").toDouble(), 700);
    EXPECT_EQ(library->width(), 1400 - 700 - 10);

    // A narrower window takes the room from the preview first: the library keeps its 590 points,
    // the preview its 300, and the stored width is not touched.
    split.show();
    split.resize(1100, 800);
    EXPECT_EQ(library->width(), 590);
    EXPECT_EQ(preview->width(), 1100 - 590 - 10);
    split.resize(800, 800);
    EXPECT_EQ(preview->width(), 300);
    EXPECT_DOUBLE_EQ(split.previewWidth(), 700);

    // A handle press and release without movement stores the clamped width.
    settings->setValue("veskPreviewPaneWidth", 950.0);
    SplitLayout reopened(settings, new QWidget, new QWidget);
    reopened.resize(1400, 800);
    reopened.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&reopened));
    EXPECT_DOUBLE_EQ(reopened.previewWidth(), 700);
    QTest::mousePress(reopened.handle(), Qt::LeftButton, {}, QPoint(5, 100));
    QTest::mouseRelease(reopened.handle(), Qt::LeftButton, {}, QPoint(5, 100));
    EXPECT_DOUBLE_EQ(settings->value("veskPreviewPaneWidth").toDouble(), 700);
}

TEST_F(PreviewPaneTest, ImageItemShowsItsPreparedPreview)
{
    VeskItem image = makeItem(VeskKind::Image, "Holiday");
    image.filePath = writePicture(test::makeTempDirectory(), "holiday.png", {2400, 1200});
    StoreInternals::setItems(*store, {image});
    VeskPreview pane(*store); // the caches the store was given
    pane.setItem(image);
    EXPECT_EQ(pane.section(), PreviewSection::Image);
    auto* picture = find<FullImageOrCached>(pane, "previewFullImage");
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !picture->image().isNull(); }));
    EXPECT_EQ(picture->image().size(), QSize(1800, 900));
    // Open Original hands the stored file to the opener.
    QList<QUrl> opened;
    pane.setOpener([&](const QUrl& url, OpenRefused) {
        opened.append(url);
        return true;
    });
    pane.setItem(image);
    image.title = "Renamed";
    pane.setItem(image);
    for (QPushButton* button : shown<QPushButton>(pane)) {
        if (button->text() == "Open Original")
            button->click();
    }
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(*image.filePath)});

    // An image item without a stored file still gets the picture area, but nothing to open.
    VeskItem bare = makeItem(VeskKind::Image, "Pasted picture");
    pane.setItem(bare);
    EXPECT_EQ(pane.section(), PreviewSection::Image);
    EXPECT_NE(find<FullImageOrCached>(pane, "previewFullImage"), nullptr);
    for (QPushButton* button : shown<QPushButton>(pane))
        EXPECT_NE(button->text(), "Open Original");
}

TEST_F(PreviewPaneTest, FocusingAnotherItemRebuildsThePane)
{
    VeskItem note = makeItem(VeskKind::Text, "Shopping");
    note.text = "eggs\nmilk";
    VeskItem link = makeItem(VeskKind::Url, "Site");
    link.urlString = "not a url at all";
    StoreInternals::setItems(*store, {note, link});

    VeskPreview pane(*store, caches);
    QList<QUrl> opened;
    pane.setOpener([&](const QUrl& url, OpenRefused) {
        opened.append(url);
        return true;
    });
    pane.setItem(note);
    auto* text = find<WrappingText>(pane, "previewPlainText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "eggs\nmilk");
    EXPECT_EQ(find<WrappingText>(pane, "previewTitle")->text(), "Shopping");
    text->selectAll();
    find<WrappingText>(pane, "previewTitle")->selectAll();

    pane.setItem(link);
    // Nothing of the previous item shows.
    EXPECT_EQ(find<WrappingText>(pane, "previewPlainText"), nullptr);
    EXPECT_EQ(find<WrappingText>(pane, "previewTitle")->text(), "Site");
    EXPECT_TRUE(find<WrappingText>(pane, "previewTitle")->selectedText().isEmpty());
    EXPECT_EQ(pane.section(), PreviewSection::Link);
    for (QPushButton* button : shown<QPushButton>(pane))
        button->click();
    EXPECT_TRUE(opened.isEmpty()); // an address that is no URL opens nothing

    // Another note shows its own text, none of the last one's selection, also where both
    // have the same title.
    VeskItem other = makeItem(VeskKind::Text, "Shopping");
    other.text = "post office";
    pane.setItem(note);
    find<WrappingText>(pane, "previewPlainText")->selectAll();
    find<WrappingText>(pane, "previewTitle")->selectAll();
    pane.setItem(other);
    text = find<WrappingText>(pane, "previewPlainText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "post office");
    EXPECT_TRUE(text->selectedText().isEmpty());
    EXPECT_TRUE(find<WrappingText>(pane, "previewTitle")->selectedText().isEmpty());

    // Another item opens at the top of the pane, wherever the last one was scrolled to; the
    // same item changed in the store keeps its place.
    VeskItem longer = makeItem(VeskKind::Text, "Long");
    longer.text = QString("line of text\n").repeated(400);
    VeskItem longest = makeItem(VeskKind::Text, "Longer");
    longest.text = QString("another line\n").repeated(500);
    StoreInternals::setItems(*store, {note, link, longer, longest});
    pane.resize(360, 600);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    auto* scrollBar = pane.findChild<QScrollArea*>()->verticalScrollBar();
    pane.setItem(longer);
    QCoreApplication::processEvents();
    scrollBar->setValue(scrollBar->maximum() / 2);
    ASSERT_GT(scrollBar->value(), 0);
    longer.title = "Long, renamed";
    pane.setItem(longer);
    QCoreApplication::processEvents();
    EXPECT_GT(scrollBar->value(), 0);
    pane.setItem(longest);
    QCoreApplication::processEvents();
    EXPECT_EQ(scrollBar->value(), 0);

    // The pane follows the store's focused item by itself when asked to; with none (or one that
    // is not in the library) it invites a selection.
    pane.followSelection();
    store->select(note.id);
    EXPECT_EQ(pane.item()->id, note.id);
    EXPECT_EQ(find<QWidget>(pane, "previewNoSelection"), nullptr);
    store->select(QUuid::createUuid());
    // A second selection in the same turn (captures landing together) shows on the next turn.
    EXPECT_EQ(pane.item()->id, note.id);
    QCoreApplication::processEvents();
    EXPECT_FALSE(pane.item().has_value());
    EXPECT_NE(find<QWidget>(pane, "previewNoSelection"), nullptr);
    QCoreApplication::processEvents();
    store->select(link.id);
    EXPECT_EQ(pane.item()->id, link.id);
}

TEST_F(PreviewPaneTest, ContentKeepsItsWidthWhetherOrNotItScrolls)
{
    struct Case {
        const char* title;
        int lines;
        bool scrolls;
    };
    const Case cases[] = {
        {"Short", 2, false},
        {"Long", 400, true},
        {"Short again", 1, false},
    };
    VeskPreview pane(*store, caches);
    pane.resize(360, 600);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    auto* scroll = pane.findChild<QScrollArea*>();
    int width = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        VeskItem note = makeItem(VeskKind::Text, c.title);
        note.text = QString("line of text\n").repeated(c.lines);
        pane.setItem(note);
        QCoreApplication::processEvents();
        EXPECT_EQ(scroll->verticalScrollBar()->isVisible(), c.scrolls);
        // A panel that makes the content taller than the pane must not reflow it narrower.
        if (width < 0)
            width = scroll->widget()->width();
        EXPECT_EQ(scroll->widget()->width(), width);
    }
}

TEST_F(PreviewPaneTest, LongWordsWrapInsideTheColumnAndLongTextsScrollOnTheirOwn)
{
    const QString token = QString("Ab3xQ9").repeated(60);
    VeskItem link = makeItem(VeskKind::Url, token + " and a tail of ordinary words that runs on for a while more");
    link.urlString = "https://example.org/download?token=" + token;
    VeskItem note = makeItem(VeskKind::Text, "Dump");
    note.text = token;
    VeskItem extract = makeItem(VeskKind::Text, "Extract");
    extract.text = QString("many words of an extracted page\n").repeated(20'000);
    StoreInternals::setItems(*store, {link, note, extract});

    VeskPreview pane(*store, caches);
    pane.resize(360, 700);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    auto fitsTheColumn = [&] {
        QCoreApplication::processEvents();
        return pane.content()->width() <= 360;
    };

    pane.setItem(link);
    EXPECT_TRUE(fitsTheColumn()) << pane.content()->width();
    auto* title = find<WrappingText>(pane, "previewTitle");
    auto* address = find<WrappingText>(pane, "previewLinkAddress");
    ASSERT_NE(title, nullptr);
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->text(), *link.urlString); // wrapped for display only
    // The title stops at its third line, and says that it goes on.
    const int lineHeight = title->fontMetrics().lineSpacing();
    EXPECT_LE(title->height(), 3 * lineHeight + 3);
    EXPECT_GT(title->height(), 3 * lineHeight - 3);
    EXPECT_TRUE(title->toPlainText().endsWith(QStringLiteral("\u2026"))) << title->toPlainText().toStdString();
    EXPECT_EQ(title->text(), link.title);

    pane.setItem(note);
    EXPECT_TRUE(fitsTheColumn()) << pane.content()->width();
    auto* text = find<WrappingText>(pane, "previewPlainText");
    ASSERT_NE(text, nullptr);
    EXPECT_GT(text->height(), 2 * text->fontMetrics().lineSpacing()); // the token wraps

    pane.setItem(extract);
    auto* scrolling = find<LongTextView>(pane, "previewPlainText");
    ASSERT_NE(scrolling, nullptr);
    // A long text's lines are found a piece per turn of the event loop, all of them in the end.
    EXPECT_TRUE(QTest::qWaitFor([&] { return scrolling->isFilled(); }, test::realWaitMs(5000)));
    EXPECT_EQ(scrolling->lineCount(), 20'000);
    EXPECT_EQ(scrolling->height(), 420);
    // The lines that were found out of sight still reach the scroll bar: it goes to the last one.
    const QScrollBar* bar = scrolling->verticalScrollBar();
    EXPECT_GE(bar->maximum(), scrolling->lineCount() - 40);
    scrolling->verticalScrollBar()->setValue(bar->maximum());
    QCoreApplication::processEvents();
    EXPECT_EQ(scrolling->lineAt(QPoint(4, scrolling->viewport()->height() - 4)), scrolling->lineCount() - 1);

    // Without a line break or a space to end a display line at, each one still ends between
    // characters: none is split across two lines, whatever its length in bytes.
    VeskItem unbroken = makeItem(VeskKind::Text, "Unbroken");
    unbroken.text = QString::fromUtf8("çadéjàvu🎉日本").repeated(9'000);
    StoreInternals::setItems(*store, {link, note, extract, unbroken});
    pane.setItem(unbroken);
    scrolling = find<LongTextView>(pane, "previewPlainText");
    ASSERT_NE(scrolling, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return scrolling->isFilled(); }, test::realWaitMs(5000)));
    QString shown;
    for (qsizetype line = 0; line < scrolling->lineCount(); ++line)
        shown += scrolling->lineText(line);
    EXPECT_EQ(shown, unbroken.text->toString());
    // A drag selects from where it began, in whole characters.
    QTest::mousePress(scrolling->viewport(), Qt::LeftButton, {}, QPoint(0, 2));
    QTest::mouseMove(scrolling->viewport(), QPoint(scrolling->viewport()->width() / 2, 100));
    QTest::mouseRelease(scrolling->viewport(), Qt::LeftButton, {}, QPoint(scrolling->viewport()->width() / 2, 100));
    const QString dragged = scrolling->selectedText();
    EXPECT_GT(dragged.size(), 20);
    EXPECT_TRUE(unbroken.text->toString().startsWith(dragged)) << dragged.toStdString();
    scrolling->selectAll();
    scrolling->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), unbroken.text->toString());
}

TEST_F(PreviewPaneTest, AOneLineTextOfAMegabyteIsLaidOutWhereItIsSeenAndReachesItsEnd)
{
    VeskItem note = makeItem(VeskKind::Text, "One line");
    note.text = QString("tide table ferry ").repeated(60'000) + "the very end";
    StoreInternals::setItems(*store, {note});

    VeskPreview pane(*store, caches);
    pane.resize(360, 700);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    pane.setItem(note);
    auto* view = find<LongTextView>(pane, "previewPlainText");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isFilled(); }, test::realWaitMs(10000)));
    QCoreApplication::processEvents();
    EXPECT_LT(view->laidOutCharacters(), 50'000);
    // A page down moves by a screen of rows: the first display line, screens long, is still in sight.
    QScrollBar* bar = view->verticalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->lineAt(QPoint(4, 4)), 0);

    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
    const QString lastShown = view->lineText(view->lineAt(QPoint(4, view->viewport()->height() - 4)));
    EXPECT_TRUE(lastShown.endsWith("the very end")) << lastShown.right(40).toStdString();
    EXPECT_LT(view->laidOutCharacters(), 50'000);

    // Selected and copied, it is the text as it was kept, on one line.
    view->selectAll();
    view->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), note.text->toString());
}

TEST(LongTextViewTest, ATripleClickSelectsTheLineAndTheWheelAtAnEdgeGoesToThePane)
{
    QWidget pane;
    pane.resize(320, 240);
    const QString text = QStringLiteral("first line\n") + QStringLiteral("a longer line of many words ").repeated(60)
        + QStringLiteral("\nlast");
    LongTextView view(ItemText(text), &pane);
    view.setGeometry(0, 0, 320, 240);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isFilled(); }, test::realWaitMs(5000)));
    QCoreApplication::processEvents();

    // The second line wraps over several rows; a triple click on any of them takes all of it.
    const struct {
        QPoint at;
        QString line;
    } clicks[] = {
        {QPoint(20, 5), QStringLiteral("first line")},
        {QPoint(60, 60), QStringLiteral("a longer line of many words ").repeated(60)},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.line.left(12).toStdString());
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, c.at);
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, c.at);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, c.at);
        EXPECT_EQ(view.selectedText(), c.line);
    }

    // An ignored wheel event is one Qt hands on to the widgets around: the pane scrolls then.
    const auto wheelTaken = [&](int notches) {
        QWheelEvent event(QPointF(50, 50), view.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(wheelTaken(1)) << "up, at the top";
    EXPECT_TRUE(wheelTaken(-1));
    EXPECT_TRUE(wheelTaken(1)) << "up again, away from the top";
    int taken = 0;
    while (taken < 200 && wheelTaken(-3))
        ++taken;
    EXPECT_LT(taken, 200) << "at the end the wheel goes on to the pane";
    EXPECT_EQ(view.lineText(view.lineAt(QPoint(4, view.viewport()->height() - 4))), QStringLiteral("last"));
}

TEST(LongTextViewTest, DisplayLinesOfAnUnbrokenTextStartOnWholeCharacters)
{
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    const QString thumb = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD");
    const QString combined = QStringLiteral("e\u0301\u0323");
    const struct {
        const char* name;
        QString text;
    } cases[] = {
        {"flags", QStringLiteral("x") + flag.repeated(3000)},
        {"families", QStringLiteral("xy") + family.repeated(900)},
        {"skin tones", QStringLiteral("xyz") + thumb.repeated(2000)},
        {"combining marks", QStringLiteral("x") + combined.repeated(3000)},
        {"spaces then marks", (QStringLiteral("word ") + QStringLiteral(" \u0301")).repeated(1500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LongTextView view{ItemText(c.text)};
        ASSERT_TRUE(QTest::qWaitFor([&] { return view.isFilled(); }, test::realWaitMs(5000)));
        ASSERT_GT(view.lineCount(), 1);
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, c.text);
        qsizetype at = 0;
        QString joined;
        for (qsizetype line = 0; line < view.lineCount(); ++line) {
            characters.setPosition(int(at));
            EXPECT_TRUE(characters.isAtBoundary()) << "line " << line << " starts inside a character";
            const QString shown = view.lineText(line);
            joined += shown;
            at += shown.size();
        }
        EXPECT_EQ(joined, c.text);
    }
}

TEST_F(PreviewPaneTest, WithNothingShownThePaneHoldsNoLongTextsViewNorADeletedItem)
{
    // Whether the selection goes before the item leaves the library or after it.
    for (const bool selectionGoesFirst : {true, false}) {
        SCOPED_TRACE(selectionGoesFirst ? "selection first" : "item first");
        store = std::make_unique<VeskStore>(services);
        VeskItem other = makeItem(VeskKind::Text, "Short");
        other.text = "eggs";
        VeskItem note = makeItem(VeskKind::Text, "One line");
        note.text = QString("tide table ferry ").repeated(6'000);
        const QUuid noteID = note.id;
        const ItemText held = *note.text;
        StoreInternals::setItems(*store, {note, other});
        note = VeskItem();

        VeskPreview pane(*store, caches);
        pane.followSelection();
        const auto longTextViews = [&] {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return pane.findChildren<LongTextView*>(QStringLiteral("previewPlainText")).size();
        };
        store->select(noteID);
        ASSERT_EQ(longTextViews(), 1);
        // Nothing selected: the view made for the text goes; selected again, it comes back.
        store->select(QUuid::createUuid());
        EXPECT_EQ(longTextViews(), 0);
        store->select(noteID);
        EXPECT_EQ(longTextViews(), 1);

        if (selectionGoesFirst)
            store->select(QUuid::createUuid());
        StoreInternals::setItems(*store, {other});
        store->select(QUuid::createUuid());
        EXPECT_EQ(longTextViews(), 0);
        // Nothing but this test holds the deleted item's text, once the related items asked for
        // it have been ranked.
        EXPECT_TRUE(QTest::qWaitFor([&] { return held.utf8().isDetached(); }, test::realWaitMs(5000)));
        store->select(other.id);
        EXPECT_EQ(find<WrappingText>(pane, "previewPlainText")->text(), "eggs");
    }
}

TEST_F(PreviewPaneTest, DatesFollowALongTextWhateverTheTitlesLength)
{
    // A title measured at a width it was never shown at once left room for lines it did not
    // have: the dates then sat lower under a short title than under a long one.
    const QString body = QString("a line of the note that wraps once or twice in the pane\n").repeated(60);
    const QStringList titles{"Short", "A title long enough to need a second line in the pane",
        "A title so long that it runs over three lines of the pane and is cut there, with more words"};
    QList<VeskItem> items;
    for (const QString& title : titles) {
        items.append(makeItem(VeskKind::Text, title));
        items.last().text = body;
    }
    StoreInternals::setItems(*store, items);
    VeskPreview pane(*store, caches);
    pane.resize(360, 600);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    std::optional<int> gap;
    for (const VeskItem& item : items) {
        SCOPED_TRACE(item.title.toStdString());
        pane.setItem(item);
        QCoreApplication::processEvents();
        auto* section = find<QWidget>(pane, "previewTextSection");
        auto* dates = find<QWidget>(pane, "previewDateRows");
        ASSERT_NE(section, nullptr);
        ASSERT_NE(dates, nullptr);
        const int shown = dates->y() - (section->y() + section->height());
        EXPECT_EQ(pane.content()->height(), dates->y() + dates->height() + 22);
        if (gap)
            EXPECT_EQ(shown, *gap);
        gap = shown;
    }
}

TEST_F(PreviewPaneTest, TextItemWithStoredRichTextShowsIt)
{
    VeskItem note = makeItem(VeskKind::Text, "Plan");
    note.text = "plain fallback";
    StoreInternals::setItems(*store, {note});
    auto document = makeRichTextDocument();
    document->setPlainText("Rich body line");
    store->setRichTextByID({{note.id, documentToRtf(*document)}});

    VeskPreview pane(*store, caches);
    pane.setItem(note);
    auto* rich = find<VeskRichTextReadView>(pane, "previewRichText");
    ASSERT_NE(rich, nullptr);
    EXPECT_TRUE(rich->textView()->toPlainText().contains("Rich body line"));
    EXPECT_EQ(find<QWidget>(pane, "previewPlainText"), nullptr);
}

TEST_F(PreviewPaneTest, ANewAppearanceMakesTheContentAgainForThisItemAndTheNext)
{
    VeskItem note = makeItem(VeskKind::Text, "Shopping");
    note.text = "eggs";
    VeskItem link = makeItem(VeskKind::Url, "Site");
    link.urlString = "https://example.org";
    StoreInternals::setItems(*store, {note, link});
    Theme& theme = Theme::current();
    const Appearance before = theme.appearance();

    VeskPreview pane(*store, caches);
    pane.setItem(note);
    QPointer<QWidget> first = pane.content();
    theme.setAppearance(before == Appearance::Dark ? Appearance::Light : Appearance::Dark);
    // Made in the new colours, and the old content goes on a later turn.
    EXPECT_NE(pane.content(), first.data());
    EXPECT_EQ(find<WrappingText>(pane, "previewTitle")->text(), "Shopping");
    EXPECT_EQ(find<WrappingText>(pane, "previewPlainText")->text(), "eggs");
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 1000));

    pane.setItem(link);
    EXPECT_EQ(pane.section(), PreviewSection::Link);
    EXPECT_EQ(find<WrappingText>(pane, "previewTitle")->text(), "Site");
    EXPECT_EQ(find<WrappingText>(pane, "previewLinkAddress")->text(), "https://example.org");
    theme.setAppearance(before);
}

TEST_F(PreviewPaneTest, ChecklistToggleIsHandedOnWithoutRebuildingThePane)
{
    VeskItem note = makeItem(VeskKind::Text, "Groceries");
    note.text = "\u2610 milk";
    StoreInternals::setItems(*store, {note});
    auto document = makeRichTextDocument();
    document->setPlainText(QStringLiteral("\u2610 milk"));
    const std::optional<QByteArray> rtf = makeRTFData(*document);
    ASSERT_TRUE(rtf.has_value());
    store->setRichTextByID({{note.id, *rtf}});

    VeskPreview pane(*store, caches);
    QList<QByteArray> saved;
    pane.setRichTextUpdater([&](const QUuid& id, const QByteArray& bytes) {
        EXPECT_EQ(id, note.id);
        saved.append(bytes);
        store->setRichTextByID({{id, bytes}});
    });
    pane.setItem(note);
    auto* view = find<VeskRichTextReadView>(pane, "previewRichText");
    ASSERT_NE(view, nullptr);
    QPointer<VeskRichTextReadView> shownView = view;
    ASSERT_TRUE(view->handleLinkClick(QStringLiteral("vesk-check://toggle"), 0));
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(view->textView()->toPlainText().startsWith(QChar(0x2611)));
    // The section stays, with its scroll position.
    EXPECT_EQ(find<VeskRichTextReadView>(pane, "previewRichText"), shownView.data());

    // A change from elsewhere (an edit sheet) does rebuild the section.
    auto edited = makeRichTextDocument();
    edited->setPlainText(QStringLiteral("changed elsewhere"));
    store->setRichTextByID({{note.id, *makeRTFData(*edited)}});
    auto* rebuilt = find<VeskRichTextReadView>(pane, "previewRichText");
    ASSERT_NE(rebuilt, nullptr);
    EXPECT_NE(rebuilt, shownView.data());
    EXPECT_TRUE(rebuilt->textView()->toPlainText().contains("changed elsewhere"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownView.isNull(); }, 1000));
}

TEST(PreviewSections, LinksOpenOnlyWithAScheme)
{
    EXPECT_TRUE(openableLink("https://example.org/a?b=1").has_value());
    EXPECT_TRUE(openableLink("  mailto:me@example.org ").has_value());
    EXPECT_FALSE(openableLink("example.org/path").has_value());
    EXPECT_FALSE(openableLink("").has_value());
    EXPECT_FALSE(openableLink("not a url at all").has_value());
    EXPECT_TRUE(openableLink("FTP://files.example.org/a.zip").has_value());
    for (const char* refused : {"javascript:alert(1)", "file:///etc/passwd", "smb://server/share", "vesk-check://toggle"})
        EXPECT_FALSE(openableLink(QString::fromLatin1(refused)).has_value()) << refused;
}
