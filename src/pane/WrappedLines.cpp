#include "pane/WrappedLines.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextCharFormat>
#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

// Wrapped at word boundaries, and inside a word too long for a line; a paragraph written right to
// left starts at the right edge, as a document sets it.
QTextOption optionFor(const QString& paragraph)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const bool rightToLeft = paragraph.isRightToLeft();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(Qt::AlignAbsolute | (rightToLeft ? Qt::AlignRight : Qt::AlignLeft));
    return option;
}

// The punctuation that text cursors stop at between words.
bool isWordSeparator(QChar c)
{
    static const QString separators = QStringLiteral(".,?!@#$:;-<>[](){}=/+%&^*'\"`~|\\");
    return separators.contains(c);
}

} // namespace

QStringList WrappedLines::paragraphsOf(const QString& text)
{
    QStringList paragraphs;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QChar::ParagraphSeparator)
            continue;
        paragraphs.append(text.mid(from, i - from));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        from = i + 1;
    }
    paragraphs.append(text.mid(from));
    return paragraphs;
}

void WrappedLines::layOut(const QStringList& paragraphs, const QFont& font, int width, qreal through)
{
    m_paragraphs.clear();
    m_paragraphs.reserve(std::size_t(paragraphs.size()));
    m_laidOut = 0;
    m_estimated = 0;
    m_font = font;
    m_width = width;
    int start = 0;
    for (const QString& text : paragraphs) {
        Paragraph paragraph;
        paragraph.text = text;
        paragraph.start = start;
        start += int(text.size()) + 1;
        m_paragraphs.push_back(std::move(paragraph));
    }
    while (m_laidOut < m_paragraphs.size() && laidOutHeight() <= through)
        layOutNext();
    if (isLaidOut())
        return;

    // The characters laid out tell how wide the rest are, better than the font's average can.
    const QFontMetricsF metrics(font);
    m_characterWidth = metrics.averageCharWidth();
    m_lineHeight = std::ceil(metrics.ascent() + metrics.descent() + std::max<qreal>(0, metrics.leading()));
    qreal across = 0;
    int characters = 0;
    for (std::size_t p = 0; p < m_laidOut; ++p) {
        const QTextLayout* layout = m_paragraphs[p].layout.get();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            across += line.naturalTextWidth();
            characters += line.textLength();
        }
        if (layout->lineCount() > 0)
            m_lineHeight = layout->lineAt(0).height();
    }
    if (characters > 0 && across > 0)
        m_characterWidth = across / characters;
    for (std::size_t p = m_laidOut; p < m_paragraphs.size(); ++p) {
        m_paragraphs[p].height = estimatedHeight(m_paragraphs[p].text);
        m_estimated += m_paragraphs[p].height;
    }
}

qreal WrappedLines::estimatedHeight(const QString& text) const
{
    // Rounded down: wrapping at words leaves room at the ends of lines, so the lines laid out
    // mostly come to as many or more, and the height grows rather than shrinks as the rest is
    // laid out.
    const qreal lineWidth = std::max(1, m_width);
    const qreal lines = std::floor(qreal(text.size()) * m_characterWidth / lineWidth) + 1;
    return lines * m_lineHeight;
}

qreal WrappedLines::laidOutHeight() const
{
    if (m_laidOut == 0)
        return 0;
    const Paragraph& last = m_paragraphs[m_laidOut - 1];
    return last.layout->position().y() + last.height;
}

void WrappedLines::layOutNext() const
{
    Paragraph& paragraph = m_paragraphs[m_laidOut];
    const qreal top = laidOutHeight();
    paragraph.layout = std::make_unique<QTextLayout>(paragraph.text, m_font);
    QTextLayout* layout = paragraph.layout.get();
    layout->setTextOption(optionFor(paragraph.text));
    // Keeps the shaped glyphs: the text is painted again as the pane fills in around it.
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max(1, m_width));
        line.setPosition(QPointF(0, y));
        // Whole pixels, as a document steps from line to line.
        y += line.height();
    }
    layout->endLayout();
    layout->setPosition(QPointF(0, top));
    // Its estimate gives way to its height.
    m_estimated -= paragraph.height;
    paragraph.height = y;
    ++m_laidOut;
    if (isLaidOut())
        m_estimated = 0;
}

bool WrappedLines::layOutThrough(qreal y) const
{
    const qreal before = height();
    while (m_laidOut < m_paragraphs.size() && laidOutHeight() <= y)
        layOutNext();
    return height() != before;
}

const QTextLayout* WrappedLines::laidOut(std::size_t p) const
{
    while (m_laidOut <= p)
        layOutNext();
    return m_paragraphs[p].layout.get();
}

bool WrappedLines::elide(int maxLines)
{
    if (maxLines <= 0)
        return false;
    int lines = 0;
    for (std::size_t p = 0; p < m_paragraphs.size(); ++p) {
        const QTextLayout* layout = laidOut(p);
        const int count = layout->lineCount();
        const bool moreAfter = p + 1 < m_paragraphs.size();
        if (lines + count < maxLines || (lines + count == maxLines && !moreAfter)) {
            lines += count;
            continue;
        }
        // This paragraph holds the last line allowed: the rest of the text gives way to "…".
        const QString& paragraph = m_paragraphs[p].text;
        const QTextLine last = layout->lineAt(maxLines - lines - 1);
        const qreal lineWidth = std::max(1, m_width);
        const QString rest = paragraph.mid(last.textStart()).trimmed() + QStringLiteral(" \u2026");
        const QString shown = paragraph.left(last.textStart())
            + QFontMetricsF(m_font).elidedText(rest, Qt::ElideRight, lineWidth - 1);
        m_paragraphs.erase(m_paragraphs.begin() + qsizetype(p), m_paragraphs.end());
        m_laidOut = p;
        m_estimated = 0;
        Paragraph cut;
        cut.text = shown;
        cut.start = p == 0 ? 0 : m_paragraphs[p - 1].start + int(m_paragraphs[p - 1].text.size()) + 1;
        m_paragraphs.push_back(std::move(cut));
        layOutNext();
        return true;
    }
    return false;
}

qreal WrappedLines::height(int maxLines) const
{
    if (m_paragraphs.empty())
        return 0;
    const qreal whole = laidOutHeight() + m_estimated;
    if (maxLines <= 0)
        return whole;
    int lines = 0;
    for (std::size_t p = 0; p < m_paragraphs.size(); ++p) {
        const QTextLayout* layout = laidOut(p);
        if (lines + layout->lineCount() >= maxLines) {
            // Down to the bottom of the last line allowed, so no part of the next one shows.
            const QTextLine line = layout->lineAt(maxLines - lines - 1);
            return std::min(laidOutHeight() + m_estimated, layout->position().y() + line.rect().bottom());
        }
        lines += layout->lineCount();
    }
    return laidOutHeight();
}

int WrappedLines::lineCount() const
{
    int lines = 0;
    for (std::size_t p = 0; p < m_paragraphs.size(); ++p)
        lines += laidOut(p)->lineCount();
    return lines;
}

QString WrappedLines::text() const
{
    QString text;
    for (const Paragraph& paragraph : m_paragraphs) {
        if (paragraph.start > 0)
            text += QLatin1Char('\n');
        text += paragraph.text;
    }
    return text;
}

int WrappedLines::length() const
{
    if (m_paragraphs.empty())
        return 0;
    return m_paragraphs.back().start + int(m_paragraphs.back().text.size());
}

int WrappedLines::paragraphAt(int position) const
{
    const auto after = std::upper_bound(m_paragraphs.begin(), m_paragraphs.end(), position,
        [](int at, const Paragraph& paragraph) { return at < paragraph.start; });
    return std::max(0, int(after - m_paragraphs.begin()) - 1);
}

int WrappedLines::paragraphAtY(qreal y) const
{
    layOutThrough(y);
    const auto laid = m_paragraphs.begin() + qsizetype(m_laidOut);
    const auto below = std::upper_bound(m_paragraphs.begin(), laid, y,
        [](qreal at, const Paragraph& paragraph) { return at < paragraph.layout->position().y(); });
    return std::max(0, int(below - m_paragraphs.begin()) - 1);
}

std::pair<int, int> WrappedLines::lineOf(int position) const
{
    const int p = paragraphAt(position);
    const QTextLayout* layout = laidOut(std::size_t(p));
    const int offset = position - m_paragraphs[std::size_t(p)].start;
    const QTextLine line = layout->lineForTextPosition(offset);
    return {p, line.isValid() ? line.lineNumber() : layout->lineCount() - 1};
}

int WrappedLines::positionAt(const QPointF& point) const
{
    if (m_paragraphs.empty())
        return 0;
    const Paragraph& paragraph = m_paragraphs[std::size_t(paragraphAtY(point.y()))];
    const QTextLayout* layout = paragraph.layout.get();
    const QPointF inside = point - layout->position();
    int i = 0;
    while (i + 1 < layout->lineCount() && inside.y() >= layout->lineAt(i).y() + layout->lineAt(i).height())
        ++i;
    return paragraph.start + layout->lineAt(i).xToCursor(inside.x());
}

QString WrappedLines::textBetween(int from, int to) const
{
    if (from > to)
        std::swap(from, to);
    QString text;
    for (const Paragraph& paragraph : m_paragraphs) {
        const QString& own = paragraph.text;
        const int end = paragraph.start + int(own.size());
        if (end < from || paragraph.start > to)
            continue;
        const int first = std::max(from, paragraph.start);
        text += own.mid(first - paragraph.start, std::min(to, end) - first);
        if (to > end)
            text += QLatin1Char('\n');
    }
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

std::pair<int, int> WrappedLines::wordAround(int position) const
{
    if (m_paragraphs.empty())
        return {0, 0};
    const std::size_t p = std::size_t(paragraphAt(position));
    const Paragraph& paragraph = m_paragraphs[p];
    const QTextLayout* layout = laidOut(p);
    const QString& text = paragraph.text;
    const int length = int(text.size());
    int first = position - paragraph.start;
    // Back to the start of the word the position is in or just after, as text cursors go.
    if (first > 0 && !(first == length && (text.at(first - 1).isSpace() || isWordSeparator(text.at(first - 1)))))
        first = layout->previousCursorPosition(first < length ? first + 1 : first, QTextLayout::SkipWords);
    // On to its end: a run of punctuation is a word of its own.
    int last = first;
    if (last < length && isWordSeparator(text.at(last))) {
        while (last < length && isWordSeparator(text.at(last)))
            ++last;
    } else {
        while (last < length && !text.at(last).isSpace() && !isWordSeparator(text.at(last)))
            ++last;
    }
    return {paragraph.start + first, paragraph.start + last};
}

std::pair<int, int> WrappedLines::paragraphAround(int position) const
{
    if (m_paragraphs.empty())
        return {0, 0};
    const std::size_t p = std::size_t(paragraphAt(position));
    const Paragraph& paragraph = m_paragraphs[p];
    const int end = paragraph.start + int(paragraph.text.size());
    return {paragraph.start, p + 1 < m_paragraphs.size() ? end + 1 : end};
}

int WrappedLines::lineStart(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const auto [p, i] = lineOf(position);
    const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
    return paragraph.start + paragraph.layout->lineAt(i).textStart();
}

int WrappedLines::lineEnd(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const auto [p, i] = lineOf(position);
    const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
    const QTextLine line = paragraph.layout->lineAt(i);
    int end = line.textStart() + line.textLength();
    // A wrapped line ends before the space it broke at.
    if (i + 1 < paragraph.layout->lineCount() && line.textLength() > 0 && paragraph.text.at(end - 1).isSpace())
        --end;
    return paragraph.start + end;
}

int WrappedLines::leftOf(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const std::size_t p = std::size_t(paragraphAt(position));
    const int start = m_paragraphs[p].start;
    const int moved = laidOut(p)->leftCursorPosition(position - start) + start;
    return moved != position ? moved : std::max(0, position - 1);
}

int WrappedLines::rightOf(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const std::size_t p = std::size_t(paragraphAt(position));
    const int start = m_paragraphs[p].start;
    const int moved = laidOut(p)->rightCursorPosition(position - start) + start;
    return moved != position ? moved : std::min(length(), position + 1);
}

int WrappedLines::wordBefore(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const std::size_t p = std::size_t(paragraphAt(position));
    const int start = m_paragraphs[p].start;
    if (position == start)
        return std::max(0, position - 1);
    return start + laidOut(p)->previousCursorPosition(position - start, QTextLayout::SkipWords);
}

int WrappedLines::wordAfter(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const std::size_t p = std::size_t(paragraphAt(position));
    const int start = m_paragraphs[p].start;
    if (position == start + int(m_paragraphs[p].text.size()))
        return std::min(length(), position + 1);
    return start + laidOut(p)->nextCursorPosition(position - start, QTextLayout::SkipWords);
}

qreal WrappedLines::xOf(int position) const
{
    if (m_paragraphs.empty())
        return 0;
    const auto [p, i] = lineOf(position);
    const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
    return paragraph.layout->lineAt(i).cursorToX(position - paragraph.start);
}

int WrappedLines::onLineAbove(int position, qreal x) const
{
    if (m_paragraphs.empty())
        return 0;
    const auto [p, i] = lineOf(position);
    if (i > 0) {
        const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
        return paragraph.start + paragraph.layout->lineAt(i - 1).xToCursor(x);
    }
    if (p == 0)
        return position;
    const Paragraph& above = m_paragraphs[std::size_t(p - 1)];
    return above.start + above.layout->lineAt(above.layout->lineCount() - 1).xToCursor(x);
}

int WrappedLines::onLineBelow(int position, qreal x) const
{
    if (m_paragraphs.empty())
        return 0;
    const auto [p, i] = lineOf(position);
    const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
    if (i + 1 < paragraph.layout->lineCount())
        return paragraph.start + paragraph.layout->lineAt(i + 1).xToCursor(x);
    if (std::size_t(p) + 1 == m_paragraphs.size())
        return position;
    const Paragraph& below = m_paragraphs[std::size_t(p) + 1];
    return below.start + laidOut(std::size_t(p) + 1)->lineAt(0).xToCursor(x);
}

QRectF WrappedLines::cursorRect(int position) const
{
    if (m_paragraphs.empty())
        return {};
    const auto [p, i] = lineOf(position);
    const Paragraph& paragraph = m_paragraphs[std::size_t(p)];
    const QTextLine line = paragraph.layout->lineAt(i);
    const QPointF at = paragraph.layout->position() + QPointF(line.cursorToX(position - paragraph.start), line.y());
    return {at.x() - 2, at.y(), 5, line.height()};
}

void WrappedLines::draw(QPainter* painter, const QRectF& clip, int selectionStart, int selectionEnd,
    const QTextCharFormat& selectionFormat, int cursor) const
{
    layOutThrough(clip.bottom());
    for (std::size_t p = 0; p < m_laidOut; ++p) {
        const Paragraph& paragraph = m_paragraphs[p];
        const QTextLayout* layout = paragraph.layout.get();
        const qreal top = layout->position().y();
        if (top > clip.bottom())
            break;
        if (top + paragraph.height < clip.top())
            continue;
        // The paragraph's break counts as one more position: a selection that goes on past it
        // shows a little past the paragraph's end, as in a document.
        const int length = int(paragraph.text.size()) + 1;
        const int from = selectionStart - paragraph.start;
        const int to = selectionEnd - paragraph.start;
        QList<QTextLayout::FormatRange> selections;
        if (from < length && to > 0 && to > from)
            selections.append({from, to - from, selectionFormat});
        layout->draw(painter, QPointF(), selections, clip);
        if (cursor >= paragraph.start && cursor < paragraph.start + length)
            layout->drawCursor(painter, QPointF(), cursor - paragraph.start, 1);
    }
}

} // namespace vesk
