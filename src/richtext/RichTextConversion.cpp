#include "richtext/RichTextConversion.h"

#include "richtext/FormatRuns.h"
#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace vesk {

namespace {

void normalizeColors(FormatRuns<QTextCharFormat>& runs, const std::optional<QColor>& linkColor)
{
    runs.transformAll([&linkColor](QTextCharFormat& format) {
        if (linkColor && hasLink(format))
            format.setForeground(*linkColor);
        else
            format.clearForeground();
        format.clearProperty(QTextFormat::TextUnderlineColor);
    });
}

} // namespace

void normalizeTextColors(QTextDocument& document, const std::optional<QColor>& linkColor)
{
    FormatRuns<QTextCharFormat> runs = documentFormatRuns(document);
    normalizeColors(runs, linkColor);
    applyFormatRuns(document, runs);
}

void prepareRichTextContent(RtfContent& content)
{
    FlatContent flat = flattenContent(content);
    content = RtfContent{};  // a long body is held once, not twice
    // Patterns see the text as documentText shows it: no-break spaces as spaces, soft line breaks
    // as line breaks.
    QString text = flat.text;
    if (text.contains(QChar::Nbsp) || text.contains(QChar::LineSeparator)) {
        text.replace(QChar::Nbsp, QLatin1Char(' '));
        text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    }
    detectLinks(flat.runs, text);
    styleChecklistGlyphs(flat.runs, text);
    text.clear();
    content = unflattenContent(flat);
}

std::optional<QByteArray> makeRTFData(RtfContent content, const QString& systemFamily)
{
    prepareRichTextContent(content);
    if (content.paragraphs.size() <= 1 && (content.paragraphs.isEmpty() || content.paragraphs.first().runs.isEmpty()))
        return std::nullopt;
    QByteArray rtf = writeRtf(content, systemFamily);
    if (rtf.isEmpty())
        return std::nullopt;
    return rtf;
}

std::optional<QByteArray> makeRTFData(const QTextDocument& document)
{
    if (documentLength(document) == 0)
        return std::nullopt;
    return makeRTFData(contentFromDocument(document), richTextSystemFamily());
}

std::unique_ptr<QTextDocument> editableAttributedString(const std::optional<QByteArray>& rtf,
                                                        const QString& fallback, bool* truncated)
{
    if (truncated)
        *truncated = false;
    if (rtf) {
        if (std::optional<RtfContent> content = parseRtf(*rtf, RtfReaderLimits{}, truncated)) {
            prepareRichTextContent(*content);
            auto document = makeRichTextDocument();
            fillDocument(*document, *content);
            return document;
        }
    }
    auto document = makeRichTextDocument();
    if (!fallback.isEmpty()) {
        QTextCharFormat format;
        setRunFont(format, RunFont{});
        QTextCursor cursor(document.get());
        cursor.insertText(fallback, format);
    }
    return document;
}

void runDisplayPass(QTextDocument& document, const QColor& linkColor, DisplayPassMode mode)
{
    if (documentLength(document) == 0)
        return;
    // Every step works on one copy of the formats; the document takes the result as one edit.
    FormatRuns<QTextCharFormat> runs = documentFormatRuns(document);
    const QString text = documentText(document);
    normalizeColors(runs, linkColor);
    if (mode == DisplayPassMode::Editing)
        refreshDetectedLinks(runs, text);
    else
        detectLinks(runs, text);
    styleChecklistGlyphs(runs, text);
    // Links found just now get the link colour too.
    runs.transformAll([&linkColor](QTextCharFormat& format) {
        if (hasLink(format))
            format.setForeground(linkColor);
    });
    applyFormatRuns(document, runs);
}

bool sameRichText(const QTextDocument& a, const QTextDocument& b)
{
    if (documentText(a) != documentText(b))
        return false;
    QTextBlock blockA = a.begin();
    QTextBlock blockB = b.begin();
    for (; blockA.isValid() && blockB.isValid(); blockA = blockA.next(), blockB = blockB.next()) {
        if (blockA.blockFormat() != blockB.blockFormat())
            return false;
    }
    if (blockA.isValid() != blockB.isValid())
        return false;
    const int length = documentLength(a);
    const QList<CharRun> runsA = charRuns(a, 0, length);
    const QList<CharRun> runsB = charRuns(b, 0, length);
    // Fragments may split differently; compare character by character over the run boundaries.
    int i = 0;
    int j = 0;
    int position = 0;
    while (i < runsA.size() && j < runsB.size()) {
        if (runsA[i].format != runsB[j].format)
            return false;
        const int end = std::min(runsA[i].end, runsB[j].end);
        position = end;
        if (runsA[i].end == position)
            ++i;
        if (runsB[j].end == position)
            ++j;
    }
    return i == runsA.size() && j == runsB.size();
}

} // namespace vesk
