// List markers, the list buttons' rewriting, clickable glyph styling, the glyph toggle and the
// Return rule, as pure functions over text and documents.
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

std::unique_ptr<QTextDocument> documentWith(const QString& text, qreal pointSize = 15)
{
    auto document = makeRichTextDocument();
    QTextCharFormat format;
    format.setFontPointSize(pointSize);
    QTextCursor(document.get()).insertText(text, format);
    return document;
}

} // namespace

TEST(RichTextLists, RewritingLinesForEachListButton)
{
    const QString words = QStringLiteral("one\n\ntwo");
    EXPECT_EQ(rewriteListLines(words, RichTextListKind::bulleted), QStringLiteral("\u2022 one\n\n\u2022 two"));
    EXPECT_EQ(rewriteListLines(words, RichTextListKind::numbered), QStringLiteral("1. one\n\n2. two"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("5. a\n6. b\n7. c"), RichTextListKind::numbered),
              QStringLiteral("1. a\n2. b\n3. c"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("\u2022 a\nb"), RichTextListKind::checklist),
              QStringLiteral("\u2610 a\n\u2610 b"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("\u2611 a\n\u2610 b"), RichTextListKind::checklist), QStringLiteral("a\nb"))
        << "all checkbox lines: the markers go";
    EXPECT_EQ(rewriteListLines(QStringLiteral("\u2611 a\n\u2610 b"), RichTextListKind::radio),
              QStringLiteral("\u25CB a\n\u25CB b"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("\u25CF a"), RichTextListKind::checklist), QStringLiteral("\u2610 a"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("- dash"), RichTextListKind::bulleted), QStringLiteral("\u2022 dash"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("  "), RichTextListKind::numbered), QStringLiteral("1.   "))
        << "a line of spaces is not empty";
    // A glyph with nothing after it counts as a checkbox line, and keeps its glyph when markers go.
    EXPECT_EQ(rewriteListLines(QStringLiteral("\u2610\n\u2610 b"), RichTextListKind::checklist),
              QStringLiteral("\u2610\nb"));
    EXPECT_EQ(rewriteListLines(QStringLiteral("a\n"), RichTextListKind::bulleted), QStringLiteral("\u2022 a\n"))
        << "the trailing break survives";
    EXPECT_EQ(rewriteListLines(QString(), RichTextListKind::checklist), QString());
}

TEST(RichTextLists, ListFlagsOfAParagraph)
{
    EXPECT_TRUE(listLineFlags(QStringLiteral("   \u2022 word")).bulleted);
    EXPECT_FALSE(listLineFlags(QStringLiteral("\u2022word")).bulleted);
    EXPECT_TRUE(listLineFlags(QStringLiteral("12. word\n")).numbered);
    EXPECT_TRUE(listLineFlags(QStringLiteral("\u2611 word")).checklist);
    EXPECT_TRUE(listLineFlags(QStringLiteral("\u25CF word")).radio);
    const ListLineFlags glyphOnly = listLineFlags(QStringLiteral("\u2610 "));
    EXPECT_FALSE(glyphOnly.checklist || glyphOnly.radio || glyphOnly.bulleted || glyphOnly.numbered);
}

TEST(RichTextLists, GlyphsAtLineStartsGetLinkSizeAndNothingElseDoes)
{
    auto document = documentWith(QStringLiteral("\u2610 body\n  \u25CF indented\nmid \u2610 line\n\u2611"));
    // Text of other sizes after two of the glyphs.
    QTextCharFormat big;
    big.setFontPointSize(32);
    QTextCursor cursor(document.get());
    cursor.setPosition(2);
    cursor.setPosition(6, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(big);
    styleChecklistGlyphs(*document);

    const QTextCharFormat first = charFormatAt(*document, 0);
    EXPECT_EQ(first.anchorHref(), "vesk-check://toggle");
    EXPECT_DOUBLE_EQ(first.fontPointSize(), 35);
    EXPECT_EQ(first.fontWeight(), QFont::DemiBold);
    EXPECT_FALSE(isUnderlined(first));
    EXPECT_LT(first.baselineOffset(), 0);
    EXPECT_FALSE(hasLink(charFormatAt(*document, 1))) << "only the glyph itself";

    EXPECT_DOUBLE_EQ(charFormatAt(*document, 9).fontPointSize(), 18) << "indented radio before body text";
    const int middle = int(documentText(*document).indexOf(QStringLiteral("\u2610 line")));
    EXPECT_FALSE(hasLink(charFormatAt(*document, middle)));
    const int last = documentLength(*document) - 1;
    EXPECT_TRUE(hasLink(charFormatAt(*document, last))) << "a glyph at the end of the text";
    EXPECT_DOUBLE_EQ(charFormatAt(*document, last).fontPointSize(), 15);

    // Restyling keeps sizes, and glyph sizes never pass 40 pt.
    styleChecklistGlyphs(*document);
    EXPECT_DOUBLE_EQ(charFormatAt(*document, last).fontPointSize(), 15);
    auto huge = documentWith(QStringLiteral("\u2610 x"), 40);
    styleChecklistGlyphs(*huge);
    EXPECT_DOUBLE_EQ(charFormatAt(*huge, 0).fontPointSize(), 40);
}

TEST(RichTextLists, ToggleLinksDoNotOutliveTheirGlyph)
{
    auto document = documentWith(QStringLiteral("\u2610 item"));
    styleChecklistGlyphs(*document);
    QTextCursor cursor(document.get());
    cursor.setPosition(0);
    cursor.setPosition(1, QTextCursor::KeepAnchor);
    cursor.insertText(QStringLiteral("x"));  // typed over the glyph, inheriting its format
    styleChecklistGlyphs(*document);
    EXPECT_FALSE(hasLink(charFormatAt(*document, 0)));

    // Links of other schemes stay.
    auto linked = documentWith(QStringLiteral("site"));
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org"));
    QTextCursor all(linked.get());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(link);
    styleChecklistGlyphs(*linked);
    EXPECT_EQ(charFormatAt(*linked, 0).anchorHref(), "https://example.org");
}

TEST(RichTextLists, TogglingAGlyphChangesOnlyThatGlyph)
{
    auto document = documentWith(QStringLiteral("\u25CF a\n\u25CB b\n\u2610 c"));
    styleChecklistGlyphs(*document);
    EXPECT_TRUE(toggleGlyphAt(*document, 0));
    EXPECT_EQ(documentText(*document), QStringLiteral("\u25CB a\n\u25CB b\n\u2610 c"));
    EXPECT_TRUE(toggleGlyphAt(*document, 8));
    EXPECT_EQ(documentText(*document), QStringLiteral("\u25CB a\n\u25CB b\n\u2611 c"));
    EXPECT_TRUE(hasLink(charFormatAt(*document, 8)));
    EXPECT_FALSE(toggleGlyphAt(*document, 2));
    EXPECT_FALSE(toggleGlyphAt(*document, 99));
}

TEST(RichTextLists, ReturnInChecklistAndRadioLines)
{
    const QString ticked = QStringLiteral("\u2611 buy milk");
    EXPECT_EQ(checklistReturnEdit(ticked, int(ticked.size()), 0),
              (ReturnEdit{int(ticked.size()), 0, QStringLiteral("\n\u2610 ")}))
        << "the new item starts open";

    const QString radio = QStringLiteral("  \u25CF choice");
    EXPECT_EQ(checklistReturnEdit(radio, int(radio.size()), 0), (ReturnEdit{int(radio.size()), 0, QStringLiteral("\n\u25CB ")}));

    const QString emptyItem = QStringLiteral("\u2610 a\n\u2610 \nafter");
    EXPECT_EQ(checklistReturnEdit(emptyItem, 6, 0), (ReturnEdit{4, 3, QStringLiteral("\n")})) << "an empty item ends the list";

    EXPECT_FALSE(checklistReturnEdit(QStringLiteral("\u2610"), 1, 0)) << "glyph without white space";
    EXPECT_FALSE(checklistReturnEdit(QStringLiteral("plain"), 5, 0));
    EXPECT_FALSE(checklistReturnEdit(QString(), 0, 0));

    // At a line start the break goes through as it is: no doubled glyph, no new item.
    const QString two = QStringLiteral("\u2610 first\nsecond");
    EXPECT_FALSE(checklistReturnEdit(two, 8, 0));
    const QString both = QStringLiteral("\u2610 first\n\u2610 second");
    EXPECT_FALSE(checklistReturnEdit(both, 8, 0));
    EXPECT_FALSE(checklistReturnEdit(both, 0, 0));
}

TEST(RichTextLists, ForeignListMarkersAreStrippedAndTheCaretFollows)
{
    QTextEdit view;
    QTextCursor cursor(view.document());
    cursor.insertText(QStringLiteral("plain \u2022 kept"));
    QTextListFormat listFormat;
    listFormat.setStyle(QTextListFormat::ListDisc);
    cursor.insertList(listFormat);
    cursor.insertText(QStringLiteral("\t\u25E6 item"));
    QTextCursor caret(view.document());
    caret.setPosition(documentLength(*view.document()) - 2);  // before "em"
    view.setTextCursor(caret);

    stripListContinuationMarkers(view);
    EXPECT_EQ(documentText(*view.document()), QStringLiteral("plain \u2022 kept\nitem"));
    EXPECT_EQ(view.textCursor().position(), documentLength(*view.document()) - 2);

    QTextEdit plain;
    plain.setPlainText(QStringLiteral("\t\u25E6 item"));
    stripListContinuationMarkers(plain);
    EXPECT_EQ(plain.toPlainText(), QStringLiteral("\t\u25E6 item")) << "not a list paragraph";
}
