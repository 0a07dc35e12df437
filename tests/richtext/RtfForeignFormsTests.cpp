// RTF in the forms word processors write it: 8-bit text next to control words, East Asian code pages,
// fields with bookmarks, soft breaks, raised and hidden text; and what the reader says when a
// body is longer than it reads.
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

RtfContent read(const QByteArray& rtf, bool* truncated = nullptr)
{
    const std::optional<RtfContent> content = parseRtf(rtf, RtfReaderLimits{}, truncated);
    EXPECT_TRUE(content.has_value()) << rtf.constData();
    return content.value_or(RtfContent{});
}

QByteArray document(const QByteArray& fonts, const QByteArray& body)
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat{\\fonttbl" + fonts + "}\r\n\\viewkind4\\uc1\\pard " + body
        + "\\par\r\n}";
}

} // namespace

TEST(RtfForeignForms, EightBitTextStaysBeforeWhatFollowsIt)
{
    const QByteArray western = "{\\f0\\fnil\\fcharset0 Calibri;}";
    EXPECT_EQ(read(document(western, "Caf\\'e9\\tab x")).plainText(), QStringLiteral("Caf\u00E9\tx\n"));
    EXPECT_EQ(read(document(western, "Ren\\'e9\\rquote s")).plainText(), QStringLiteral("Ren\u00E9\u2019s\n"));
    EXPECT_EQ(read(document(western, "\\'e9\\endash\\'e8\\bullet\\'e0\\~\\'ea\\_\\'eb\\emdash")).plainText(),
              QStringLiteral("\u00E9\u2013\u00E8\u2022\u00E0\u00A0\u00EA\u2011\u00EB\u2014\n"));

    // A Cyrillic table row: each cell's text before its separator.
    const RtfContent row = read(document("{\\f0\\fnil\\fcharset0 Calibri;}{\\f1\\fnil\\fcharset204 Calibri CYR;}",
                                         "\\trowd\\cellx2000\\cellx4000\\intbl\\f1\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\cell "
                                         "\\'ec\\'e8\\'f0\\cell\\row\\pard\\f0 end"));
    EXPECT_EQ(row.plainText(), QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442\t\u043C\u0438\u0440\nend\n"));

    // Accented text keeps the formatting it was written in.
    const RtfContent bold = read(document(western, "\\b caf\\'e9\\b0  plain"));
    ASSERT_EQ(bold.paragraphs[0].runs.size(), 2);
    EXPECT_EQ(bold.paragraphs[0].runs[0].text, QStringLiteral("caf\u00E9"));
    EXPECT_EQ(bold.paragraphs[0].runs[0].style.weight, 700);
    EXPECT_EQ(bold.paragraphs[0].runs[1].text, QStringLiteral(" plain"));

    // A long stretch of 8-bit text arrives whole.
    QByteArray many;
    for (int i = 0; i < 40'000; ++i)
        many += "\\'e9";
    EXPECT_EQ(read(document(western, many)).plainText(), QString(40'000, QChar(0x00E9)) + QLatin1Char('\n'));
}

TEST(RtfForeignForms, DoubleByteCodePagesDecodeInPairs)
{
    // Trail bytes in the ASCII range, as word processors leave them: plain letters and an escaped
    // backslash.
    const QByteArray japanese = "{\\f1\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}";
    const RtfContent shiftJis = read(document(japanese, "\\f1 \\'83e\\'83X\\'83g \\'83\\\\\\'95\\\\ ok"));
    EXPECT_EQ(shiftJis.plainText(), QStringLiteral("\u30C6\u30B9\u30C8 \u30BD\u8868 ok\n"));
    EXPECT_EQ(shiftJis.paragraphs[0].runs[0].style.fontFamily, QStringLiteral("\uFF2D\uFF33 \u660E\u671D"))
        << "font names are decoded in their own charset";

    EXPECT_EQ(read(document("{\\f1\\fnil\\fcharset134 SimSun;}", "\\f1\\'c4\\'e3\\'ba\\'c3\\'81@")).plainText(),
              QStringLiteral("\u4F60\u597D\u4E02\n"));
    EXPECT_EQ(read(document("{\\f1\\fnil\\fcharset129 Gulim;}", "\\f1\\'c7\\'d1\\'b1\\'b9\\'81A")).plainText(),
              QStringLiteral("\uD55C\uAD6D\uAC02\n"));
    EXPECT_EQ(read(document("{\\f1\\fnil\\fcharset136 MingLiU;}", "\\f1\\'b3\\'5c\\'a5\\\\")).plainText(),
              QStringLiteral("\u8A31\u529F\n"));
    // The document's own code page applies where the font names none.
    EXPECT_EQ(read("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fnil Gothic;}}\\f0 \\'83e\\'83X\\'83g}").plainText(),
              QStringLiteral("\u30C6\u30B9\u30C8"));

    // A lead byte without its trail costs one character; what follows is read as written.
    EXPECT_EQ(read(document(japanese, "\\f1\\'83 \\'83e\\'e9")).plainText(), QStringLiteral("\uFFFD \u30C6\uFFFD\n"));
    EXPECT_EQ(read(document(japanese, "\\f1\\'83\\par\\'83e")).plainText(), QStringLiteral("\uFFFD\n\u30C6\n"));
}

TEST(RtfForeignForms, FieldsKeepTheirPlaceAndTheWholeAddress)
{
    const RtfContent fragment = read(
        "{\\rtf1{\\field{\\*\\fldinst{HYPERLINK \"https://example.org/guide\" \\\\l \"install\" \\\\o \"tip\"}}"
        "{\\fldrslt{\\ul see the guide}}}}");
    ASSERT_EQ(fragment.paragraphs[0].runs.size(), 1);
    EXPECT_EQ(fragment.paragraphs[0].runs[0].style.href, QStringLiteral("https://example.org/guide#install"));
    EXPECT_EQ(hyperlinkFromFieldInstruction(QStringLiteral("HYPERLINK \\l \"only-here\"")), QString())
        << "a place in the same document is no link";
    EXPECT_EQ(hyperlinkFromFieldInstruction(QStringLiteral("HYPERLINK \"https://a.example/#top\" \\l \"x\"")),
              QStringLiteral("https://a.example/#top"));

    // Whatever address the writer writes comes back whole.
    const QString longAddress = QStringLiteral("https://example.org/") + QString(20'000, QLatin1Char('a'));
    RtfContent content;
    RtfRunStyle linked;
    linked.href = longAddress;
    content.paragraphs = {RtfParagraph{RtfAlignment::Unset, {RtfRun{QStringLiteral("long"), linked}}}};
    EXPECT_EQ(read(writeRtf(content, QStringLiteral("Sans"))).paragraphs[0].runs[0].style.href, longAddress);
}

TEST(RtfForeignForms, SystemFontIsWrittenAsAnAliasThatFollowsTheDesktop)
{
    RtfContent content;
    RtfRunStyle system;
    RtfRunStyle named;
    named.fontFamily = QStringLiteral("Serif Book");
    content.paragraphs = {RtfParagraph{RtfAlignment::Unset, {RtfRun{QStringLiteral("a"), system},
                                                              RtfRun{QStringLiteral("b"), named}}}};
    // Written where the system font was "Old Sans": a run in that family is a system-font run too.
    RtfRunStyle oldSystem;
    oldSystem.fontFamily = QStringLiteral("Old Sans");
    content.paragraphs[0].runs.append(RtfRun{QStringLiteral("c"), oldSystem});

    const QByteArray rtf = writeRtf(content, QStringLiteral("Old Sans"));
    EXPECT_TRUE(rtf.contains(kSystemFontAlias));
    EXPECT_TRUE(rtf.contains("{\\*\\falt Old Sans}")) << "other programs get a real name to fall back to";
    const RtfContent reread = read(rtf);
    ASSERT_EQ(reread.paragraphs[0].runs.size(), 3);
    EXPECT_EQ(reread.paragraphs[0].runs[0].style.fontFamily, QString());
    EXPECT_EQ(reread.paragraphs[0].runs[1].style.fontFamily, QStringLiteral("Serif Book"));
    EXPECT_EQ(reread.paragraphs[0].runs[2].style.fontFamily, QString());

    // Read into a document, the alias carries no family: the desktop's font of the day applies.
    std::unique_ptr<QTextDocument> loaded = editableAttributedString(rtf, QString());
    EXPECT_TRUE(runFont(charFormatAt(*loaded, 0)).family.isEmpty());
    EXPECT_TRUE(charFormatAt(*loaded, 0).fontFamilies().toStringList().isEmpty());
}

TEST(RtfForeignForms, RaisedHiddenAndDeletedTextAndSoftBreaks)
{
    const RtfContent shifted = read("{\\rtf1\\fs24 x\\super 2\\nosupersub  and H{\\sub 2}O}");
    EXPECT_EQ(shifted.plainText(), QStringLiteral("x2 and H2O"));
    const QList<RtfRun>& runs = shifted.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 5);
    EXPECT_EQ(runs[1].text, QStringLiteral("2"));
    EXPECT_GT(runs[1].style.baselineHalfPoints, 0);
    EXPECT_LT(runs[1].style.sizeHalfPoints, 24);
    EXPECT_EQ(runs[2].style.sizeHalfPoints, 24) << "the size comes back after the raise";
    EXPECT_EQ(runs[2].style.baselineHalfPoints, 0);
    EXPECT_LT(runs[3].style.baselineHalfPoints, 0);
    EXPECT_LT(runs[3].style.sizeHalfPoints, 24);
    EXPECT_EQ(runs[4].style, runs[0].style);

    EXPECT_EQ(read("{\\rtf1 shown{\\v  hidden}\\v  also hidden\\v0  shown {\\deleted gone}kept}").plainText(),
              QStringLiteral("shown shown kept"));
    EXPECT_EQ(read("{\\rtf1 a{\\v hidden\\par}b\\plain\\v x\\plain  c}").plainText(), QStringLiteral("ab c"));

    // A soft break stays inside its paragraph, in the reader and through a document.
    const RtfContent soft = read("{\\rtf1 first\\line second\\par third}");
    EXPECT_EQ(soft.paragraphs.size(), 2);
    EXPECT_EQ(soft.paragraphs[0].runs[0].text, QStringLiteral("first\u2028second"));
    auto text = makeRichTextDocument();
    QTextCursor(text.get()).insertText(QStringLiteral("one") + QChar(QChar::LineSeparator) + QStringLiteral("two"));
    std::unique_ptr<QTextDocument> back = editableAttributedString(makeRTFData(*text), QString());
    EXPECT_EQ(back->blockCount(), 1);
    EXPECT_EQ(back->begin().text(), QStringLiteral("one") + QChar(QChar::LineSeparator) + QStringLiteral("two"));
}

TEST(RtfForeignForms, ReaderSaysWhenItStoppedEarly)
{
    bool truncated = true;
    read("{\\rtf1 {\\b whole} body\\par {\\*\\bin3 abc} \\bin2 xy end}", &truncated);
    EXPECT_FALSE(truncated);

    QByteArray deep = "{\\rtf1 before ";
    deep += QByteArray(300, '{') + "lost" + QByteArray(300, '}') + " after}";
    EXPECT_EQ(read(deep, &truncated).plainText(), QStringLiteral("before  after"));
    EXPECT_TRUE(truncated) << "text in groups nested too deep is dropped";

    EXPECT_EQ(read("{\\rtf1 a\\bin99999 xyz}", &truncated).plainText(), QStringLiteral("a"));
    EXPECT_TRUE(truncated);

    RtfReaderLimits limits;
    limits.maxTextLength = 10;
    parseRtf("{\\rtf1 0123456789}", limits, &truncated);
    EXPECT_FALSE(truncated) << "exactly at the bound is whole";
    EXPECT_EQ(parseRtf("{\\rtf1 0123456789A}", limits, &truncated)->plainText(), QStringLiteral("0123456789"));
    EXPECT_TRUE(truncated);

    // What the editor reads from such a body says so as well.
    bool editTruncated = false;
    editableAttributedString(deep, QString(), &editTruncated);
    EXPECT_TRUE(editTruncated);
}

TEST(RtfForeignForms, NeutralAndDocumentPassesAgree)
{
    // Stored text read through the neutral form gets the same links and glyphs as the document
    // passes give the same text.
    const QString text = QStringLiteral("\u2610 call example.com/x today\n\u25CF chosen\u00A0www.site.org\n"
                                        "  \u2611 mail a@b.io, then https://x.io/a?b).\nnot \u2610 a glyph");
    auto direct = makeRichTextDocument();
    QTextCharFormat heading;
    heading.setFontPointSize(22);
    QTextCursor cursor(direct.get());
    cursor.insertText(text);
    cursor.setPosition(text.indexOf(QLatin1String("chosen")));
    cursor.setPosition(text.indexOf(QLatin1String("chosen")) + 6, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(heading);
    const QByteArray plainRtf = documentToRtf(*direct);

    runDisplayPass(*direct, QColor(Qt::blue));
    // Only the document pass can mark the links it found as found.
    transformRuns(*direct, 0, documentLength(*direct),
                  [](QTextCharFormat& format) { format.clearProperty(kDetectedLinkProperty); });
    std::unique_ptr<QTextDocument> viaContent = editableAttributedString(plainRtf, QString());
    normalizeTextColors(*viaContent, QColor(Qt::blue));
    EXPECT_EQ(documentToRtf(*direct), documentToRtf(*viaContent));
}

TEST(RtfForeignForms, DisplayPassIsOneEditOfTheDocument)
{
    auto document = makeRichTextDocument();
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("\u2610 item %1 at example%1.com and https://x.org/%1\n").arg(i);
    QTextCursor(document.get()).insertText(text);
    document->documentLayout();  // changes are announced to a layout
    int changes = 0;
    QObject::connect(document.get(), &QTextDocument::contentsChange, [&changes](int, int, int) { ++changes; });
    runDisplayPass(*document, QColor(Qt::blue));
    EXPECT_EQ(changes, 1) << "a layout per change made showing many links quadratic";
    changes = 0;
    runDisplayPass(*document, QColor(Qt::blue));
    EXPECT_EQ(changes, 0) << "a second pass finds nothing to change";
}
