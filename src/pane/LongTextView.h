#pragma once
// The scroll view of a long plain text in the preview pane. A text view lays out a paragraph
// whole, so a text of megabytes on one line would be laid out whole for its first screen and again
// for each piece that reached it. Here no paragraph is longer than kDisplayLineCharacters: a
// longer line is shown as several, each starting where the one before it stopped (after a space
// when there is one near), so that only what is in sight is ever laid out, a few thousand
// characters at a time. Those breaks are for display only: copying gives the text as it is.

#include "model/ItemText.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>

class QTimer;

namespace vesk {

class LongTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The longest paragraph the view lays out.
    static constexpr qsizetype kDisplayLineCharacters = 4096;
    // The view takes the text in pieces of this many UTF-8 bytes, one per turn of the event loop.
    static constexpr qsizetype kFillPieceBytes = 20'000;

    explicit LongTextView(const ItemText& text, QWidget* parent = nullptr);

    // Whether the whole text has been taken in.
    bool isFilled() const { return m_filledTo == m_utf8.size(); }
    // The text shown between the two positions of the document, as it was kept: the breaks
    // made for display are left out.
    QString textBetween(int from, int to) const;

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    void appendNextPiece();
    void append(QStringView piece);

    QByteArray m_utf8;
    qsizetype m_filledTo = 0;
    // Characters on the last display line so far.
    qsizetype m_lineLength = 0;
    QTimer* m_fill = nullptr;
    QElapsedTimer m_sinceLength;
};

} // namespace vesk
