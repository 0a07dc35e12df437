#pragma once
// The scroll view of a long plain text in the preview pane. A text document holds its whole text
// in one buffer that grows as pieces are added, and lays out a paragraph whole: a text of
// megabytes made it copy its buffer over and over while it filled, and lay out megabytes for a
// line that was never seen. Here the text stays in the item's own UTF-8 bytes; the view keeps
// only where each display line starts, and lays out just the lines in sight.
//
// No display line is longer than kDisplayLineBytes: a longer line of the text is shown as
// several, each starting where the one before it stopped (after a space when there is one near).
// Those breaks are for display only: a selection is a range of the text's own bytes, so copying
// gives the text as it is.

#include "model/ItemText.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <unordered_map>

class QTextLayout;
class QTimer;

namespace vesk {

class LongTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The longest display line, in bytes of UTF-8 (so at most as many characters).
    static constexpr qsizetype kDisplayLineBytes = 4096;
    // The lines are found in pieces of this many bytes of the text, one per turn of the event loop.
    static constexpr qsizetype kIndexPieceBytes = 256 * 1024;

    explicit LongTextView(const ItemText& text, QWidget* parent = nullptr);
    ~LongTextView() override;

    // Whether every line of the text has been found.
    bool isFilled() const { return m_indexedTo == m_utf8.size(); }
    qsizetype lineCount() const { return qsizetype(m_lineStarts.size()); }
    // The text a display line shows, without the line break that ends it.
    QString lineText(qsizetype line) const;
    // The display line shown at a point of the viewport: the last one below the text's end.
    qsizetype lineAt(QPoint point);
    // The characters in the lines laid out now.
    qsizetype laidOutCharacters() const;

    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    void selectAll();
    void copy() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Laid {
        std::unique_ptr<QTextLayout> layout;
        qreal height = 0;
        quint64 usedAt = 0;
    };

    void indexNextPiece();
    qsizetype lineEnd(qsizetype line) const;
    Laid& laid(qsizetype line);
    qreal heightOf(qsizetype line) { return laid(line).height; }
    void forgetLayouts();
    void forgetUnusedLayouts();

    // Where the view stands when it shows the end of the text.
    void findEnd();
    void scrollByPixels(qreal dy);
    void scrollToLine(qsizetype line);
    void scrollToEnd();
    int scrollValue() const;
    void updateScrollBar();
    void onScrollAction(int action);

    // The byte of the text at a point of the viewport.
    qsizetype byteAt(QPoint point);
    // UTF-16 units in the bytes [from, to), and the bytes of the first units from a position.
    qsizetype unitsBetween(qsizetype from, qsizetype to) const;
    qsizetype bytesFor(qsizetype from, qsizetype units) const;
    void selectWordAt(QPoint point);
    void selectTextLineAt(QPoint point);
    void offerSelection() const;

    QByteArray m_utf8;
    // A deque, not a vector: a text of millions of short lines never has its whole index copied
    // to grow it.
    std::deque<qsizetype> m_lineStarts;
    qsizetype m_indexedTo = 0;
    QTimer* m_fill = nullptr;
    QElapsedTimer m_sinceLength;

    std::unordered_map<qsizetype, Laid> m_laid;
    quint64 m_paints = 0;
    qreal m_layoutWidth = 0;

    // The display line at the top of the view and how far into it the view starts.
    qsizetype m_top = 0;
    qreal m_topY = 0;
    bool m_atEnd = false;
    qsizetype m_endTop = 0;
    qreal m_endTopY = 0;
    // Whether the last paint ran out of lines above the viewport's bottom.
    bool m_paintedAll = false;

    // The selection, in bytes of the text: from the anchor to the cursor.
    qsizetype m_anchor = 0;
    qsizetype m_cursor = 0;
    bool m_selecting = false;
    // For the third click of a triple click.
    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickPoint;
};

} // namespace vesk
