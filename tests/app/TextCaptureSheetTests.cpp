// The "New Vesk" composer over a real store: opening resets the drafts, "Vesk It" follows the note,
// a kept note arrives in the store with RTF that reads back to the same text.
#include "AppTestSupport.h"
#include "common/Fakes.h"
#include "store/FaultInjection.h"

#include "app/MainWindowState.h"
#include "app/TextCaptureSheet.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/VeskRichTextEditor.h"
#include "richtext/VeskRichTextToolbar.h"

#include <QApplication>
#include <QLabel>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>

namespace vesk::test {
namespace {

using TextCaptureSheetTest = WindowTest;

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

TextCaptureSheet* openSheet(MainWindow& window)
{
    window.setSheetFactory(SheetFlag::TextCapture, makeTextCaptureSheet);
    window.openTextCapture();
    settle();
    return qobject_cast<TextCaptureSheet*>(window.presentedSheet(SheetFlag::TextCapture));
}

TEST_F(TextCaptureSheetTest, VeskItFollowsTheNoteText)
{
    MainWindow& window = makeWindow();
    TextCaptureSheet* sheet = openSheet(window);
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->keepButton()->isEnabled());
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("  "));
    QTest::keyClick(sheet->editor()->textView(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(sheet->keepButton()->isEnabled()) << "spaces and line breaks only";
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("x"));
    settle();
    EXPECT_TRUE(sheet->keepButton()->isEnabled());
}

TEST_F(TextCaptureSheetTest, AKeptNoteArrivesWithItsFormattingAndTheSheetCloses)
{
    MainWindow& window = makeWindow();
    window.show();
    TextCaptureSheet* sheet = openSheet(window);
    ASSERT_NE(sheet, nullptr);
    QTextEdit* text = sheet->editor()->textView();
    QTest::keyClicks(text, QStringLiteral("Weekend"));
    sheet->toolbar()->control(QStringLiteral("heading"))->click();
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("tickets"));
    sheet->toolbar()->control(QStringLiteral("body"))->click();
    sheet->toolbar()->control(QStringLiteral("checklist"))->click();
    QTextCursor end = text->textCursor();
    end.movePosition(QTextCursor::End);
    text->setTextCursor(end);
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("see example.com"));
    settle();

    sheet->keepButton()->click();
    settle();
    EXPECT_EQ(window.presentedSheet(SheetFlag::TextCapture), nullptr);
    EXPECT_FALSE(window.state().showingTextCapture());

    ASSERT_FALSE(store->items().isEmpty());
    const VeskItem item = store->items().first();
    const QString expected = QStringLiteral("Weekend\n\u2610 tickets\n\u2610 see example.com");
    EXPECT_EQ(item.text, expected);
    EXPECT_EQ(item.title, "Weekend") << "an empty name: the store names it from the note";
    const std::optional<QByteArray> rtf = store->richText(item.id);
    ASSERT_TRUE(rtf);
    std::unique_ptr<QTextDocument> reread = editableAttributedString(rtf, QString());
    EXPECT_EQ(documentText(*reread), expected);
    EXPECT_DOUBLE_EQ(runFont(charFormatAt(*reread, 0)).pointSize, 22);
    EXPECT_EQ(charFormatAt(*reread, 8).anchorHref(), "vesk-check://toggle");
    EXPECT_EQ(charFormatAt(*reread, int(expected.indexOf(QStringLiteral("example")))).anchorHref(), "https://example.com");
}

TEST_F(TextCaptureSheetTest, PastedRichTextKeepsItsNoBreakSpaces)
{
    MainWindow& window = makeWindow();
    window.show();
    TextCaptureSheet* sheet = openSheet(window);
    ASSERT_NE(sheet, nullptr);
    auto* pasted = new QMimeData;
    pasted->setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi 10\\~km\\par Mr.\\~Smith}");
    QApplication::clipboard()->setMimeData(pasted);
    sheet->editor()->textView()->paste();
    settle();
    sheet->keepButton()->click();
    settle();
    ASSERT_FALSE(store->items().isEmpty());
    EXPECT_EQ(store->items().first().text, std::optional<QString>(QStringLiteral("10\u00A0km\nMr.\u00A0Smith")));
}

TEST_F(TextCaptureSheetTest, OpeningAgainAfterCancelStartsEmpty)
{
    MainWindow& window = makeWindow();
    TextCaptureSheet* sheet = openSheet(window);
    ASSERT_NE(sheet, nullptr);
    sheet->nameField()->setText(QStringLiteral("draft name"));
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("draft"));
    settle();
    sheet->cancelButton()->click();
    settle();
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_EQ(window.state().draftTitle(), "draft name") << "the drafts stay until the next opening";

    TextCaptureSheet* again = openSheet(window);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->nameField()->text(), QString());
    EXPECT_EQ(again->editor()->plainText(), QString());
}

TEST_F(TextCaptureSheetTest, ANoteIsKeptFromTheDraftWhenItsEditorIsGone)
{
    MainWindowState state;
    QList<QString> kept;
    std::optional<QByteArray> keptRtf;
    auto timers = std::make_shared<test::FakeTimers>();
    TextCaptureSheet sheet(state, [&](const std::optional<QString>&, const QString& text, const std::optional<QByteArray>& rtf) {
        kept.append(text);
        keptRtf = rtf;
        return std::optional<QString>();
    }, nullptr, timers);
    QTest::keyClicks(sheet.editor()->textView(), QStringLiteral("do not lose me"));
    // The draft is kept a moment after the last key, not on every key.
    EXPECT_TRUE(state.draftRichText().isEmpty());
    timers->advance(TextCaptureSheet::draftDebounceMs - 1);
    EXPECT_TRUE(state.draftRichText().isEmpty());
    timers->advance(1);
    EXPECT_FALSE(state.draftRichText().isEmpty());
    delete sheet.editor();
    settle();
    sheet.saveTextCapture();
    EXPECT_EQ(kept, QList<QString>{QStringLiteral("do not lose me")});
    ASSERT_TRUE(keptRtf);
    EXPECT_EQ(documentText(*editableAttributedString(keptRtf, {})), "do not lose me");
}

TEST_F(TextCaptureSheetTest, ANoteTheLibraryRefusesStaysInTheSheetWithItsReason)
{
    store.reset();
    {
        FileSizeLimit full(1);
        store = makeStore();
    }
    ASSERT_TRUE(store->readOnlyReason());
    MainWindow& window = makeWindow();
    window.show();
    QPointer<TextCaptureSheet> sheet = openSheet(window);
    ASSERT_NE(sheet, nullptr);
    QTest::keyClicks(sheet->editor()->textView(), QStringLiteral("do not lose me"));
    settle();

    sheet->keepButton()->click();
    settle();
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(window.presentedSheet(SheetFlag::TextCapture), sheet.data()) << "closed, it would take the note with it";
    EXPECT_EQ(sheet->editor()->plainText(), QStringLiteral("do not lose me"));
    EXPECT_TRUE(sheet->failureLine()->isVisible());
    EXPECT_EQ(sheet->failureLine()->text(), QStringLiteral("Vesk couldn't keep this note: the disk is full."));
    EXPECT_TRUE(store->items().isEmpty());
    EXPECT_FALSE(store->intakeNotice());
}

} // namespace
} // namespace vesk::test
