#include "pane/LongTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace vesk {

namespace {

// The state of a block that goes on with the line of the block before it.
constexpr int kContinuesLine = 1;
// How far back from a display line's limit a space is looked for to end it at.
constexpr qsizetype kSpaceReach = 200;

// The end of the piece of UTF-8 that starts at byte from: at a line break when there is one in
// it, so that no line is split between two pieces, and never inside a character.
qsizetype pieceEnd(const QByteArray& utf8, qsizetype from)
{
    const qsizetype end = std::min(utf8.size(), from + LongTextView::kFillPieceBytes);
    if (end == utf8.size())
        return end;
    // Only this piece is searched: a text with no break at all is not read again for each piece.
    const char* first = utf8.constData() + from;
    const char* last = utf8.constData() + end;
    const auto lineBreak = std::find(std::make_reverse_iterator(last), std::make_reverse_iterator(first), '\n');
    if (lineBreak.base() - 1 > first)
        return lineBreak.base() - 1 - utf8.constData();
    qsizetype cut = end;
    while (cut > from && (uchar(utf8.at(cut)) & 0xC0) == 0x80)
        --cut;
    return cut > from ? cut : end;
}

// Where a display line that starts at from and has room for room more characters ends: after
// the last space within reach of its limit, else at the limit, never between the halves of a
// surrogate pair nor right after a carriage return (the break added there would join it).
qsizetype displayLineEnd(QStringView text, qsizetype from, qsizetype room)
{
    const qsizetype limit = from + room;
    for (qsizetype i = limit; i > from && i > limit - kSpaceReach; --i) {
        const QChar before = text.at(i - 1);
        if (before.isSpace() && before != u'\r')
            return i;
    }
    qsizetype cut = limit;
    if (cut > from && (text.at(cut - 1).isHighSurrogate() || text.at(cut - 1) == u'\r'))
        --cut;
    return cut;
}

} // namespace

LongTextView::LongTextView(const ItemText& text, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_utf8(text.utf8())
{
    // Read only: an undo record per piece would only cost memory and time to make and to free.
    document()->setUndoRedoEnabled(false);
    appendNextPiece();
    if (isFilled())
        return;
    m_fill = new QTimer(this);
    m_fill->setInterval(0);
    connect(m_fill, &QTimer::timeout, this, &LongTextView::appendNextPiece);
    m_sinceLength.start();
    m_fill->start();
}

// Each piece is decoded only when its turn comes: the whole text is never held as UTF-16 here
// beside the document's own copy.
void LongTextView::appendNextPiece()
{
    constexpr qint64 kLengthIntervalMs = 400;
    const qsizetype from = m_filledTo;
    m_filledTo = pieceEnd(m_utf8, from);
    const QString piece = ItemText::decode(m_utf8.constData() + from, m_filledTo - from);
    const bool last = isFilled();
    if (from == 0) {
        append(piece);
    } else {
        // The layout would repaint all the view shows after each piece, though a piece that
        // lands below what is in sight changes nothing there: its updates are held back, and the
        // scroll bar (a tall one, costly to repaint) learns the new length a few times a second
        // and with the last piece.
        QAbstractTextDocumentLayout* layout = document()->documentLayout();
        const QScrollBar* bar = verticalScrollBar();
        // Only a view that shows its end (or holds less than a screenful) can show the new text.
        const bool endInSight = bar->value() == bar->maximum();
        {
            const QSignalBlocker quiet(layout);
            append(piece);
        }
        if (last || endInSight || m_sinceLength.elapsed() >= kLengthIntervalMs) {
            emit layout->documentSizeChanged(layout->documentSize());
            m_sinceLength.restart();
        }
        if (endInSight)
            viewport()->update();
    }
    if (last && m_fill) {
        m_fill->deleteLater();
        m_fill = nullptr;
    }
}

void LongTextView::append(QStringView piece)
{
    // The piece with a break at the end of each display line cut from a longer line, in one
    // insertion: the document then hears of it once. The blocks those breaks begin are marked.
    QString shown;
    shown.reserve(piece.size() + piece.size() / kDisplayLineCharacters + 1);
    QList<qsizetype> continuations;
    qsizetype from = 0;
    while (from < piece.size()) {
        const qsizetype lineBreak = piece.indexOf(u'\n', from);
        const qsizetype lineEnd = lineBreak < 0 ? piece.size() : lineBreak;
        while (m_lineLength + (lineEnd - from) > kDisplayLineCharacters) {
            const qsizetype cut = displayLineEnd(piece, from, kDisplayLineCharacters - m_lineLength);
            shown += piece.sliced(from, cut - from);
            shown += u'\n';
            continuations.append(shown.size());
            m_lineLength = 0;
            from = cut;
        }
        const qsizetype end = lineBreak < 0 ? piece.size() : lineBreak + 1;
        shown += piece.sliced(from, end - from);
        m_lineLength = lineBreak < 0 ? m_lineLength + (end - from) : 0;
        from = end;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    const int start = cursor.position();
    // In an edit block the cursor does not work out where it stands across its line once the
    // text is in: that would lay out the piece's last display line, which is out of sight, for
    // every piece.
    cursor.beginEditBlock();
    cursor.insertText(shown);
    cursor.endEditBlock();
    for (const qsizetype offset : continuations)
        document()->findBlock(start + int(offset)).setUserState(kContinuesLine);
}

QString LongTextView::textBetween(int from, int to) const
{
    QString text;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int start = std::max(from, block.position());
        const int separator = block.position() + block.length() - 1;
        const int end = std::min(to, separator);
        if (end > start)
            text += QStringView(block.text()).sliced(start - block.position(), end - start);
        const QTextBlock next = block.next();
        if (separator >= from && separator < to && next.isValid() && next.userState() != kContinuesLine)
            text += u'\n';
    }
    return text;
}

QMimeData* LongTextView::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

} // namespace vesk
