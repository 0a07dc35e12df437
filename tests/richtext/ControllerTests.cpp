// The formatting commands and the state derivation of VeskRichTextController over a QTextEdit.
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextRtf.h"
#include "richtext/VeskRichTextController.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

struct Fixture {
    QTextEdit view;
    VeskRichTextController controller;
    int beeps = 0;

    explicit Fixture(const QString& text = {})
    {
        view.document()->setDefaultFont(defaultRichTextFont());
        QTextCursor(view.document()).insertText(text, QTextCharFormat());
        controller.setTextView(&view);
        controller.setBeep([this] { ++beeps; });
    }

    void select(int start, int end)
    {
        QTextCursor cursor(view.document());
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
    }
    void caret(int position) { select(position, position); }
    QString text() const { return documentText(*view.document()); }
    RunFont fontAt(int index) const { return runFont(charFormatAt(*view.document(), index)); }
};

} // namespace

TEST(RichTextController, WithoutATextViewEveryCommandIsANoOp)
{
    VeskRichTextController controller;
    QSignalSpy spy(&controller, &VeskRichTextController::stateChanged);
    controller.toggleFontTrait(FontTrait::bold);
    controller.toggleUnderline();
    controller.setPointSize(28);
    controller.applyHeading();
    controller.applyBody();
    controller.setAlignment(RichTextAlignment::center);
    controller.applyList(RichTextListKind::checklist);
    controller.addLinkToSelection();
    controller.refreshState();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(controller.isBody());
    EXPECT_TRUE(controller.isLeftAligned());

    // An editor that has gone leaves the controller harmless too.
    auto* view = new QTextEdit;
    controller.setTextView(view);
    delete view;
    controller.applyHeading();
    EXPECT_EQ(controller.textView(), nullptr);
}

TEST(RichTextController, BoldAndItalicOverSelectionsAndCaret)
{
    Fixture f(QStringLiteral("half bold"));
    f.select(0, 4);
    f.controller.toggleFontTrait(FontTrait::bold);  // runs without a font count as 15 pt regular
    EXPECT_TRUE(f.fontAt(0).isBold());
    EXPECT_DOUBLE_EQ(f.fontAt(0).pointSize, 15);

    f.select(0, 9);
    f.controller.toggleFontTrait(FontTrait::bold);  // partly bold becomes wholly bold
    EXPECT_TRUE(f.fontAt(0).isBold() && f.fontAt(8).isBold());
    EXPECT_TRUE(f.controller.isBold());
    f.controller.toggleFontTrait(FontTrait::bold);
    EXPECT_FALSE(f.fontAt(0).isBold() || f.fontAt(8).isBold());

    f.caret(9);
    f.controller.toggleFontTrait(FontTrait::italic);
    EXPECT_FALSE(f.fontAt(8).italic) << "a caret changes only what is typed next";
    EXPECT_TRUE(f.controller.isItalic());
    f.view.textCursor().insertText(QStringLiteral("!"), f.view.currentCharFormat());
    EXPECT_TRUE(f.fontAt(9).italic);
}

TEST(RichTextController, UnderlineTogglesTheWholeSelection)
{
    Fixture f(QStringLiteral("one two three"));
    f.select(4, 7);
    f.controller.toggleUnderline();
    f.select(0, 13);
    f.controller.toggleUnderline();  // one word underlined: the whole selection loses it
    for (int i : {0, 5, 12})
        EXPECT_FALSE(isUnderlined(charFormatAt(*f.view.document(), i))) << i;
    f.controller.toggleUnderline();
    for (int i : {0, 5, 12}) {
        const QTextCharFormat format = charFormatAt(*f.view.document(), i);
        EXPECT_TRUE(isUnderlined(format)) << i;
        EXPECT_FALSE(format.hasProperty(QTextFormat::TextUnderlineColor)) << "the underline follows the theme";
    }
    EXPECT_TRUE(f.controller.isUnderline());
}

TEST(RichTextController, SizeHeadingAndBody)
{
    Fixture f(QStringLiteral("Title\nbody text"));
    QTextCharFormat boldItalic;
    setRunFont(boldItalic, RunFont{QStringLiteral("Liberation Serif"), 15, QFont::Bold, true});
    f.select(0, 5);
    f.view.textCursor().setCharFormat(boldItalic);
    f.controller.setPointSize(28);
    EXPECT_DOUBLE_EQ(f.fontAt(0).pointSize, 28);
    EXPECT_TRUE(f.fontAt(0).isBold() && f.fontAt(0).italic);
    EXPECT_TRUE(f.fontAt(0).family.isEmpty()) << "the system font of the new size";

    f.caret(8);
    f.controller.applyHeading();
    EXPECT_DOUBLE_EQ(f.fontAt(6).pointSize, 22);
    EXPECT_EQ(f.fontAt(14).weight, QFont::DemiBold);
    EXPECT_DOUBLE_EQ(f.fontAt(0).pointSize, 28) << "only the caret's paragraph";
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isHeading());
    EXPECT_FALSE(f.controller.isBody());

    f.select(0, 8);
    f.controller.applyBody();
    for (int i : {0, 6, 14}) {
        EXPECT_DOUBLE_EQ(f.fontAt(i).pointSize, 15) << i;
        EXPECT_FALSE(f.fontAt(i).isBold() || f.fontAt(i).italic) << i;
    }

    Fixture empty;
    empty.controller.applyHeading();
    empty.controller.applyBody();
    EXPECT_EQ(empty.text(), QString());
}

TEST(RichTextController, PublishedSizeFlagsAndTheirTolerances)
{
    Fixture f(QStringLiteral("abc"));
    QSignalSpy sizeSpy(&f.controller, &VeskRichTextController::currentPointSizeChanged);
    auto sizeTo = [&f](qreal points) {
        QTextCharFormat format;
        format.setFontPointSize(points);
        f.select(0, 3);
        f.view.textCursor().mergeCharFormat(format);
        f.select(0, 1);
        f.controller.refreshState();
    };
    sizeTo(21.5);
    EXPECT_TRUE(f.controller.isHeading());
    sizeTo(22.6);
    EXPECT_FALSE(f.controller.isHeading());
    sizeTo(15.5);
    EXPECT_TRUE(f.controller.isBody());
    const int before = int(sizeSpy.count());
    sizeTo(15.505);
    EXPECT_EQ(sizeSpy.count(), before) << "changes of 0.01 pt or less are not republished";
    EXPECT_DOUBLE_EQ(f.controller.currentPointSize(), 15.5);
}

TEST(RichTextController, ListFlagsFollowTheCaretParagraph)
{
    Fixture f(QStringLiteral("   \u2022 bullet\n3. num\n\u2611 box\n\u25CF radio\n"));
    const QString text = f.text();
    f.caret(int(text.indexOf(QStringLiteral("bullet"))));
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isBulletedList());
    f.caret(int(text.indexOf(QStringLiteral("num"))));
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isNumberedList());
    EXPECT_FALSE(f.controller.isBulletedList());
    f.caret(int(text.indexOf(QStringLiteral("box"))));
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isChecklist());
    // At the very end, after the final break, the flags follow the line that break ends.
    f.caret(int(text.size()));
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isRadioList());
    EXPECT_FALSE(f.controller.isChecklist());
}

TEST(RichTextController, AlignmentKeepsOtherParagraphProperties)
{
    Fixture f(QStringLiteral("first\nsecond\n"));
    QTextBlockFormat spaced;
    spaced.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    QTextCursor(f.view.document()->findBlockByNumber(1)).setBlockFormat(spaced);

    f.caret(8);
    f.controller.setAlignment(RichTextAlignment::center);
    const QTextBlock second = f.view.document()->findBlockByNumber(1);
    EXPECT_EQ(second.blockFormat().alignment(), Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(second.blockFormat().lineHeight(), 150);
    EXPECT_FALSE(f.view.document()->findBlockByNumber(0).blockFormat().hasProperty(QTextFormat::BlockAlignment));
    EXPECT_TRUE(f.controller.isCenterAligned());
    EXPECT_FALSE(f.controller.isLeftAligned() || f.controller.isRightAligned());

    // On the empty line after the final break, the line that break ends is aligned.
    f.caret(int(f.text().size()));
    f.controller.setAlignment(RichTextAlignment::right);
    EXPECT_EQ(f.view.document()->findBlockByNumber(1).blockFormat().alignment(), Qt::AlignRight);

    // Justified sets none of the three flags.
    QTextBlockFormat justified;
    justified.setAlignment(Qt::AlignJustify);
    QTextCursor(f.view.document()->findBlockByNumber(0)).setBlockFormat(justified);
    f.caret(1);
    f.controller.refreshState();
    EXPECT_FALSE(f.controller.isLeftAligned() || f.controller.isCenterAligned() || f.controller.isRightAligned());
}

TEST(RichTextController, ApplyListRewritesSelectedLinesAndStylesGlyphs)
{
    Fixture f(QStringLiteral("- milk\neggs\n\nbread"));
    f.select(0, int(f.text().size()));
    f.controller.applyList(RichTextListKind::checklist);
    EXPECT_EQ(f.text(), QStringLiteral("\u2610 milk\n\u2610 eggs\n\n\u2610 bread"));
    EXPECT_EQ(charFormatAt(*f.view.document(), 0).anchorHref(), "vesk-check://toggle");
    f.caret(3);
    f.controller.refreshState();
    EXPECT_TRUE(f.controller.isChecklist());

    f.select(0, int(f.text().size()));
    f.controller.applyList(RichTextListKind::checklist);
    EXPECT_EQ(f.text(), QStringLiteral("milk\neggs\n\nbread"));
    EXPECT_FALSE(hasLink(charFormatAt(*f.view.document(), 0)));

    Fixture empty;
    empty.controller.applyList(RichTextListKind::numbered);
    EXPECT_EQ(empty.text(), QString());
}

TEST(RichTextController, ApplyListKeepsTheFormattingOfTheWords)
{
    Fixture f;
    QTextCursor cursor(f.view.document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italicUnderlined;
    italicUnderlined.setFontItalic(true);
    italicUnderlined.setFontUnderline(true);
    cursor.insertText(QStringLiteral("- "), QTextCharFormat());
    cursor.insertText(QStringLiteral("milk"), bold);
    cursor.insertText(QStringLiteral(" and "), QTextCharFormat());
    cursor.insertText(QStringLiteral("eggs"), italicUnderlined);
    cursor.insertText(QStringLiteral("\n"));
    cursor.insertText(QStringLiteral("bread"), italicUnderlined);
    auto check = [&f](const QString& word, bool isBold, bool isItalic, bool underlined) {
        const int at = int(f.text().indexOf(word));
        ASSERT_GE(at, 0) << word.toStdString();
        for (int i = at; i < at + int(word.size()); ++i) {
            const QTextCharFormat format = charFormatAt(*f.view.document(), i);
            EXPECT_EQ(runFont(format).isBold(), isBold) << word.toStdString();
            EXPECT_EQ(runFont(format).italic, isItalic) << word.toStdString();
            EXPECT_EQ(isUnderlined(format), underlined) << word.toStdString();
        }
    };

    for (RichTextListKind kind : {RichTextListKind::checklist, RichTextListKind::numbered, RichTextListKind::radio,
                                  RichTextListKind::bulleted}) {
        f.select(0, int(f.text().size()));
        f.controller.applyList(kind);
        check(QStringLiteral("milk"), true, false, false);
        check(QStringLiteral(" and "), false, false, false);
        check(QStringLiteral("eggs"), false, true, true);
        check(QStringLiteral("bread"), false, true, true);
    }
    EXPECT_EQ(f.text(), QStringLiteral("\u2022 milk and eggs\n\u2022 bread"));
    // The new marker reads like the words it leads, without their underline turning into a link.
    EXPECT_TRUE(runFont(charFormatAt(*f.view.document(), 0)).isBold());
    EXPECT_FALSE(hasLink(charFormatAt(*f.view.document(), 0)));

    // Taking the list away leaves the words as they were, and one undo brings the list back.
    f.select(0, int(f.text().size()));
    f.controller.applyList(RichTextListKind::checklist);
    f.select(0, int(f.text().size()));
    f.controller.applyList(RichTextListKind::checklist);
    EXPECT_EQ(f.text(), QStringLiteral("milk and eggs\nbread"));
    check(QStringLiteral("milk"), true, false, false);
    check(QStringLiteral("bread"), false, true, true);
    f.view.undo();
    EXPECT_EQ(f.text(), QStringLiteral("\u2610 milk and eggs\n\u2610 bread"));
}

TEST(RichTextController, AddLinkAsksForAnAddressAndRefusesWithABeep)
{
    Fixture f(QStringLiteral("see the site"));
    int prompts = 0;
    QString answer;
    bool cancel = false;
    f.controller.setLinkPrompt([&](QWidget*, const QString&) -> std::optional<QString> {
        ++prompts;
        if (cancel)
            return std::nullopt;
        return answer;
    });

    f.caret(2);
    f.controller.addLinkToSelection();
    EXPECT_EQ(prompts, 0) << "nothing selected: no prompt";
    EXPECT_EQ(f.beeps, 1);

    f.select(8, 12);
    cancel = true;
    f.controller.addLinkToSelection();
    EXPECT_FALSE(hasLink(charFormatAt(*f.view.document(), 8)));

    cancel = false;
    answer = QStringLiteral("ftp://example.com");
    f.controller.addLinkToSelection();
    EXPECT_EQ(f.beeps, 2);
    EXPECT_FALSE(hasLink(charFormatAt(*f.view.document(), 8)));

    answer = QStringLiteral("example.com/x");
    f.controller.addLinkToSelection();
    EXPECT_EQ(charFormatAt(*f.view.document(), 8).anchorHref(), "https://example.com/x");
    EXPECT_EQ(charFormatAt(*f.view.document(), 11).anchorHref(), "https://example.com/x");
    EXPECT_FALSE(hasLink(charFormatAt(*f.view.document(), 7)));
    EXPECT_TRUE(f.controller.isLink());
}
