#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QTextLayout>
#include <limits>
#include <memory>
#include <vector>

class QPainter;
class QTextCharFormat;

namespace vesk {

// A plain text wrapped at one width, one text layout per paragraph, its lines placed where a plain
// text document with no margin places them: a line's height rounded up to the next pixel, right to
// left paragraphs set against the right edge. Positions run over the whole text as in a document:
// each paragraph ends in one position for its break.
//
// Shaping is most of what showing a long note costs, and most of a long note is out of sight: the
// paragraphs are laid out from the top down as far as they are first needed, those below counted
// at a height estimated from their length until they are laid out too. Whatever asks about a place
// in the text (drawing, a point, a position) lays out the paragraphs down to it first, so that the
// lines laid out never move and only the height of the whole changes as the rest follows.
class WrappedLines {
public:
    // The paragraphs a plain text document makes of the text: "\r\n", "\r", "\n" and the
    // paragraph separator each end one.
    static QStringList paragraphsOf(const QString& text);

    // Takes the paragraphs to wrap at width, and shapes and wraps those that begin above y
    // through (all of them unless told).
    void layOut(const QStringList& paragraphs, const QFont& font, int width,
        qreal through = std::numeric_limits<qreal>::max());
    // Lays out the paragraphs that begin above y; true when that changed the height.
    bool layOutThrough(qreal y) const;
    bool isLaidOut() const { return m_laidOut == m_paragraphs.size(); }
    // Down to the bottom of the last paragraph laid out.
    qreal laidOutHeight() const;
    // Keeps the first maxLines lines only, the last one cut short and ended in "…" when text is
    // left out; true when it did.
    bool elide(int maxLines);

    bool isEmpty() const { return m_paragraphs.empty(); }
    int width() const { return m_width; }
    // Down to the bottom of the last line, or of line maxLines when that comes first; the
    // paragraphs not laid out yet count at their estimated height.
    qreal height(int maxLines = 0) const;
    int lineCount() const;
    // The paragraphs joined by "\n".
    QString text() const;
    // The last position (after the last character).
    int length() const;

    // The position nearest to point.
    int positionAt(const QPointF& point) const;
    // The text from one position to the other, paragraph breaks and line separators as "\n".
    QString textBetween(int from, int to) const;

    // The word (or run of spaces) around position, as [first, second).
    std::pair<int, int> wordAround(int position) const;
    // The paragraph holding position, with its break when another follows.
    std::pair<int, int> paragraphAround(int position) const;
    int lineStart(int position) const;
    int lineEnd(int position) const;
    // The position one character to the left or right on screen, or one word back or forward.
    int leftOf(int position) const;
    int rightOf(int position) const;
    int wordBefore(int position) const;
    int wordAfter(int position) const;
    // Where position is drawn across, and the position at x on the line above or below (or the
    // first or last position when there is none).
    qreal xOf(int position) const;
    int onLineAbove(int position, qreal x) const;
    int onLineBelow(int position, qreal x) const;
    // Where a cursor at position is drawn, with a pixel to spare on each side.
    QRectF cursorRect(int position) const;

    // Draws the lines that meet clip, those between selectionStart and selectionEnd in
    // selectionFormat, and a cursor at cursor when it is not negative.
    void draw(QPainter* painter, const QRectF& clip, int selectionStart, int selectionEnd,
        const QTextCharFormat& selectionFormat, int cursor) const;

private:
    struct Paragraph {
        QString text;
        // None until the paragraph is laid out.
        std::unique_ptr<QTextLayout> layout;
        int start = 0;
        // Exact once laid out, estimated before.
        qreal height = 0;
    };

    // Shapes and wraps the next paragraph not laid out, under the last one that is.
    void layOutNext() const;
    // Lays out the paragraphs up to paragraph p and returns its layout.
    const QTextLayout* laidOut(std::size_t p) const;
    // A paragraph's height before it is laid out: its length at the width of the characters
    // laid out so far, in lines of their height.
    qreal estimatedHeight(const QString& text) const;
    int paragraphAt(int position) const;
    // The paragraph at y, laying out those down to it.
    int paragraphAtY(qreal y) const;
    // The paragraph and its line holding position (at a wrap, the line it starts).
    std::pair<int, int> lineOf(int position) const;

    // Laid out as first needed, also when the lines are only read.
    mutable std::vector<Paragraph> m_paragraphs;
    mutable std::size_t m_laidOut = 0;
    // The estimated height of the paragraphs not laid out.
    mutable qreal m_estimated = 0;
    QFont m_font;
    int m_width = -1;
    // What the estimates go by.
    qreal m_characterWidth = 0;
    qreal m_lineHeight = 0;
};

} // namespace vesk
