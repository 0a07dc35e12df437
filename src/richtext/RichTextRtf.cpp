#include "richtext/RichTextRtf.h"

#include "richtext/RichTextFormat.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"

#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

RtfAlignment alignmentOf(const QTextBlockFormat& format)
{
    if (!format.hasProperty(QTextFormat::BlockAlignment))
        return RtfAlignment::Unset;
    const Qt::Alignment horizontal = format.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
    if (horizontal & Qt::AlignJustify)
        return RtfAlignment::Justify;
    if (horizontal & Qt::AlignHCenter)
        return RtfAlignment::Center;
    if (horizontal & Qt::AlignRight)
        return RtfAlignment::Right;
    return RtfAlignment::Left;
}

QTextBlockFormat blockFormatFor(RtfAlignment alignment)
{
    QTextBlockFormat format;
    switch (alignment) {
    case RtfAlignment::Unset: break;
    case RtfAlignment::Left: format.setAlignment(Qt::AlignLeft); break;
    case RtfAlignment::Center: format.setAlignment(Qt::AlignHCenter); break;
    case RtfAlignment::Right: format.setAlignment(Qt::AlignRight); break;
    case RtfAlignment::Justify: format.setAlignment(Qt::AlignJustify); break;
    }
    return format;
}

RtfRunStyle styleOf(const QTextCharFormat& format)
{
    const RunFont font = runFont(format);
    RtfRunStyle style;
    style.fontFamily = font.family;
    style.sizeHalfPoints = std::max(1, int(std::lround(font.pointSize * 2)));
    style.weight = font.weight;
    style.italic = font.italic;
    style.underline = isUnderlined(format);
    style.baselineHalfPoints = int(std::lround(format.baselineOffset() / 100.0 * font.pointSize * 2));
    if (hasLink(format))
        style.href = format.anchorHref();
    return style;
}

QTextCharFormat formatFor(const RtfRunStyle& style, const std::optional<QColor>& linkColor)
{
    QTextCharFormat format;
    RunFont font;
    font.family = style.fontFamily == richTextSystemFamily() ? QString() : style.fontFamily;
    font.pointSize = style.sizeHalfPoints / 2.0;
    font.weight = style.weight;
    font.italic = style.italic;
    setRunFont(format, font);
    if (style.underline)
        format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    if (style.baselineHalfPoints != 0)
        format.setBaselineOffset(style.baselineHalfPoints / 2.0 / font.pointSize * 100.0);
    if (!style.href.isEmpty()) {
        format.setAnchor(true);
        format.setAnchorHref(style.href);
        if (linkColor)
            format.setForeground(*linkColor);
    }
    return format;
}

} // namespace

std::unique_ptr<QTextDocument> makeRichTextDocument()
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(defaultRichTextFont());
    return document;
}

RtfContent contentFromDocument(const QTextDocument& document)
{
    RtfContent content;
    content.paragraphs.reserve(document.blockCount());
    // A document has few distinct formats and many fragments: each format is read once.
    QHash<int, RtfRunStyle> styles;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        RtfParagraph paragraph;
        paragraph.alignment = alignmentOf(block.blockFormat());
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.length() == 0)
                continue;
            auto known = styles.constFind(fragment.charFormatIndex());
            if (known == styles.constEnd())
                known = styles.insert(fragment.charFormatIndex(), styleOf(fragment.charFormat()));
            if (!paragraph.runs.isEmpty() && paragraph.runs.last().style == *known)
                paragraph.runs.last().text.append(fragment.text());
            else
                paragraph.runs.append(RtfRun{fragment.text(), *known});
        }
        content.paragraphs.append(std::move(paragraph));
    }
    return content;
}

void fillDocument(QTextDocument& document, const RtfContent& content, const std::optional<QColor>& linkColor)
{
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // Runs in one style share one format; building it once per style rather than per run keeps
    // long bodies of short runs cheap.
    const RtfRunStyle* lastStyle = nullptr;
    QTextCharFormat lastFormat;
    bool first = true;
    for (const RtfParagraph& paragraph : content.paragraphs) {
        const QTextBlockFormat blockFormat = blockFormatFor(paragraph.alignment);
        if (first)
            cursor.setBlockFormat(blockFormat);
        else
            cursor.insertBlock(blockFormat);
        first = false;
        for (const RtfRun& run : paragraph.runs) {
            if (run.text.isEmpty())
                continue;
            if (!lastStyle || !(*lastStyle == run.style)) {
                lastFormat = formatFor(run.style, linkColor);
                lastStyle = &run.style;
            }
            // Breaks inside a run would split blocks behind the content's back.
            const auto isBreak = [](QChar c) {
                return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator;
            };
            if (std::none_of(run.text.cbegin(), run.text.cend(), isBreak)) {
                cursor.insertText(run.text, lastFormat);
                continue;
            }
            QString text = run.text;
            std::replace_if(text.begin(), text.end(), isBreak, QLatin1Char(' '));
            cursor.insertText(text, lastFormat);
        }
    }
    cursor.endEditBlock();
}

QByteArray documentToRtf(const QTextDocument& document)
{
    return writeRtf(contentFromDocument(document), richTextSystemFamily());
}

std::unique_ptr<QTextDocument> documentFromRtf(const QByteArray& bytes)
{
    const std::optional<RtfContent> content = parseRtf(bytes);
    if (!content)
        return nullptr;
    auto document = makeRichTextDocument();
    fillDocument(*document, *content);
    return document;
}

} // namespace vesk
