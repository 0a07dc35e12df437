#include "richtext/FormatRuns.h"

#include "richtext/RichTextLinks.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

namespace vesk {

FormatRuns<QTextCharFormat> documentFormatRuns(const QTextDocument& document)
{
    FormatRuns<QTextCharFormat> runs;
    runs.reserve(document.blockCount());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                runs.append(fragment.position(), fragment.position() + fragment.length(), fragment.charFormat());
        }
    }
    return runs;
}

namespace {

// The document's own formats, asked for at rising positions: one walk over its fragments.
class FragmentWalk {
public:
    explicit FragmentWalk(const QTextDocument& document) : m_block(document.begin())
    {
        if (m_block.isValid())
            m_fragment = m_block.begin();
    }

    // The format of the fragment holding the position; none when no fragment does.
    std::optional<QTextCharFormat> formatAt(int position)
    {
        while (m_block.isValid()) {
            for (; !m_fragment.atEnd(); ++m_fragment) {
                const QTextFragment fragment = m_fragment.fragment();
                if (position < fragment.position())
                    return std::nullopt;
                if (position < fragment.position() + fragment.length())
                    return fragment.charFormat();
            }
            m_block = m_block.next();
            if (m_block.isValid())
                m_fragment = m_block.begin();
        }
        return std::nullopt;
    }

private:
    QTextBlock m_block;
    QTextBlock::iterator m_fragment;
};

} // namespace

void applyFormatRuns(QTextDocument& document, const FormatRuns<QTextCharFormat>& formatRuns)
{
    const QList<FormatRun<QTextCharFormat>>& runs = formatRuns.runs();
    // A run whose steps took it back to what it was is left alone: a pass that finds everything
    // in place makes no edit at all.
    QList<bool> differs(runs.size(), false);
    FragmentWalk walk(document);
    for (qsizetype i = 0; i < runs.size(); ++i) {
        if (!runs[i].changed)
            continue;
        const std::optional<QTextCharFormat> original = walk.formatAt(runs[i].start);
        differs[i] = !original || !sameFormat(*original, runs[i].format);
    }

    QTextCursor cursor(&document);
    bool editing = false;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        if (!differs[i])
            continue;
        // Neighbours that end up alike are set together.
        qsizetype last = i;
        while (last + 1 < runs.size() && differs[last + 1] && runs[last + 1].start == runs[last].end
               && runs[last + 1].format == runs[i].format)
            ++last;
        if (!editing) {
            // One edit: the layout follows once, not once per run.
            cursor.beginEditBlock();
            editing = true;
        }
        cursor.setPosition(runs[i].start);
        cursor.setPosition(runs[last].end, QTextCursor::KeepAnchor);
        cursor.setCharFormat(runs[i].format);
        i = last;
    }
    if (editing)
        cursor.endEditBlock();
}

FlatContent flattenContent(const RtfContent& content)
{
    FlatContent flat;
    qsizetype length = content.paragraphs.size();
    qsizetype runCount = 0;
    for (const RtfParagraph& paragraph : content.paragraphs) {
        runCount += paragraph.runs.size();
        for (const RtfRun& run : paragraph.runs)
            length += run.text.size();
    }
    flat.text.reserve(length);
    flat.runs.reserve(runCount);
    flat.alignments.reserve(content.paragraphs.size());
    flat.paragraphStarts.reserve(content.paragraphs.size());
    for (qsizetype p = 0; p < content.paragraphs.size(); ++p) {
        if (p > 0)
            flat.text.append(QLatin1Char('\n'));
        const RtfParagraph& paragraph = content.paragraphs[p];
        flat.alignments.append(paragraph.alignment);
        flat.paragraphStarts.append(int(flat.text.size()));
        for (const RtfRun& run : paragraph.runs) {
            const int start = int(flat.text.size());
            flat.text.append(run.text);
            flat.runs.append(start, int(flat.text.size()), run.style);
        }
    }
    return flat;
}

RtfContent unflattenContent(const FlatContent& flat)
{
    RtfContent content;
    content.paragraphs.reserve(flat.paragraphStarts.size());
    const QList<FormatRun<RtfRunStyle>>& runs = flat.runs.runs();
    qsizetype r = 0;
    for (qsizetype p = 0; p < flat.paragraphStarts.size(); ++p) {
        const int end = p + 1 < flat.paragraphStarts.size() ? flat.paragraphStarts[p + 1] - 1 : int(flat.text.size());
        RtfParagraph paragraph{flat.alignments.value(p), {}};
        for (; r < runs.size() && runs[r].start < end; ++r) {
            const QStringView text = QStringView(flat.text).sliced(runs[r].start, runs[r].end - runs[r].start);
            if (!paragraph.runs.isEmpty() && paragraph.runs.last().style == runs[r].format)
                paragraph.runs.last().text.append(text);
            else
                paragraph.runs.append(RtfRun{text.toString(), runs[r].format});
        }
        content.paragraphs.append(std::move(paragraph));
    }
    return content;
}

bool sameFormat(const QTextCharFormat& a, const QTextCharFormat& b)
{
    return a == b || (a.propertyCount() == b.propertyCount() && a.properties() == b.properties());
}

bool formatHasLink(const QTextCharFormat& format)
{
    return hasLink(format);
}

bool formatHasLink(const RtfRunStyle& style)
{
    return !style.href.isEmpty();
}

QString formatHref(const QTextCharFormat& format)
{
    return format.anchorHref();
}

QString formatHref(const RtfRunStyle& style)
{
    return style.href;
}

void setDetectedLink(QTextCharFormat& format, const QString& href)
{
    if (hasLink(format))
        return;
    format.setAnchor(true);
    format.setAnchorHref(href);
    format.setProperty(kDetectedLinkProperty, true);
}

void setDetectedLink(RtfRunStyle& style, const QString& href)
{
    if (style.href.isEmpty())
        style.href = href;
}

void clearLink(QTextCharFormat& format)
{
    format.clearProperty(QTextFormat::IsAnchor);
    format.clearProperty(QTextFormat::AnchorHref);
}

void clearLink(RtfRunStyle& style)
{
    style.href.clear();
}

qreal formatPointSize(const QTextCharFormat& format)
{
    return format.fontPointSize();
}

qreal formatPointSize(const RtfRunStyle& style)
{
    return style.sizeHalfPoints / 2.0;
}

void setGlyphStyle(QTextCharFormat& format, qreal pointSize, const QString& href)
{
    format.setAnchor(true);
    format.setAnchorHref(href);
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.clearProperty(QTextFormat::FontUnderline);
    setRunFont(format, systemRunFont(pointSize, QFont::DemiBold, false));
    format.setBaselineOffset(-1.0 / pointSize * 100.0);
}

void setGlyphStyle(RtfRunStyle& style, qreal pointSize, const QString& href)
{
    style.fontFamily.clear();
    style.sizeHalfPoints = int(std::lround(pointSize * 2));
    style.weight = QFont::DemiBold;
    style.italic = false;
    style.underline = false;
    style.baselineHalfPoints = -2;  // one point down
    style.href = href;
}

void clearGlyphStyle(QTextCharFormat& format)
{
    clearLink(format);
    format.clearProperty(QTextFormat::TextBaselineOffset);
    setRunFont(format, RunFont{});
}

void clearGlyphStyle(RtfRunStyle& style)
{
    const RunFont body;
    style.fontFamily.clear();
    style.sizeHalfPoints = int(std::lround(body.pointSize * 2));
    style.weight = body.weight;
    style.italic = body.italic;
    style.baselineHalfPoints = 0;
    style.href.clear();
}

} // namespace vesk
