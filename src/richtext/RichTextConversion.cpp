#include "richtext/RichTextConversion.h"

#include "richtext/RichTextFormat.h"
#include "richtext/RichTextLinks.h"
#include "richtext/RichTextLists.h"
#include "richtext/RichTextRtf.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace vesk {

void normalizeTextColors(QTextDocument& document, const std::optional<QColor>& linkColor)
{
    transformRuns(document, 0, documentLength(document), [&linkColor](QTextCharFormat& format) {
        if (linkColor && hasLink(format))
            format.setForeground(*linkColor);
        else
            format.clearForeground();
        format.clearProperty(QTextFormat::TextUnderlineColor);
    });
}

std::optional<QByteArray> makeRTFData(const QTextDocument& document)
{
    if (documentLength(document) == 0)
        return std::nullopt;
    std::unique_ptr<QTextDocument> copy(document.clone());
    normalizeTextColors(*copy);
    detectLinks(*copy);
    styleChecklistGlyphs(*copy);
    QByteArray rtf = documentToRtf(*copy);
    if (rtf.isEmpty())
        return std::nullopt;
    return rtf;
}

std::unique_ptr<QTextDocument> editableAttributedString(const std::optional<QByteArray>& rtf,
                                                        const QString& fallback)
{
    if (rtf) {
        if (std::unique_ptr<QTextDocument> document = documentFromRtf(*rtf)) {
            if (documentLength(*document) > 0)
                normalizeTextColors(*document);
            detectLinks(*document);
            styleChecklistGlyphs(*document);
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
    if (documentLength(document) > 0)
        normalizeTextColors(document, linkColor);
    if (mode == DisplayPassMode::Editing)
        refreshDetectedLinks(document);
    else
        detectLinks(document);
    styleChecklistGlyphs(document);
    // Links found just now get the link colour too.
    transformRuns(document, 0, documentLength(document), [&linkColor](QTextCharFormat& format) {
        if (hasLink(format))
            format.setForeground(linkColor);
    });
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
