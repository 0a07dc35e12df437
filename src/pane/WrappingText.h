#pragma once

#include "pane/WrappedLines.h"

#include <QBasicTimer>
#include <QWidget>
#include <array>

class QMenu;

namespace vesk {

// Selectable plain text that wraps at word boundaries, and inside a word too long for a line, so
// a long address or token never widens the pane. It is as tall as its wrapped text, or as
// `maxLines` lines when that is less; wheel turns go to the pane, which does the scrolling.
// The text can be selected with the mouse (a word on a double click, a paragraph on a triple
// one) and, once focused, with the keyboard, and copied.
class WrappingText : public QWidget {
    Q_OBJECT
public:
    WrappingText(const QString& text, const QFont& font, const QColor& colour, int maxLines = 0,
        QWidget* parent = nullptr);

    // The whole text, also when its shown lines end in "…".
    QString text() const { return m_fullText; }
    void setText(const QString& text);
    // The text as shown: whole, or cut after the last line allowed and ended in "…".
    QString toPlainText() const;
    QString selectedText() const;
    void selectAll();
    // Puts the selected text on the clipboard.
    void copy() const;
    // The Copy and Select All menu the text offers on a right click.
    QMenu* createStandardContextMenu(QWidget* parent = nullptr);
    // A label's text is not selectable: it takes neither the keys nor the mouse, which go on to
    // what lies under it (a tile, a row that opens something).
    void setSelectable(bool selectable);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // How a mouse drag grows the selection: by characters, or by the whole words or paragraphs
    // a double or triple click started with.
    enum class DragUnit { Character, Word, Paragraph };

    // Lays the text out at the widget's width, cut after its last allowed line, unless it is.
    void layOutShown();
    // The height of the widget's window, or of the screen before the window has a size: no more
    // of the text than that is in sight at once.
    int windowHeight() const;
    // How far down the lines can be in sight as the widget stands: to the bottom of its window.
    // The lines below are laid out as the pane is scrolled towards them, a window's height ahead
    // of those in sight, and the height of the text is estimated until then.
    qreal firstScreen() const;
    // The text laid out whole at width, on the spare lines.
    const WrappedLines& measured(int width) const;
    // The width the box layouts between it and its nearest placed ancestor will give it, for
    // a widget not placed yet; 0 when no ancestor is placed.
    int placedWidth() const;
    // Takes the height of the text laid out at the widget's width.
    void fitHeight();
    // Forgets the heights and lines laid out for another text or font.
    void forgetMeasurements();

    void setSelection(int anchor, int position);
    // Moves the cursor to the point dragged to, growing the selection by the drag's unit.
    void dragTo(const QPointF& point);
    // Shows the cursor at once and starts its blinking anew.
    void restartBlinking();
    // The selection also goes to the system's selection clipboard, where there is one.
    void offerSelection() const;

    QString m_fullText;
    QStringList m_paragraphs;
    int m_maxLines;
    // What is shown, laid out at the widget's width.
    WrappedLines m_shown;
    // The pane's layout asks for the same few widths over and over (with and without its scroll
    // bar, before and after the widget has its place): each is laid out once per text. The
    // lines of the last one measured are kept, to be shown when the widget takes that width.
    struct Measured {
        int width = -1;
        int height = 0;
    };
    mutable std::array<Measured, 4> m_measured;
    mutable int m_nextMeasured = 0;
    mutable WrappedLines m_spare;

    int m_anchor = 0;
    int m_position = 0;
    // The x the cursor keeps as it goes up and down lines; negative until it does.
    qreal m_lineX = -1;
    bool m_selecting = false;
    DragUnit m_dragUnit = DragUnit::Character;
    // The word or paragraph the drag began with.
    std::pair<int, int> m_dragStart{0, 0};
    // A press on the selection, which a move turns into dragging its text out.
    bool m_mightDragOut = false;
    QPointF m_dragOutFrom;
    QBasicTimer m_tripleClick;
    QPointF m_doubleClickPoint;
    QBasicTimer m_blink;
    bool m_cursorOn = false;
    // Takes the height of the lines that painting laid out, once the paint is over.
    QBasicTimer m_fitLater;
};

} // namespace vesk
