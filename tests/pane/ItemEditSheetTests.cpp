// The "Edit Vesk" sheet opened from the preview pane, used as a person would: type, rename, save or
// cancel; and what it shows when the store could not save.
#include "common/Fakes.h"
#include "common/TestEnvironment.h"
#include "images/ImageCaches.h"
#include "pane/ItemEditSheet.h"
#include "pane/VeskPreview.h"
#include "platform/Log.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextRtf.h"
#include "richtext/VeskRichTextEditor.h"
#include "store/RealServices.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"
#include "store/FaultInjection.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vesk;

namespace {

class ItemEditSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setVeskLogCapture([this](const QString& line) { logLines.append(line); });
        services.settings = std::make_shared<MemorySettings>();
        services.dataDirectory = test::makeTempDirectory(QStringLiteral("editsheet"));
        services.lexicalSearchDelayMs = 1;
        services.deepSearchDelayMs = 2;
        caches = installImageCaches(services);
        store = std::make_unique<VeskStore>(services);
        // New rows wait for the check of the library file that follows start-up.
        store->waitForStartup();
        window.resize(900, 700);
        pane = new VeskPreview(*store, caches, &window);
        pane->resize(900, 700);
        window.show();
    }
    void TearDown() override
    {
        delete pane;
        store.reset();
        setVeskLogCapture({});
    }

    const VeskItem& item() const { return store->items().first(); }

    ItemEditSheet* pressEdit()
    {
        pane->setItem(item());
        auto* button = pane->content()->findChild<QPushButton*>(QStringLiteral("previewEditButton"));
        EXPECT_NE(button, nullptr);
        if (!button)
            return nullptr;
        button->click();
        QCoreApplication::processEvents();
        return window.findChild<ItemEditSheet*>();
    }

    static void typeAtEnd(ItemEditSheet& sheet, const QString& text)
    {
        QTextEdit* view = sheet.editor()->textView();
        view->moveCursor(QTextCursor::End);
        QTest::keyClicks(view, text);
    }

    QStringList logLines;
    VeskServices services;
    ImageCaches caches;
    std::unique_ptr<VeskStore> store;
    QWidget window;
    VeskPreview* pane = nullptr;
};

QByteArray rtfOf(const QString& text)
{
    auto document = makeRichTextDocument();
    QTextCursor(document.get()).insertText(text);
    return makeRTFData(*document).value();
}

} // namespace

TEST_F(ItemEditSheetTest, EditingARichNoteSavesTitleBodyAndSearchableText)
{
    store->addRichTextNote(QStringLiteral("Groceries"), QStringLiteral("\u2610 milk"), rtfOf(QStringLiteral("\u2610 milk")));
    const VeskItem before = item();

    QPointer<ItemEditSheet> sheet = pressEdit();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("Groceries"));
    EXPECT_EQ(sheet->editor()->plainText(), QStringLiteral("\u2610 milk"));
    EXPECT_EQ(charFormatAt(*sheet->editor()->textView()->document(), 0).anchorHref(), "vesk-check://toggle");
    sheet->editor()->textView()->undo();
    EXPECT_EQ(sheet->editor()->plainText(), QStringLiteral("\u2610 milk")) << "Undo does not empty the note it opened on";

    sheet->nameField()->setText(QStringLiteral("Market list"));
    typeAtEnd(*sheet, QStringLiteral(" and quinces"));
    sheet->saveButton()->click();
    QCoreApplication::processEvents();

    EXPECT_TRUE(sheet.isNull() || !sheet->isVisible()) << "a saved sheet closes";
    ASSERT_EQ(store->items().size(), 1);
    EXPECT_EQ(item().id, before.id);
    EXPECT_EQ(item().createdAt, before.createdAt);
    EXPECT_EQ(item().title, QStringLiteral("Market list"));
    EXPECT_EQ(item().text, QStringLiteral("\u2610 milk and quinces"));
    std::unique_ptr<QTextDocument> body = editableAttributedString(store->richText(before.id), QString());
    EXPECT_EQ(documentText(*body), QStringLiteral("\u2610 milk and quinces"));
    store->refreshFilteredItems(QStringLiteral("quinces"));
    EXPECT_EQ(store->filteredItems().size(), 1);
    EXPECT_EQ(StoreInternals::database(*store)->fetchItems().value().first().title, QStringLiteral("Market list"));
}

TEST_F(ItemEditSheetTest, APlainTextNoteOpensOnItsTextAndGainsABody)
{
    store->addText(QStringLiteral("call the plumber"), QStringLiteral("Home"));
    ASSERT_FALSE(store->richText(item().id));

    QPointer<ItemEditSheet> sheet = pressEdit();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->editor()->plainText(), QStringLiteral("call the plumber"));

    // A blank name is taken from the text.
    sheet->nameField()->clear();
    typeAtEnd(*sheet, QStringLiteral(" tomorrow"));
    sheet->saveChanges();

    EXPECT_EQ(item().title, QStringLiteral("call the plumber tomorrow"));
    EXPECT_EQ(item().text, QStringLiteral("call the plumber tomorrow"));
    ASSERT_TRUE(store->richText(item().id));
    EXPECT_EQ(documentText(*editableAttributedString(store->richText(item().id), QString())),
              QStringLiteral("call the plumber tomorrow"));
}

TEST_F(ItemEditSheetTest, CancelLeavesEverythingAndTheNextOpeningStartsFromTheStore)
{
    store->addRichTextNote(QStringLiteral("Plan"), QStringLiteral("first step"), rtfOf(QStringLiteral("first step")));
    const VeskItem before = item();
    const QHash<QUuid, QByteArray> bodies = store->richTextByID();

    QPointer<ItemEditSheet> sheet = pressEdit();
    ASSERT_NE(sheet, nullptr);
    sheet->nameField()->setText(QStringLiteral("Other"));
    typeAtEnd(*sheet, QStringLiteral(" and more"));
    sheet->cancelButton()->click();
    QCoreApplication::processEvents();

    EXPECT_TRUE(sheet.isNull() || !sheet->isVisible());
    EXPECT_EQ(item(), before);
    EXPECT_EQ(store->richTextByID(), bodies);
    EXPECT_EQ(StoreInternals::database(*store)->fetchItems().value().first(), before);

    QPointer<ItemEditSheet> again = pressEdit();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->nameField()->text(), QStringLiteral("Plan"));
    EXPECT_EQ(again->editor()->plainText(), QStringLiteral("first step"));
}

TEST_F(ItemEditSheetTest, BlankTextCannotBeSavedAndAFailedSaveKeepsTheSheetOpen)
{
    store->addRichTextNote(QStringLiteral("Plan"), QStringLiteral("first step"), rtfOf(QStringLiteral("first step")));
    const VeskItem before = item();
    QPointer<ItemEditSheet> sheet = pressEdit();
    ASSERT_NE(sheet, nullptr);

    sheet->editor()->textView()->selectAll();
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("   "));
    EXPECT_FALSE(sheet->saveButton()->isEnabled());
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("new words"));
    EXPECT_TRUE(sheet->saveButton()->isEnabled());

    ASSERT_EQ(sqlite3_exec(StoreInternals::database(*store)->nativeHandleForTesting(),
                           "CREATE TRIGGER refuse_body BEFORE UPDATE OF rich_text_rtf ON vesks "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sheet->saveButton()->click();
    QCoreApplication::processEvents();

    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible()) << "what was typed stays";
    EXPECT_EQ(sheet->editor()->plainText(), QStringLiteral("   new words"));
    EXPECT_TRUE(sheet->failureLine()->isVisible()) << "the person is told it was not saved";
    EXPECT_EQ(item(), before);
    sheet->reject();
}

TEST_F(ItemEditSheetTest, OnALibraryOpenedForReadingOnlyTheSheetSaysWhyItCouldNotSave)
{
    store->addRichTextNote(QStringLiteral("Plan"), QStringLiteral("first step"), rtfOf(QStringLiteral("first step")));
    delete pane;
    store.reset();
    {
        test::FileSizeLimit full(1);
        store = std::make_unique<VeskStore>(services);
        store->waitForStartup();
    }
    ASSERT_EQ(store->readOnlyReason(), std::optional<QString>(QStringLiteral("the disk is full")));
    pane = new VeskPreview(*store, caches, &window);
    pane->resize(900, 700);

    QPointer<ItemEditSheet> sheet = pressEdit();
    ASSERT_NE(sheet, nullptr);
    typeAtEnd(*sheet, QStringLiteral(" and more"));
    sheet->saveButton()->click();
    QCoreApplication::processEvents();

    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->failureLine()->isVisible());
    EXPECT_EQ(sheet->failureLine()->text(), QStringLiteral("Vesk couldn't save these changes: the disk is full."));
    ASSERT_TRUE(store->failureNotice());
    EXPECT_EQ(store->failureNotice()->detail, QStringLiteral("\u201CPlan\u201D was not changed: the disk is full."));
    EXPECT_EQ(item().text, std::optional<QString>(QStringLiteral("first step")));
    sheet->reject();
}
