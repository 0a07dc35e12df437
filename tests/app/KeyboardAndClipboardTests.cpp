#include "common/Eventually.h"
#include "app/AppTestSupport.h"
#include "app/ClipboardCapture.h"
#include "app/KeyboardCommands.h"
#include "app/QuickLookWindow.h"
#include "platform/SerialExecutor.h"
#include "store/FaultInjection.h"
#include "store/StoreInternals.h"

#include <QFileInfo>
#include <QBuffer>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QMimeData>
#include <QPromise>
#include <QGuiApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <future>

namespace vesk::test {
namespace {

TEST(KeyCommandTable, WhatEachKeyDoesWhereTheFocusIs)
{
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers control = Qt::ControlModifier;
    KeyContext grid;
    KeyContext search;
    search.searchFieldFocused = true;
    struct Row {
        int key;
        Qt::KeyboardModifiers modifiers;
        KeyCommand inSearch;
        KeyCommand inGrid;
    };
    const Row rows[] = {
        {Qt::Key_Return, control, KeyCommand::OpenOrCopy, KeyCommand::OpenOrCopy},
        {Qt::Key_Enter, none, KeyCommand::EnsureSelection, KeyCommand::EnsureSelection},
        {Qt::Key_Escape, none, KeyCommand::Escape, KeyCommand::Escape},
        {Qt::Key_Down, none, KeyCommand::MoveForward, KeyCommand::MoveForward},
        {Qt::Key_Up, none, KeyCommand::MoveBackward, KeyCommand::MoveBackward},
        {Qt::Key_Right, none, KeyCommand::PassThrough, KeyCommand::MoveForward},
        {Qt::Key_Left, none, KeyCommand::PassThrough, KeyCommand::MoveBackward},
        {Qt::Key_Space, none, KeyCommand::PassThrough, KeyCommand::QuickLook},
        {Qt::Key_A, control, KeyCommand::PassThrough, KeyCommand::SelectAllVisible},
        {Qt::Key_X, none, KeyCommand::PassThrough, KeyCommand::PassThrough},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(keyCommandFor(row.key, row.modifiers, search), row.inSearch) << row.key;
        EXPECT_EQ(keyCommandFor(row.key, row.modifiers, grid), row.inGrid) << row.key;
    }
    // Delete asks only when there is a multi-selection; otherwise it goes on like any key.
    EXPECT_EQ(keyCommandFor(Qt::Key_Backspace, none, grid), KeyCommand::PassThrough);
    grid.hasMultiSelection = true;
    EXPECT_EQ(keyCommandFor(Qt::Key_Delete, none, grid), KeyCommand::ConfirmDelete);
    // A note being written, and any modal window or other window, keep their keys.
    KeyContext editing;
    editing.editableTextFocused = true;
    EXPECT_EQ(keyCommandFor(Qt::Key_A, control, editing), KeyCommand::PassThrough);
    KeyContext modal = grid;
    modal.otherWindowHasTheKey = true;
    for (int key : {Qt::Key_Escape, Qt::Key_Down, Qt::Key_Delete, Qt::Key_Return})
        EXPECT_EQ(keyCommandFor(key, none, modal), KeyCommand::PassThrough) << key;
    EXPECT_EQ(keyCommandFor(Qt::Key_A, control, modal), KeyCommand::PassThrough);
}

class KeyboardCommandsTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QList<VeskItem> items;
        for (int i = 0; i < 4; ++i)
            items.append(makeItem(QStringLiteral("note %1").arg(i), 1000 - i));
        StoreInternals::setItems(*store, items);
        StoreInternals::setFilteredItems(*store, items);
        makeWindow();
        keys = std::make_unique<KeyboardCommands>(*window, quickLook);
    }
    void TearDown() override
    {
        keys.reset();
        WindowTest::TearDown();
    }

    QUuid itemID(int index) const { return store->items().at(index).id; }

    VeskQuickLookController quickLook;
    std::unique_ptr<KeyboardCommands> keys;
};

TEST_F(KeyboardCommandsTest, MovesStartFromEitherEndAndStopAtThem)
{
    keys->moveSelection(1);
    EXPECT_EQ(store->selectedID(), itemID(0));
    keys->moveSelection(-1);
    EXPECT_EQ(store->selectedID(), itemID(0));
    store->setSelectedID(std::nullopt);
    keys->moveSelection(-1);
    EXPECT_EQ(store->selectedID(), itemID(3));
    keys->moveSelection(1);
    EXPECT_EQ(store->selectedID(), itemID(3));
}

TEST_F(KeyboardCommandsTest, ThePreviewOfAFileWithoutPictureOrTextShowsItsTypeAndName)
{
    const QString archive = writeFile(dataDir + QStringLiteral("/Items/B/Receipts 2024.zip"), QByteArray(80, '\x01'));
    const QString blob = writeFile(dataDir + QStringLiteral("/Items/C/firmware.bin"), QByteArray(64, '\0'));
    for (const QString& path : {archive, blob}) {
        quickLook.showQuickLookPanel(path);
        QuickLookWindow* preview = quickLook.window();
        ASSERT_NE(preview, nullptr);
        QSignalSpy shown(preview, &QuickLookWindow::contentShown);
        ASSERT_TRUE(preview->isShowingContent() || shown.wait(10000));
        EXPECT_EQ(preview->currentPage(), preview->symbolLabel()->parentWidget());
        EXPECT_EQ(preview->nameLabel()->text(), QFileInfo(path).fileName());
        ASSERT_FALSE(preview->symbolLabel()->pixmap().isNull());
        // The symbol is drawn, not an empty square.
        const QImage symbol = preview->symbolLabel()->pixmap().toImage();
        int inked = 0;
        for (int y = 0; y < symbol.height(); ++y)
            for (int x = 0; x < symbol.width(); ++x)
                inked += qAlpha(symbol.pixel(x, y)) > 40;
        EXPECT_GT(inked, symbol.width()) << path.toStdString();
    }
}

TEST_F(KeyboardCommandsTest, EscapeClosesThePreviewThenClearsSearchThenSelectionThenFocusesSearch)
{
    const QString path = writeFile(dataDir + QStringLiteral("/Items/A/notes.txt"), "hello");
    quickLook.showQuickLookPanel(path);
    ASSERT_TRUE(quickLook.isVisible());
    store->setSearchText(QStringLiteral("note"));
    store->setSelectedIDs({itemID(1), itemID(2)});
    store->setSelectedID(itemID(1));

    keys->handleEscapeKey();
    EXPECT_FALSE(quickLook.isVisible());
    EXPECT_EQ(store->searchText(), QStringLiteral("note"));
    keys->handleEscapeKey();
    EXPECT_TRUE(store->searchText().isEmpty());
    EXPECT_TRUE(store->selectedIDs().isEmpty());
    EXPECT_EQ(store->selectedID(), itemID(1)); // the focused item stays through the search step
    store->setSelectedIDs({itemID(2)});
    window->state().setSearchFieldIsFocused(false);
    keys->handleEscapeKey();
    EXPECT_TRUE(store->selectedIDs().isEmpty());
    EXPECT_FALSE(store->selectedID().has_value());
    EXPECT_FALSE(window->state().searchFieldIsFocused());
    keys->handleEscapeKey();
    EXPECT_TRUE(window->state().searchFieldIsFocused());

    // A search of spaces only skips the search step.
    store->setSearchText(QStringLiteral("   "));
    store->setSelectedIDs({itemID(0)});
    keys->handleEscapeKey();
    EXPECT_TRUE(store->selectedIDs().isEmpty());
}

TEST_F(KeyboardCommandsTest, SpaceTogglesThePreviewOfAFileAndCommandReturnCopiesText)
{
    VeskItem file = makeItem(QStringLiteral("report"), 2000);
    file.kind = VeskKind::File;
    file.filePath = writeFile(dataDir + QStringLiteral("/Items/B/report.txt"), "quarterly numbers");
    QList<VeskItem> items = store->items();
    items.prepend(file);
    StoreInternals::setItems(*store, items);
    StoreInternals::setFilteredItems(*store, items);
    store->select(file.id);

    keys->quickLookTargetedItem();
    ASSERT_TRUE(quickLook.isVisible());
    ASSERT_EVENTUALLY(quickLook.window()->isShowingContent(), 5000);
    keys->quickLookTargetedItem();
    EXPECT_FALSE(quickLook.isVisible());

    store->select(itemID(1));
    keys->openOrCopyTargetedItem();
    ASSERT_TRUE(store->intakeNotice().has_value());
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Copied from Vesk"));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("note 0")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("note 0"));
}

TEST_F(KeyboardCommandsTest, AnOpenConfirmationKeepsEveryKeyFromTheGrid)
{
    window->show();
    store->setSelectedIDs({itemID(0)});
    QDialog confirmation(window.get());
    confirmation.setWindowModality(Qt::WindowModal);
    confirmation.show();
    ASSERT_EVENTUALLY(QApplication::activeModalWidget() != nullptr, 5000);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(keys->handleKeyDown(&down));
    EXPECT_FALSE(keys->handleKeyDown(&selectAll));
    EXPECT_FALSE(keys->handleKeyDown(&escape));
    EXPECT_EQ(store->selectedIDs(), QSet<QUuid>{itemID(0)});
}

TEST(ClipboardNoticeDetail, FirstNonEmptyLineCutToEightyCharacters)
{
    EXPECT_EQ(clipboardNoticeDetail(QStringLiteral("\n\r\n  first line\nsecond")), QStringLiteral("  first line"));
    EXPECT_EQ(clipboardNoticeDetail(QString(100, QLatin1Char('x'))), QString(80, QLatin1Char('x')));
    EXPECT_EQ(clipboardNoticeDetail(QStringLiteral("a\u2028b")), QStringLiteral("a"));
    // A first line of megabytes is read only as far as its first characters reach.
    EXPECT_EQ(clipboardNoticeDetail(QString(10'000, QLatin1Char('y')) + QStringLiteral("\nz")), QString(80, QLatin1Char('y')));
    const QString stacked = QStringLiteral("a") + QString(5000, QChar(0x0301));
    EXPECT_EQ(clipboardNoticeDetail(stacked + QStringLiteral("b\nc")), stacked + QStringLiteral("b"));
}

class ClipboardCaptureTest : public WindowTest {};

TEST_F(ClipboardCaptureTest, EachKindOfClipboardBecomesItsItemWithItsNotice)
{
    QMimeData text;
    text.setText(QStringLiteral("\n  Call the plumber\nabout the leak  "));
    ASSERT_TRUE(captureClipboard(*store, text));
    EXPECT_EQ(store->items().first().text, std::optional<QString>(QStringLiteral("Call the plumber\nabout the leak")));
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Vesked from Clipboard"));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Call the plumber")));

    QMimeData html;
    html.setHtml(QStringLiteral("<p>Recipe: <b>lemon tart</b></p>"));
    html.setText(QStringLiteral("Recipe: lemon tart"));
    ASSERT_TRUE(captureClipboard(*store, html));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Rich web content")));

    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    QMimeData image;
    image.setData(QStringLiteral("image/png"), png);
    store->setIntakeNotice(std::nullopt);
    const qsizetype before = store->items().size();
    // The picture's temporary file goes into a folder of this test's own: other test processes
    // running beside it write theirs into the shared temporary folder.
    const bool tempWasSet = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray sharedTemp = qgetenv("TMPDIR");
    const QString ownTemp = makeTempDirectory(QStringLiteral("clipboard-temp"));
    qputenv("TMPDIR", ownTemp.toUtf8());
    const bool captured = captureClipboard(*store, image);
    if (tempWasSet)
        qputenv("TMPDIR", sharedTemp);
    else
        qunsetenv("TMPDIR");
    ASSERT_TRUE(captured);
    // The picture is imported on the import worker; its notice comes when that is done.
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == before + 1 && store->intakeNotice(); }, 5000));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Image")));
    EXPECT_TRUE(QDir(ownTemp).entryList({QStringLiteral("Vesk-Clipboard-*")}).isEmpty());

    const QString a = writeFile(makeTempDirectory(QStringLiteral("clip")) + QStringLiteral("/a.txt"), "alpha");
    const QString b = writeFile(makeTempDirectory(QStringLiteral("clip")) + QStringLiteral("/b.txt"), "beta");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    files.setText(QStringLiteral("ignored"));
    store->setIntakeNotice(std::nullopt);
    ASSERT_TRUE(captureClipboard(*store, files));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->intakeNotice().has_value(); }, 5000));
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Vesked 2 items"));
}

TEST_F(ClipboardCaptureTest, BlankRichTextAndEmptyClipboardsCaptureNothing)
{
    QMimeData blankRtf;
    blankRtf.setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi   \\par }");
    blankRtf.setText(QStringLiteral("not tried"));
    EXPECT_FALSE(captureClipboard(*store, blankRtf));
    QMimeData spaces;
    spaces.setText(QStringLiteral("   \n "));
    EXPECT_FALSE(captureClipboard(*store, spaces));
    QMimeData missingFiles;
    missingFiles.setUrls({QUrl::fromLocalFile(QStringLiteral("/nonexistent/file.txt"))});
    EXPECT_FALSE(captureClipboard(*store, missingFiles));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(store->intakeNotice().has_value());

    QMimeData rtf;
    rtf.setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b Packing} list\\par socks\\~&\\~shoes}");
    ASSERT_TRUE(captureClipboard(*store, rtf));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Packing list")));
    // A no-break space stays one in the kept text.
    EXPECT_EQ(store->items().first().text, std::optional<QString>(QStringLiteral("Packing list\nsocks\u00A0&\u00A0shoes")));
    EXPECT_TRUE(store->richText(store->items().first().id).has_value());
}

TEST_F(ClipboardCaptureTest, APictureThatIsNotImportedFallsBackToTheNextKind)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    picture.save(&pngBuffer, "PNG");
    QByteArray tiff;
    QBuffer tiffBuffer(&tiff);
    tiffBuffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&tiffBuffer, "TIFF"));

    // No managed copy can be made, so neither picture is imported: the PNG is tried, then the TIFF,
    // then the text, which needs no copy and brings its own notice.
    ASSERT_TRUE(QDir(dataDir + QStringLiteral("/Items")).removeRecursively());
    writeFile(dataDir + QStringLiteral("/Items"), "not a folder");
    QMimeData clipboard;
    clipboard.setData(QStringLiteral("image/png"), png);
    clipboard.setData(QStringLiteral("image/tiff"), tiff);
    clipboard.setText(QStringLiteral("caption of the picture"));
    ASSERT_TRUE(captureClipboard(*store, clipboard));
    clipboard.setText(QStringLiteral("changed on the clipboard meanwhile"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !store->items().isEmpty(); }, 5000));
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(store->items().first().text, std::optional<QString>(QStringLiteral("caption of the picture")));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("caption of the picture")));
    EXPECT_EQ(logLines.filter(QStringLiteral("Vesk copy error for ")).size(), 2) << logLines.join('\n').toStdString();
    EXPECT_TRUE(QDir::temp().entryList({QStringLiteral("Vesk-Clipboard-*")}).isEmpty());
}

QByteArray pngOfColour(Qt::GlobalColor colour)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return png;
}

// While the library file is checked after start-up, a new item's row waits for it. The picture is
// kept then, and only then counts as taken: answered "not taken" before, the capture would go on
// to the clipboard's next kind and keep the caption as a second item.
TEST_F(ClipboardCaptureTest, APictureCopiedWhileTheLibraryFileIsCheckedIsOneItem)
{
    store.reset();
    // A library that holds something is read in the background, and checked after that.
    const VeskItem before = makeItem(QStringLiteral("kept before"), 10);
    seed({before});
    store = makeStore(true, false);
    std::promise<void> checkMayStart;
    StoreInternals::startupWorker(*store).run([held = checkMayStart.get_future().share()] { held.wait(); });
    QMimeData clipboard;
    clipboard.setData(QStringLiteral("image/png"), pngOfColour(Qt::green));
    clipboard.setText(QStringLiteral("caption of the picture"));
    ASSERT_TRUE(captureClipboard(*store, clipboard));
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->items().size() == 2; }, 10'000));
    ASSERT_TRUE(store->libraryCheckPending());
    EXPECT_FALSE(store->intakeNotice()) << "not kept yet";

    checkMayStart.set_value();
    store->waitForStartup();
    drainWrites(*store);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store->intakeNotice().has_value(); }, 10'000));
    drainWrites(*store);
    ASSERT_EQ(store->items().size(), 2);
    EXPECT_EQ(store->items().first().kind, VeskKind::Image);
    EXPECT_EQ(storedItems().size(), 2);
    EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Vesked from Clipboard"));
    EXPECT_EQ(store->intakeNotice()->detail, std::optional<QString>(QStringLiteral("Image")));
}

// A refused picture is named as the user knows it, not by the temporary file it was written to.
TEST_F(ClipboardCaptureTest, ARefusedPictureIsSaidAsTheCopiedPicture)
{
    const struct {
        const char* name;
        bool readOnly;
        QString detail;
    } cases[] = {
        {"read-only library", true, QStringLiteral("The copied picture was not imported: the disk is full.")},
        {"no managed copy", false, QStringLiteral("The copied picture could not be imported: ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.reset();
        dataDir = makeTempDirectory(QStringLiteral("library"));
        if (c.readOnly) {
            ASSERT_NO_FATAL_FAILURE(useReadOnlyLibrary());
        } else {
            store = makeStore();
            ASSERT_TRUE(QDir(dataDir + QStringLiteral("/Items")).removeRecursively());
            writeFile(dataDir + QStringLiteral("/Items"), "not a folder");
        }
        QMimeData clipboard;
        clipboard.setData(QStringLiteral("image/png"), pngOfColour(Qt::yellow));
        ASSERT_TRUE(captureClipboard(*store, clipboard));
        ASSERT_TRUE(QTest::qWaitFor([&] { return store->failureNotice().has_value(); }, 10'000));
        EXPECT_EQ(store->failureNotice()->title, QStringLiteral("Not imported"));
        EXPECT_TRUE(store->failureNotice()->detail.startsWith(c.detail)) << store->failureNotice()->detail.toStdString();
        EXPECT_FALSE(store->failureNotice()->detail.contains(QStringLiteral("Vesk-Clipboard")));
        EXPECT_TRUE(store->items().isEmpty());
        // The temporary file goes once the answer is in.
        EXPECT_TRUE(QTest::qWaitFor([] { return QDir::temp().entryList({QStringLiteral("Vesk-Clipboard-*")}).isEmpty(); },
                                    10'000));
    }
}

TEST_F(ClipboardCaptureTest, AnotherProgramsTextIsReadOffTheMainThreadAndCapturedWhenItComes)
{
    const struct {
        const char* name;
        std::function<void(QMimeData&)> fill;
        std::optional<std::optional<QString>> read; // what the reader gives; none: it is not asked
        std::optional<QString> kept;               // the captured text; none: nothing is kept
    } cases[] = {
        {"text alone", [](QMimeData& c) { c.setText(QStringLiteral("on the clipboard")); },
         std::optional<QString>(QStringLiteral("\n  Buy stamps\nat noon  ")), QStringLiteral("Buy stamps\nat noon")},
        {"unreadable: read again here", [](QMimeData& c) { c.setText(QStringLiteral(" read here ")); },
         std::optional<QString>(), QStringLiteral("read here")},
        {"blank", [](QMimeData& c) { c.setText(QStringLiteral("x")); }, std::optional<QString>(QStringLiteral(" \n ")),
         std::nullopt},
        {"web content first", [](QMimeData& c) {
             c.setHtml(QStringLiteral("<p>tart</p>"));
             c.setText(QStringLiteral("tart"));
         }, std::nullopt, QStringLiteral("tart")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store->setIntakeNotice(std::nullopt);
        const qsizetype before = store->items().size();
        auto* clipboard = new QMimeData;
        c.fill(*clipboard);
        QGuiApplication::clipboard()->setMimeData(clipboard);
        int asked = 0;
        QPromise<std::optional<QString>> reading;
        const ClipboardTextReader reader = [&] {
            ++asked;
            reading.start();
            return reading.future();
        };
        ASSERT_TRUE(captureClipboard(*store, reader));
        EXPECT_EQ(asked, c.read ? 1 : 0);
        if (c.read) {
            // Nothing is kept, nor said, before the text has come.
            drainWrites(*store);
            EXPECT_EQ(store->items().size(), before);
            EXPECT_FALSE(store->intakeNotice());
            reading.addResult(*c.read);
            reading.finish();
        }
        drainWrites(*store);
        if (!c.kept) {
            EXPECT_EQ(store->items().size(), before);
            EXPECT_FALSE(store->intakeNotice());
            continue;
        }
        ASSERT_EQ(store->items().size(), before + 1);
        EXPECT_EQ(store->items().first().text, c.kept);
        ASSERT_TRUE(store->intakeNotice());
        EXPECT_EQ(store->intakeNotice()->title, QStringLiteral("Vesked from Clipboard"));
    }
    QGuiApplication::clipboard()->clear();
}

TEST_F(ClipboardCaptureTest, WhatTheLibraryDidNotKeepIsNeverSaidToBeVesked)
{
    const struct {
        const char* name;
        std::function<void(QMimeData&)> fill;
    } kinds[] = {
        {"text", [](QMimeData& clipboard) { clipboard.setText(QStringLiteral("Call the plumber")); }},
        {"rich text", [](QMimeData& clipboard) { clipboard.setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi Packing list}"); }},
        {"web content", [](QMimeData& clipboard) { clipboard.setHtml(QStringLiteral("<p>lemon tart</p>")); }},
    };
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only library" : "item rows refused");
        store.reset();
        if (readOnly) {
            ASSERT_NO_FATAL_FAILURE(useReadOnlyLibrary());
        } else {
            store = makeStore();
            failItemSaves(*store, true);
        }
        for (const auto& kind : kinds) {
            SCOPED_TRACE(kind.name);
            QMimeData clipboard;
            kind.fill(clipboard);
            EXPECT_TRUE(captureClipboard(*store, clipboard));
            drainWrites(*store);
            EXPECT_FALSE(store->intakeNotice()) << store->intakeNotice()->title.toStdString();
            ASSERT_TRUE(store->failureNotice());
            EXPECT_EQ(store->failureNotice()->title, readOnly ? QStringLiteral("Not kept") : QStringLiteral("Not saved"));
            store->dismissFailureNotice();
        }
        EXPECT_EQ(store->items().size(), readOnly ? 0 : 3) << "an unsaved capture stays on screen, a refused one does not";
    }
}

} // namespace
} // namespace vesk::test
