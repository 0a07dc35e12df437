// The RTF reader and writer: round trips of everything we store, samples in the styles of common
// producers, and untrusted input that must neither crash nor run away.
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

using namespace vesk;

namespace {

RtfRun run(const QString& text, RtfRunStyle style = {})
{
    return RtfRun{text, style};
}

RtfRunStyle styled(int halfPoints, int weight = 400, bool italic = false, bool underline = false, int baseline = 0,
                   const QString& href = {}, const QString& family = {})
{
    RtfRunStyle style;
    style.sizeHalfPoints = halfPoints;
    style.weight = weight;
    style.italic = italic;
    style.underline = underline;
    style.baselineHalfPoints = baseline;
    style.href = href;
    style.fontFamily = family;
    return style;
}

RtfContent parsed(const QByteArray& rtf)
{
    const std::optional<RtfContent> content = parseRtf(rtf);
    EXPECT_TRUE(content.has_value()) << rtf.constData();
    return content.value_or(RtfContent{});
}

} // namespace

TEST(RtfCodec, EverySupportedAttributeSurvivesWriteReadWrite)
{
    RtfContent content;
    RtfParagraph heading{RtfAlignment::Center, {run(QStringLiteral("Plans"), styled(44, 600))}};
    RtfParagraph body{RtfAlignment::Left,
                      {run(QStringLiteral("bold "), styled(30, 700)), run(QStringLiteral("italic "), styled(30, 400, true)),
                       run(QStringLiteral("under "), styled(30, 400, false, true)),
                       run(QStringLiteral("raised "), styled(30, 400, false, false, 4)),
                       run(QStringLiteral("Serif"), styled(24, 400, false, false, 0, {}, QStringLiteral("Liberation Serif"))),
                       run(QStringLiteral("{braces} \\ tab\t caf\u00E9 \u65E5\u672C \U0001F600"), styled(30))}};
    RtfParagraph link{RtfAlignment::Right,
                      {run(QStringLiteral("see "), styled(30)),
                       run(QStringLiteral("the site"), styled(30, 400, false, true, 0, QStringLiteral("https://example.org/a?b=1")))}};
    RtfParagraph checklist{RtfAlignment::Unset,
                           {run(QStringLiteral("\u2611"), styled(36, 600, false, false, -2, QStringLiteral("vesk-check://toggle"))),
                            run(QStringLiteral(" done"), styled(30))}};
    RtfParagraph justified{RtfAlignment::Justify, {run(QStringLiteral("\u2022 one"), styled(30))}};
    content.paragraphs = {heading, body, link, checklist, justified, RtfParagraph{}};

    const QByteArray first = writeRtf(content, QStringLiteral("System Sans"));
    const RtfContent reread = parsed(first);
    EXPECT_EQ(reread.plainText(), content.plainText());
    ASSERT_EQ(reread.paragraphs.size(), content.paragraphs.size());
    for (qsizetype i = 0; i < content.paragraphs.size(); ++i) {
        EXPECT_EQ(reread.paragraphs[i].alignment, content.paragraphs[i].alignment) << i;
        ASSERT_EQ(reread.paragraphs[i].runs.size(), content.paragraphs[i].runs.size()) << i;
        for (qsizetype r = 0; r < content.paragraphs[i].runs.size(); ++r) {
            EXPECT_EQ(reread.paragraphs[i].runs[r].style, content.paragraphs[i].runs[r].style) << i << ":" << r;
        }
    }
    EXPECT_EQ(writeRtf(reread, QStringLiteral("System Sans")), first);
}

TEST(RtfCodec, DocumentRoundTripKeepsListsChecklistsAndLinks)
{
    auto document = makeRichTextDocument();
    QTextCursor cursor(document.get());
    cursor.insertText(QStringLiteral("\u2022 milk\n1. eggs\n\u2610 open\n\u2611 done\n\u25CB off\n\u25CF on\nwww.example.com"));
    styleChecklistGlyphs(*document);

    const std::optional<QByteArray> rtf = makeRTFData(*document);
    ASSERT_TRUE(rtf);
    EXPECT_TRUE(rtf->contains("HYPERLINK \"vesk-check://toggle\""));
    EXPECT_TRUE(rtf->contains("HYPERLINK \"https://www.example.com\""));

    std::unique_ptr<QTextDocument> reread = editableAttributedString(rtf, QString());
    EXPECT_EQ(documentText(*reread), documentText(*document));
    EXPECT_EQ(charFormatAt(*reread, documentText(*reread).indexOf(u'\u2611')).anchorHref(), "vesk-check://toggle");
    EXPECT_EQ(makeRTFData(*reread), rtf);
}

TEST(RtfCodec, ColoursAreNeverStoredAndComeBackAsTheThemeColour)
{
    auto document = makeRichTextDocument();
    QTextCharFormat red;
    red.setForeground(QColor(Qt::red));
    red.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    red.setUnderlineColor(QColor(Qt::blue));
    QTextCursor(document.get()).insertText(QStringLiteral("warm"), red);

    const std::optional<QByteArray> rtf = makeRTFData(*document);
    ASSERT_TRUE(rtf);
    EXPECT_FALSE(rtf->contains("colortbl"));
    EXPECT_FALSE(rtf->contains("\\cf"));
    EXPECT_TRUE(charFormatAt(*document, 0).hasProperty(QTextFormat::ForegroundBrush)) << "argument changed";

    // Clipboard RTF keeps its colours until it is loaded.
    const QByteArray foreign = "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1\\ul warm}";
    std::unique_ptr<QTextDocument> loaded = editableAttributedString(foreign, QString());
    const QTextCharFormat format = charFormatAt(*loaded, 0);
    EXPECT_FALSE(format.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(format.hasProperty(QTextFormat::TextUnderlineColor));
    EXPECT_TRUE(isUnderlined(format));
}

TEST(RtfCodec, EmptyTextHasNoStoredFormAndNonRtfFallsBackToPlainText)
{
    auto empty = makeRichTextDocument();
    EXPECT_FALSE(makeRTFData(*empty));

    auto one = makeRichTextDocument();
    QTextCursor(one.get()).insertText(QStringLiteral("x"));
    EXPECT_EQ(documentText(*editableAttributedString(makeRTFData(*one), {})), "x");

    for (const QByteArray& bytes : {QByteArray("just words"), QByteArray(""), QByteArray("{\\rt"), QByteArray("<html>")}) {
        std::unique_ptr<QTextDocument> fallback = editableAttributedString(bytes, QStringLiteral("plain note"));
        EXPECT_EQ(documentText(*fallback), "plain note");
        const RunFont font = runFont(charFormatAt(*fallback, 0));
        EXPECT_DOUBLE_EQ(font.pointSize, 15.0);
        EXPECT_EQ(font.weight, QFont::Normal);
    }
    EXPECT_EQ(documentText(*editableAttributedString(std::nullopt, QStringLiteral("none"))), "none");
}

TEST(RtfReader, WordProcessorStyleWithTablesStylesheetsAndCodePages)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
        "{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}{\\f1\\froman\\fcharset204 Times New Roman Cyr;}"
        "{\\f2\\fnil\\fcharset0 .AppleSystemUIFont;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green77\\blue187;}\r\n"
        "{\\stylesheet{\\s0\\snext0 Normal;}{\\s1\\sbasedon0 heading 1;}}\r\n"
        "{\\*\\generator Riched20 10.0.19041}{\\info{\\title Hidden title}{\\author Someone}}\r\n"
        "\\viewkind4\\uc1 \\pard\\sa200\\sl276\\slmult1\\qc\\f0\\fs44\\b Heading\\b0\\par\r\n"
        "\\pard\\ql\\fs22 Na\\'efve \\cf1 red\\cf0  and \\f1\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\f0\\par\r\n"
        "{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}}first\\par\r\n"
        "\\trowd\\cellx1000\\cellx2000 a\\cell b\\cell\\row\r\n"
        "{\\*\\shppict{\\pict\\pngblip\\picw10 89504e470d0a}}{\\nonshppict{\\pict\\wmetafile8 0100}}after\\par\r\n"
        "\\f2 sys\\f0 \\u8364?\\u-3913?\\par\r\n"
        "{\\footnote hidden note}\\emdash\\tab\\lquote q\\rquote\\~x\r\n}";
    const RtfContent content = parsed(rtf);
    EXPECT_EQ(content.plainText(),
              QStringLiteral("Heading\nNa\u00EFve red and \u041F\u0440\u0438\u0432\u0435\u0442\n1.\tfirst\na\tb\n"
                             "after\nsys\u20AC\uF0B7\n\u2014\t\u2018q\u2019\u00A0x"));
    EXPECT_EQ(content.paragraphs[0].alignment, RtfAlignment::Center);
    EXPECT_EQ(content.paragraphs[0].runs[0].style.weight, 700);
    EXPECT_EQ(content.paragraphs[0].runs[0].style.sizeHalfPoints, 44);
    EXPECT_EQ(content.paragraphs[0].runs[0].style.fontFamily, "Calibri");
    EXPECT_EQ(content.paragraphs[1].alignment, RtfAlignment::Left);
    EXPECT_EQ(content.paragraphs[5].runs[0].style.fontFamily, QString()) << "private system font names mean ours";
}

TEST(RtfReader, BrowserClipboardStyleFields)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\producerrtf2639\\producerscaling0"
        "{\\fonttbl\\f0\\fswiss\\fcharset0 Helvetica;\\f1\\fnil\\fcharset0 HelveticaNeue;}\n"
        "{\\colortbl;\\red255\\green255\\blue255;\\red0\\green0\\blue233;}\n"
        "{\\*\\expandedcolortbl;;\\cssrgb\\c0\\c0\\c93;}\n"
        "\\deftab720\\pard\\pardeftab720\\partightenfactor0\n"
        "\\f0\\fs24 \\cf0 Read {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/page?q=1\"}}"
        "{\\fldrslt \\cf2 \\ul \\ulc2 this article}}\\ulnone  or "
        "{\\field{\\*\\fldinst{HYPERLINK \\\\l \"anchor\"}}{\\fldrslt local}} and "
        "{\\field{\\fldinst {\\rtlch HYPERLINK  mailto:a@example.org }}{\\fldrslt {\\f1 mail}}}\\\n"
        "next line}";
    const RtfContent content = parsed(rtf);
    EXPECT_EQ(content.plainText(), "Read this article or local and mail\nnext line");
    ASSERT_EQ(content.paragraphs.size(), 2);
    const QList<RtfRun>& runs = content.paragraphs[0].runs;
    EXPECT_EQ(runs[0].style.fontFamily, "Helvetica");
    EXPECT_EQ(runs[1].text, "this article");
    EXPECT_EQ(runs[1].style.href, "https://example.org/page?q=1");
    EXPECT_TRUE(runs[1].style.underline);
    ASSERT_EQ(runs.size(), 4);
    EXPECT_EQ(runs[2].text, " or local and ") << "a bookmark-only field is not a link";
    EXPECT_TRUE(runs[2].style.href.isEmpty()) << "the link ends with its field";
    EXPECT_EQ(runs[3].style.href, "mailto:a@example.org");
    EXPECT_EQ(runs[3].style.fontFamily, "HelveticaNeue");
}

TEST(RtfReader, HyperlinkInstructions)
{
    EXPECT_EQ(hyperlinkFromFieldInstruction(" HYPERLINK \"https://a.example/x y\" "), "https://a.example/x y");
    EXPECT_EQ(hyperlinkFromFieldInstruction("hyperlink https://a.example \\o \"tip\""), "https://a.example");
    EXPECT_EQ(hyperlinkFromFieldInstruction("HYPERLINK \\l \"bookmark\""), "");
    EXPECT_EQ(hyperlinkFromFieldInstruction("PAGE \\* MERGEFORMAT"), "");
    EXPECT_EQ(hyperlinkFromFieldInstruction("HYPERLINK \"unterminated"), "unterminated");
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallbacksAndRepairSurrogates)
{
    EXPECT_EQ(parsed("{\\rtf1\\uc2 a\\u233 xxb}").plainText(), QStringLiteral("a\u00E9b"));
    EXPECT_EQ(parsed("{\\rtf1\\uc1 \\u233\\'e9 z}").plainText(), QStringLiteral("\u00E9 z"));
    EXPECT_EQ(parsed("{\\rtf1\\uc0 \\u-10179 \\u-8704 }").plainText(), QStringLiteral("\U0001F600"));
    EXPECT_EQ(parsed("{\\rtf1\\uc0 \\u-10179 x}").plainText(), QStringLiteral("\uFFFDx")) << "lone high surrogate";
    EXPECT_EQ(parsed("{\\rtf1\\uc0 \\u-8704 x}").plainText(), QStringLiteral("\uFFFDx")) << "lone low surrogate";
    EXPECT_EQ(parsed("{\\rtf1\\uc0 a\\u0 \\u7 b}").plainText(), "ab") << "control characters are dropped";
}

TEST(RtfReader, HostileInputStaysBounded)
{
    // Group nesting far beyond the limit.
    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " after}";
    EXPECT_EQ(parsed(deep).plainText(), " after");

    // A \bin length larger than the input skips to the end instead of past it.
    EXPECT_EQ(parsed("{\\rtf1 a\\bin999999999999 xyz}").plainText(), "a");
    EXPECT_EQ(parsed("{\\rtf1 a\\bin-5 b}").plainText(), "ab");

    // Output is cut at the limit rather than growing with the input.
    RtfReaderLimits limits;
    limits.maxTextLength = 1000;
    limits.maxParagraphs = 50;
    const QByteArray many = "{\\rtf1 " + QByteArray(5000, 'x') + "}";
    EXPECT_LE(parseRtf(many, limits)->plainText().size(), 1000);
    QByteArray pars = "{\\rtf1 ";
    for (int i = 0; i < 1000; ++i)
        pars += "p\\par ";
    EXPECT_LE(parseRtf(pars + "}", limits)->paragraphs.size(), 50);

    // A lone ignorable mark hides nothing outside its own group.
    EXPECT_EQ(parsed("{\\rtf1 {\\*}\\b kept {\\* x} too}").plainText(), "kept  x too");

    // Truncated input, stray braces and huge parameters.
    EXPECT_EQ(parsed("{\\rtf1 abc\\").plainText(), "abc");
    EXPECT_EQ(parsed("{\\rtf1 a}} trailing").plainText(), "a");
    EXPECT_EQ(parsed("{\\rtf1 \\fs99999999999999999999 big\\'z").plainText(), "bigz");
    EXPECT_EQ(parsed("{\\rtf1{\\fonttbl{\\f0 " + QByteArray(5000, 'N') + ";}}\\f0 t}").plainText(), "t");
}

TEST(RtfReader, FoundCrashersStayFixed)
{
    const QDir dir(QStringLiteral(VESK_RTF_CRASHERS));
    const QStringList files = dir.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const std::optional<RtfContent> content = parseRtf(file.readAll());
        if (!content)
            continue;
        // Written again, what was read reads back to the same bytes.
        const QByteArray first = writeRtf(*content, QStringLiteral("Sys"));
        const std::optional<RtfContent> again = parseRtf(first);
        ASSERT_TRUE(again) << name.toStdString();
        EXPECT_EQ(writeRtf(*again, QStringLiteral("Sys")), first) << name.toStdString();
    }
}

TEST(RtfWriter, FieldsCloseAndLastParagraphKeepsItsAlignment)
{
    RtfContent content;
    content.paragraphs = {RtfParagraph{RtfAlignment::Unset,
                                       {run("a", styled(24)), run("b", styled(24, 400, false, false, 0, "mailto:x@y.z")),
                                        run("c", styled(24))}},
                          RtfParagraph{RtfAlignment::Right, {}}};
    const QByteArray rtf = writeRtf(content, QStringLiteral("Sys"));
    const RtfContent reread = parsed(rtf);
    EXPECT_EQ(reread.plainText(), "abc\n");
    EXPECT_EQ(reread.paragraphs[0].runs.size(), 3) << "text after a link is outside it";
    EXPECT_TRUE(reread.paragraphs[0].runs[2].style.href.isEmpty());
    EXPECT_EQ(reread.paragraphs[1].alignment, RtfAlignment::Right);
}
