// The editor, read view, toolbar and snippet driven as a user would: key events, clicks, hovers.
#include "common/TestEnvironment.h"
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"
#include "richtext/VeskRichTextController.h"
#include "richtext/VeskRichTextEditor.h"
#include "richtext/VeskRichTextReadView.h"
#include "richtext/VeskRichTextSnippet.h"
#include "richtext/VeskRichTextToolbar.h"

#include "platform/Log.h"
#include "platform/WorkPool.h"
#include "platform/WorkPools.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThreadPool>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

using namespace vesk;
using vesk::test::realWaitMs;

namespace {

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QByteArray rtfOf(const QString& text)
{
    auto document = makeRichTextDocument();
    QTextCursor(document.get()).insertText(text);
    return makeRTFData(*document).value();
}

struct EditorFixture {
    VeskRichTextController controller;
    VeskRichTextEditor editor{&controller};
    VeskRichTextToolbar toolbar{&controller};

    EditorFixture()
    {
        editor.resize(600, 330);
        editor.show();
        settle();
    }
    QTextEdit* view() const { return editor.textView(); }
    void type(const QString& text)
    {
        // QTest spells only ASCII as keys; other characters arrive as a keyboard layout sends them.
        for (const QChar c : text) {
            if (c == QLatin1Char('\n')) {
                QTest::keyClick(view(), Qt::Key_Return);
                continue;
            }
            if (c.unicode() < 128) {
                QTest::keyClicks(view(), QString(c));
                continue;
            }
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(view(), &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(view(), &release);
        }
    }
    void pressReturn() { QTest::keyClick(view(), Qt::Key_Return); }
    void moveTo(int position)
    {
        QTextCursor cursor = view()->textCursor();
        cursor.setPosition(position);
        view()->setTextCursor(cursor);
    }
    void press(const char* chip)
    {
        toolbar.control(QString::fromLatin1(chip))->click();
        settle();
    }
};

} // namespace

TEST(RichTextEditor, TypingWithBoldAndHeadingFromTheToolbar)
{
    EditorFixture f;
    QSignalSpy changes(&f.editor, &VeskRichTextEditor::attributedTextChanged);
    f.type(QStringLiteral("Groceries"));
    f.press("heading");
    EXPECT_DOUBLE_EQ(runFont(charFormatAt(*f.view()->document(), 0)).pointSize, 22);
    EXPECT_TRUE(VeskRichTextToolbar::isActive(f.toolbar.control(QStringLiteral("heading"))));
    EXPECT_FALSE(VeskRichTextToolbar::isActive(f.toolbar.control(QStringLiteral("body"))));
    EXPECT_EQ(f.toolbar.control(QStringLiteral("size"))->text(), "22 pt");
    // The size menu marks the current size once; no entry is a check box.
    QMenu* sizes = f.toolbar.control(QStringLiteral("size"))->menu();
    ASSERT_NE(sizes, nullptr);
    emit sizes->aboutToShow();
    QStringList marked;
    for (const QAction* action : sizes->actions()) {
        EXPECT_FALSE(action->isCheckable()) << action->text().toStdString();
        if (!action->icon().isNull())
            marked.append(action->text());
    }
    EXPECT_EQ(marked, QStringList{QStringLiteral("22 pt")});

    f.pressReturn();
    f.press("body");
    QTest::keyClick(f.view(), Qt::Key_B, Qt::ControlModifier);
    settle();
    f.type(QStringLiteral("milk"));
    const QTextCharFormat typed = charFormatAt(*f.view()->document(), 10);
    EXPECT_TRUE(runFont(typed).isBold());
    EXPECT_TRUE(VeskRichTextToolbar::isActive(f.toolbar.control(QStringLiteral("bold"))));
    EXPECT_GT(changes.count(), 0);
    EXPECT_EQ(f.editor.plainText(), "Groceries\nmilk");
}

TEST(RichTextEditor, SmartQuotesAndDashesWhileTyping)
{
    EditorFixture f;
    f.type(QStringLiteral("He said \"don't\" -- ok ('a') x--- y"));
    EXPECT_EQ(f.editor.plainText(), QStringLiteral("He said \u201Cdon\u2019t\u201D \u2014 ok (\u2018a\u2019) x--- y"));

    // The dash keeps what is typed next in the text's typing style; one undo takes back the dash.
    f.press("bold");
    f.type(QStringLiteral(" a--b"));
    EXPECT_TRUE(f.editor.plainText().endsWith(QStringLiteral(" a\u2014b")));
    EXPECT_TRUE(runFont(charFormatAt(*f.view()->document(), int(f.editor.plainText().size()) - 1)).isBold());
    f.view()->undo();
    EXPECT_TRUE(f.editor.plainText().endsWith(QStringLiteral(" a--")));
}

TEST(RichTextEditor, EachListKindFromTheToolbar)
{
    EditorFixture f;
    f.type(QStringLiteral("a"));
    const struct {
        const char* chip;
        QString expected;
    } cases[] = {{"bulleted", QStringLiteral("\u2022 a")},
                 {"numbered", QStringLiteral("1. a")},
                 {"checklist", QStringLiteral("\u2610 a")},
                 {"radio", QStringLiteral("\u25CB a")},
                 {"radio", QStringLiteral("a")}};
    for (const auto& c : cases) {
        f.press(c.chip);
        EXPECT_EQ(f.editor.plainText(), c.expected) << c.chip;
    }
}

TEST(RichTextEditor, ReturnContinuesChecklistsAndEndsThemOnAnEmptyItem)
{
    EditorFixture f;
    f.type(QStringLiteral("milk"));
    f.press("checklist");
    f.moveTo(int(f.editor.plainText().size()));
    f.pressReturn();
    f.type(QStringLiteral("eggs"));
    EXPECT_EQ(f.editor.plainText(), QStringLiteral("\u2610 milk\n\u2610 eggs"));
    EXPECT_EQ(charFormatAt(*f.view()->document(), 7).anchorHref(), "vesk-check://toggle");

    f.pressReturn();
    f.pressReturn();  // on the empty item: the list ends
    f.type(QStringLiteral("done"));
    EXPECT_EQ(f.editor.plainText(), QStringLiteral("\u2610 milk\n\u2610 eggs\n\ndone"));
}

TEST(RichTextEditor, WhatFollowsAHandTypedGlyphIsBodyText)
{
    const QString box(kCheckboxOpen);
    const struct {
        const char* name;
        std::function<void(EditorFixture&)> enter;
        QString text;
        int glyph;       // where the styled glyph stands
        int wordsStart;  // the words that must be body text
    } cases[] = {
        {"typed", [&](EditorFixture& f) { f.type(box + QStringLiteral(" hello world")); }, box + " hello world", 0, 2},
        {"pasted",
         [&](EditorFixture& f) {
             f.type(QStringLiteral("x"));
             f.moveTo(0);
             f.view()->insertPlainText(box + QStringLiteral(" hello world\n"));
             settle();
         },
         box + " hello world\nx", 0, 2},
        {"glyph at the line's end, then words",
         [&](EditorFixture& f) {
             f.type(box);
             settle();
             f.type(QStringLiteral(" later"));
         },
         box + " later", 0, 2},
        {"glyph alone, then Return",
         [&](EditorFixture& f) {
             f.type(QStringLiteral("a\n") + box);
             settle();
             QTest::keyClick(f.view(), Qt::Key_Return, Qt::ShiftModifier);
             f.type(QStringLiteral("next"));
         },
         "a\n" + box + "\nnext", 2, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EditorFixture f;
        c.enter(f);
        settle();
        ASSERT_EQ(f.editor.plainText(), c.text);
        const std::unique_ptr<QTextDocument> kept = f.editor.attributedText();
        EXPECT_EQ(charFormatAt(*kept, c.glyph).anchorHref(), "vesk-check://toggle");
        EXPECT_EQ(runFont(charFormatAt(*kept, c.glyph)).weight, QFont::DemiBold);
        for (int i = c.wordsStart; i < int(c.text.size()); ++i) {
            if (c.text[i] == QLatin1Char('\n'))
                continue;
            SCOPED_TRACE(i);
            const QTextCharFormat words = charFormatAt(*kept, i);
            EXPECT_FALSE(hasLink(words));
            EXPECT_EQ(runFont(words).weight, QFont::Normal);
            EXPECT_DOUBLE_EQ(runFont(words).pointSize, kRichTextDefaultPointSize);
            EXPECT_DOUBLE_EQ(words.baselineOffset(), 0.0);
        }
    }
}

TEST(RichTextEditor, ReturnAtALineStartIsAPlainBreak)
{
    EditorFixture f;
    f.type(QStringLiteral("task"));
    f.press("checklist");
    f.moveTo(int(f.editor.plainText().size()));
    f.pressReturn();
    f.type(QStringLiteral("next"));
    // Caret at the start of the second item: the line before is a checklist line.
    f.moveTo(7);
    f.pressReturn();
    EXPECT_EQ(f.editor.plainText(), QStringLiteral("\u2610 task\n\n\u2610 next"));

    // A plain line after a checklist line stays plain.
    EditorFixture g;
    g.type(QStringLiteral("x"));
    g.press("checklist");
    g.moveTo(int(g.editor.plainText().size()));
    QTest::keyClick(g.view(), Qt::Key_Return, Qt::ShiftModifier);
    g.type(QStringLiteral("y"));
    EXPECT_EQ(g.editor.plainText(), QStringLiteral("\u2610 x\n\u2610 y"));
    g.press("checklist");  // caret on "y": it leaves the list
    g.moveTo(int(g.editor.plainText().size()) - 1);
    g.pressReturn();
    EXPECT_EQ(g.editor.plainText(), QStringLiteral("\u2610 x\n\ny"));
}

TEST(RichTextEditor, LinksFoundWhileTypingFollowTheFinishedAddress)
{
    EditorFixture f;
    // "example.co" is a complete address on its own until the "m" arrives.
    f.type(QStringLiteral("see example.com and more"));
    const QTextDocument& document = *f.view()->document();
    EXPECT_EQ(charFormatAt(document, 4).anchorHref(), "https://example.com");
    EXPECT_EQ(charFormatAt(document, 14).anchorHref(), "https://example.com");
    EXPECT_FALSE(hasLink(charFormatAt(document, 15))) << "typing after a link does not lengthen it";
    EXPECT_FALSE(hasLink(charFormatAt(document, 16)));

    // Editing the address moves its link along; a link set by hand stays as the user made it.
    f.moveTo(15);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(f.view(), Qt::Key_Backspace);
    QTest::keyClicks(f.view(), QStringLiteral("org"));
    EXPECT_EQ(f.editor.plainText(), "see example.org and more");
    EXPECT_EQ(charFormatAt(document, 4).anchorHref(), "https://example.org");
    f.moveTo(15);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(f.view(), Qt::Key_Backspace);
    EXPECT_EQ(f.editor.plainText(), "see example and more");
    EXPECT_FALSE(hasLink(charFormatAt(document, 4))) << "not an address any more";

    QTextCursor cursor(f.view()->document());
    cursor.setPosition(16);
    cursor.setPosition(20, QTextCursor::KeepAnchor);
    f.view()->setTextCursor(cursor);
    f.controller.setLinkPrompt([](QWidget*, const QString&) { return std::optional<QString>(QStringLiteral("example.org")); });
    f.controller.addLinkToSelection();
    f.moveTo(20);
    f.type(QStringLiteral("!"));
    EXPECT_EQ(charFormatAt(document, 16).anchorHref(), "https://example.org");
    EXPECT_FALSE(hasLink(charFormatAt(document, 20)));

    // A checklist item that ends in a link: the next item starts without it.
    EditorFixture g;
    g.type(QStringLiteral("recipes"));
    g.press("checklist");
    QTextCursor word(g.view()->document());
    word.setPosition(2);
    word.setPosition(9, QTextCursor::KeepAnchor);
    g.view()->setTextCursor(word);
    g.controller.setLinkPrompt([](QWidget*, const QString&) { return std::optional<QString>(QStringLiteral("example.org")); });
    g.controller.addLinkToSelection();
    g.moveTo(9);
    g.pressReturn();
    g.type(QStringLiteral("x"));
    ASSERT_EQ(g.editor.plainText(), QStringLiteral("\u2610 recipes\n\u2610 x"));
    const QTextDocument& items = *g.view()->document();
    EXPECT_EQ(charFormatAt(items, 10).anchorHref(), "vesk-check://toggle");
    for (int i : {11, 12})
        EXPECT_FALSE(hasLink(charFormatAt(items, i))) << i;
}

TEST(RichTextEditor, UndoTakesBackACommandOrATypedLinkInOneStep)
{
    EditorFixture f;
    f.type(QStringLiteral("plain words"));
    QTextCursor all(f.view()->document());
    all.select(QTextCursor::Document);
    f.view()->setTextCursor(all);
    f.press("bold");
    ASSERT_TRUE(runFont(charFormatAt(*f.view()->document(), 0)).isBold());
    f.view()->undo();
    EXPECT_FALSE(runFont(charFormatAt(*f.view()->document(), 0)).isBold());
    EXPECT_EQ(f.editor.plainText(), "plain words");

    f.view()->undo();
    EXPECT_EQ(f.editor.plainText(), "") << "the typing, with the formats the display pass gave it";
    f.view()->redo();
    EXPECT_EQ(f.editor.plainText(), "plain words");
}

TEST(RichTextEditor, OutsideChangesReplaceTheTextAndKeepTheCaretClamped)
{
    EditorFixture f;
    f.type(QStringLiteral("a long first draft"));
    f.moveTo(15);
    std::unique_ptr<QTextDocument> replacement = editableAttributedString(std::nullopt, QStringLiteral("short"));
    f.editor.setAttributedText(*replacement);
    EXPECT_EQ(f.editor.plainText(), "short");
    EXPECT_EQ(f.view()->textCursor().position(), 5);
    EXPECT_FALSE(f.view()->textCursor().hasSelection());

    // The same value again changes nothing, not even the caret.
    f.moveTo(2);
    f.editor.setAttributedText(*f.editor.attributedText());
    EXPECT_EQ(f.view()->textCursor().position(), 2);
}

TEST(RichTextEditor, PastedRtfIsReadWithOurReader)
{
    EditorFixture f;
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/rtf"), "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1\\b pasted}");
    QApplication::clipboard()->setMimeData(mime);
    f.view()->paste();
    EXPECT_EQ(f.editor.plainText(), "pasted");
    const QTextCharFormat format = charFormatAt(*f.view()->document(), 0);
    EXPECT_TRUE(runFont(format).isBold());
    EXPECT_FALSE(format.hasProperty(QTextFormat::ForegroundBrush)) << "colours follow the theme";

    auto* html = new QMimeData;
    html->setHtml(QStringLiteral("<p>-and <img src=\"x.png\"><b>more</b></p>"));
    QApplication::clipboard()->setMimeData(html);
    f.view()->paste();
    EXPECT_EQ(f.editor.plainText(), "pasted-and more") << "pictures are not taken in";

    // Lists from a web page keep their markers as text, as every Vesk list does, so the stored
    // note and its plain text still show them.
    EditorFixture g;
    auto* lists = new QMimeData;
    lists->setHtml(QStringLiteral("<ul><li>one</li><li>two</li></ul><ol><li>a</li><li><i>b</i></li></ol>"));
    QApplication::clipboard()->setMimeData(lists);
    g.view()->paste();
    EXPECT_EQ(g.editor.plainText(), QStringLiteral("\u2022 one\n\u2022 two\n1. a\n2. b"));
    for (QTextBlock block = g.view()->document()->begin(); block.isValid(); block = block.next()) {
        EXPECT_EQ(block.textList(), nullptr) << block.text().toStdString();
        EXPECT_EQ(block.blockFormat().indent(), 0);
    }
    EXPECT_TRUE(runFont(charFormatAt(*g.view()->document(), 20)).italic);
}

TEST(RichTextToolbar, SizeLabelAndChecksAndChipsWithoutAnEditor)
{
    EXPECT_EQ(pointSizeLabel(16.5), "16 pt");
    EXPECT_EQ(pointSizeLabel(15.4), "15 pt");
    EXPECT_TRUE(isCurrentSizeEntry(15, 15.4));
    EXPECT_FALSE(isCurrentSizeEntry(15, 16.5));
    EXPECT_FALSE(isCurrentSizeEntry(18, 16.5));

    VeskRichTextController controller;
    VeskRichTextToolbar toolbar(&controller);
    for (const char* name : {"bold", "italic", "underline", "heading", "body", "size", "bulleted", "numbered",
                             "checklist", "radio", "alignLeft", "alignCenter", "alignRight", "link"})
        ASSERT_NE(toolbar.control(QString::fromLatin1(name)), nullptr) << name;
    toolbar.control(QStringLiteral("bold"))->click();
    toolbar.control(QStringLiteral("link"))->click();
    EXPECT_FALSE(controller.isBold());
    EXPECT_TRUE(VeskRichTextToolbar::isActive(toolbar.control(QStringLiteral("alignLeft"))));
    EXPECT_FALSE(VeskRichTextToolbar::isActive(toolbar.control(QStringLiteral("alignCenter"))));
}

TEST(RichTextReadView, ClickingGlyphsTogglesThemAndReportsRtf)
{
    VeskRichTextReadView view;
    view.resize(500, 300);
    std::optional<QByteArray> reported;
    view.setOnRTFChange([&](const QByteArray& rtf) { reported = rtf; });
    view.setRtfData(rtfOf(QStringLiteral("\u2610 milk\n\u25CF one\n\u25CF two")));
    view.show();
    settle();

    QTextEdit* text = view.textView();
    auto glyphPoint = [text](int position) {
        QTextCursor cursor(text->document());
        cursor.setPosition(position);
        return text->cursorRect(cursor).center() + QPoint(3, 0);
    };
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, glyphPoint(0));
    ASSERT_TRUE(reported);
    EXPECT_EQ(documentText(*editableAttributedString(reported, {})), QStringLiteral("\u2611 milk\n\u25CF one\n\u25CF two"));

    reported.reset();
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, glyphPoint(7));
    ASSERT_TRUE(reported);
    EXPECT_EQ(documentText(*editableAttributedString(reported, {})), QStringLiteral("\u2611 milk\n\u25CB one\n\u25CF two"))
        << "other radio glyphs stay as they are";
    EXPECT_EQ(text->cursorWidth(), 0) << "text to read and select shows no caret after a click";

    // Hovering: arrow beside a glyph, I-beam over words.
    QTest::mouseMove(text->viewport(), glyphPoint(0) - QPoint(7, 0));
    EXPECT_EQ(text->viewport()->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(text->viewport(), glyphPoint(4));
    EXPECT_EQ(text->viewport()->cursor().shape(), Qt::IBeamCursor);
}

TEST(RichTextReadView, LinksOpenOnlyForWebAndMailAndReportNoRtf)
{
    VeskRichTextReadView view;
    QList<QUrl> opened;
    bool reported = false;
    view.setLinkOpener([&](const QUrl& url) { opened.append(url); });
    view.setOnRTFChange([&](const QByteArray&) { reported = true; });
    view.setRtfData(rtfOf(QStringLiteral("\u2610 item and example.com")));

    EXPECT_TRUE(view.handleLinkClick(QStringLiteral("https://example.com"), 11));
    EXPECT_TRUE(view.handleLinkClick(QStringLiteral("mailto:a@example.com"), 11));
    EXPECT_TRUE(view.handleLinkClick(QStringLiteral("file:///etc/passwd"), 11));
    EXPECT_TRUE(view.handleLinkClick(QStringLiteral("smb://host/share"), 11));
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.com")), QUrl(QStringLiteral("mailto:a@example.com"))}));
    EXPECT_FALSE(reported);

    EXPECT_FALSE(view.handleLinkClick(QStringLiteral("vesk-check://toggle"), 3)) << "not a glyph";
    EXPECT_FALSE(view.handleLinkClick(QStringLiteral("vesk-check://toggle"), 999));
    EXPECT_FALSE(reported);
}

TEST(RichTextReadView, UnreadableRtfLeavesTheViewAsItWas)
{
    VeskRichTextReadView view;
    view.setRtfData(rtfOf(QStringLiteral("kept")));
    view.setRtfData("not rtf at all");
    view.setRtfData("{\\rtf1 }");
    EXPECT_EQ(documentText(*view.textView()->document()), "kept");
    view.setRtfData(rtfOf(QStringLiteral("new")));
    EXPECT_EQ(documentText(*view.textView()->document()), "new");
}

TEST(RichTextSnippet, ClipsToTheGivenNumberOfLines)
{
    VeskRichTextSnippet one(rtfOf(QStringLiteral("first\nsecond\nthird")), 1);
    VeskRichTextSnippet two(rtfOf(QStringLiteral("first\nsecond\nthird")), 2);
    VeskRichTextSnippet all(rtfOf(QStringLiteral("first\nsecond\nthird")), 10);
    const int h1 = one.heightForWidth(300);
    const int h2 = two.heightForWidth(300);
    const int h3 = all.heightForWidth(300);
    EXPECT_GT(h1, 0);
    EXPECT_GT(h2, h1);
    EXPECT_GT(h3, h2);
    EXPECT_EQ(two.plainText(), QStringLiteral("first\nsecond")) << "only what the lines can show is read";
    two.setMaximumLines(3);
    EXPECT_EQ(two.plainText(), QStringLiteral("first\nsecond\nthird"));
    EXPECT_EQ(two.heightForWidth(300), h3);
}

TEST(RichTextReadView, LongBodiesArriveFromAWorkerAndTheLatestWins)
{
    QString longText;
    while (longText.size() < VeskRichTextReadView::kSynchronousBytes)
        longText += QStringLiteral("\u2610 a line with example.com in it\n");
    const QByteArray longBody = rtfOf(longText + QStringLiteral("last"));
    ASSERT_GT(longBody.size(), VeskRichTextReadView::kSynchronousBytes);

    VeskRichTextReadView view;
    QSignalSpy shown(&view, &VeskRichTextReadView::bodyShown);
    view.setRtfData(longBody);
    EXPECT_TRUE(view.isLoading()) << "the window does not wait for a long body";
    ASSERT_TRUE(shown.wait(realWaitMs(10'000)));
    EXPECT_FALSE(view.isLoading());
    // It comes onto the screen a piece at a time, and in the end as it was read.
    EXPECT_TRUE(view.isFilling());
    EXPECT_LT(view.textView()->document()->characterCount(), 2 * VeskRichTextReadView::kShownPieceCharacters);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.isFilling(); }, realWaitMs(10'000)));
    const DisplayedBody whole = prepareDisplayedBody(longBody, view.textView()->palette().color(QPalette::Link));
    EXPECT_TRUE(sameRichText(*view.textView()->document(), *whole.document));
    EXPECT_TRUE(documentText(*view.textView()->document()).endsWith(QStringLiteral("last")));
    EXPECT_EQ(charFormatAt(*view.textView()->document(), 0).anchorHref(), "vesk-check://toggle");

    // A short body set while a long one is read stays: the long one arrives too late.
    view.setRtfData(rtfOf(QStringLiteral("other") + longText));
    view.setRtfData(rtfOf(QStringLiteral("short")));
    // The long body's read is done, and what it gave waits in the event queue.
    ASSERT_TRUE(WorkPools::shared().painting()->waitForDone(realWaitMs(10'000)));
    settle();
    EXPECT_EQ(documentText(*view.textView()->document()), QStringLiteral("short"));
}

TEST(RichTextReadView, BodyCutShortAtTheReadersLimitsIsNotWrittenBack)
{
    QStringList logged;
    setVeskLogCapture([&logged](const QString& line) { logged.append(line); });
    // Text nested deeper than the reader goes is dropped, so what is shown is not the whole body.
    const QByteArray cut = "{\\rtf1 \\u9744 ? milk\\par " + QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "}";
    VeskRichTextReadView view;
    bool reported = false;
    view.setOnRTFChange([&](const QByteArray&) { reported = true; });
    view.setRtfData(cut);
    setVeskLogCapture({});
    ASSERT_EQ(documentText(*view.textView()->document()), QStringLiteral("\u2610 milk\n"));
    EXPECT_TRUE(view.isTruncated());
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.first().startsWith(QStringLiteral("Vesk rich-text read error: "))) << logged.first().toStdString();

    EXPECT_TRUE(view.handleLinkClick(QStringLiteral("vesk-check://toggle"), 0));
    EXPECT_FALSE(reported);
    EXPECT_EQ(documentText(*view.textView()->document()), QStringLiteral("\u2610 milk\n")) << "the glyph stays as stored";
}

TEST(RichTextReadView, AToggleInALongBodyIsWrittenOnAWorkerAndTheLastOneWins)
{
    QString text = QStringLiteral("\u2610 first\n\u2610 second\n");
    while (text.size() <= VeskRichTextReadView::kSynchronousCharacters)
        text += QStringLiteral("a plain line of the long body\n");
    VeskRichTextReadView view;
    QList<QByteArray> reported;
    view.setOnRTFChange([&](const QByteArray& rtf) { reported.append(rtf); });
    view.setRtfData(rtfOf(text));
    ASSERT_FALSE(view.isLoading());
    // Clicked before the whole body is on the screen: the whole body is written back.
    ASSERT_TRUE(view.isFilling());

    ASSERT_TRUE(view.handleLinkClick(QStringLiteral("vesk-check://toggle"), 0));
    ASSERT_TRUE(view.handleLinkClick(QStringLiteral("vesk-check://toggle"), 8));
    EXPECT_TRUE(reported.isEmpty()) << "writing a long body does not hold up the click";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.isEmpty() && workPool()->activeThreadCount() == 0; }, 10'000));
    settle();
    // Whatever arrived, the last body handed on holds both clicks.
    const QString written = documentText(*editableAttributedString(reported.last(), {}));
    EXPECT_TRUE(written.startsWith(QStringLiteral("\u2611 first\n\u2611 second")));
    EXPECT_EQ(written.size(), documentText(*editableAttributedString(rtfOf(text), {})).size());
}
