#include "pane/LongTextView.h"

#include "platform/Graphemes.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

// Space left of and right of the text, and above its first line.
constexpr int kMargin = 4;
// How far back from a display line's limit a space is looked for to end it at.
constexpr qsizetype kSpaceReach = 200;
// How often the scroll bar (a tall one, costly to repaint) learns the length found so far.
constexpr qint64 kLengthIntervalMs = 400;
// Layouts kept beyond those of the last paint.
constexpr size_t kLayoutsKept = 64;

bool continuationByte(char byte)
{
    return (uchar(byte) & 0xC0) == 0x80;
}

// Moves a cut between characters back to the start of the user-perceived character it is in: a
// flag, a family or a skin tone cut apart shows as other pictures. Only this display line's bytes
// and a few after it are read.
qsizetype wholeCharacterCut(const char* data, qsizetype from, qsizetype cut, qsizetype size)
{
    // From the line's start, itself between whole characters: a run of flags is read in pairs
    // from where it began, which no nearer window shows.
    const qsizetype start = from;
    qsizetype end = std::min(size, cut + 128);
    while (end > cut && end < size && continuationByte(data[end]))
        --end;
    const QString before = QString::fromUtf8(data + start, cut - start);
    const QString window = before + QString::fromUtf8(data + cut, end - cut);
    const qsizetype units = graphemeBoundaryAtOrBefore(window, before.size(), 96);
    if (units <= 0 || units >= before.size())
        return cut;
    return start + QStringView(window).left(units).toUtf8().size();
}

// Where a display line that starts at from, with no line break within its limit, ends: after the
// last space within reach of the limit, else at the limit, never inside a character.
qsizetype displayCut(const char* data, qsizetype from, qsizetype size)
{
    const qsizetype limit = from + LongTextView::kDisplayLineBytes;
    for (qsizetype i = limit; i > from && i > limit - kSpaceReach; --i) {
        if (data[i - 1] == ' ' || data[i - 1] == '\t')
            return wholeCharacterCut(data, from, i, size);
    }
    qsizetype cut = limit;
    while (cut > from && continuationByte(data[cut]))
        --cut;
    return cut > from ? wholeCharacterCut(data, from, cut, size) : limit;
}

} // namespace

LongTextView::LongTextView(const ItemText& text, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_utf8(text.utf8())
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &LongTextView::onScrollAction);
    m_sinceLength.start();
    indexNextPiece();
    updateScrollBar();
    if (isFilled())
        return;
    m_fill = new QTimer(this);
    m_fill->setInterval(0);
    connect(m_fill, &QTimer::timeout, this, &LongTextView::indexNextPiece);
    m_fill->start();
}

LongTextView::~LongTextView() = default;

// A pass over the bytes that only looks for line breaks: a piece costs well under a frame,
// whatever the lines are like.
void LongTextView::indexNextPiece()
{
    const char* data = m_utf8.constData();
    const qsizetype size = m_utf8.size();
    const qsizetype stop = std::min(size, m_indexedTo + kIndexPieceBytes);
    qsizetype at = m_indexedTo;
    while (at < stop) {
        m_lineStarts.push_back(at);
        // The byte just past the limit is looked at too: a break there ends the line at its limit
        // instead of making an empty display line of its own.
        const qsizetype reach = std::min(kDisplayLineBytes + 1, size - at);
        const auto* lineBreak = static_cast<const char*>(std::memchr(data + at, '\n', size_t(reach)));
        if (lineBreak)
            at = lineBreak - data + 1;
        else if (reach <= kDisplayLineBytes)
            at = size;
        else
            at = displayCut(data, at, size);
    }
    m_indexedTo = at;
    const bool last = isFilled();
    if (last) {
        if (m_fill)
            m_fill->deleteLater();
        m_fill = nullptr;
        findEnd();
    }
    if (last || m_sinceLength.elapsed() >= kLengthIntervalMs) {
        updateScrollBar();
        m_sinceLength.restart();
    }
    // Only a view that ran out of lines can show the ones just found.
    if (m_paintedAll)
        viewport()->update();
}

qsizetype LongTextView::lineEnd(qsizetype line) const
{
    return line + 1 < lineCount() ? m_lineStarts[size_t(line + 1)] : m_indexedTo;
}

QString LongTextView::lineText(qsizetype line) const
{
    if (line < 0 || line >= lineCount())
        return {};
    const qsizetype from = m_lineStarts[size_t(line)];
    qsizetype to = lineEnd(line);
    if (to > from && m_utf8.at(to - 1) == '\n')
        --to;
    if (to > from && m_utf8.at(to - 1) == '\r')
        --to;
    return ItemText::decode(m_utf8.constData() + from, to - from);
}

LongTextView::Laid& LongTextView::laid(qsizetype line)
{
    Laid& laid = m_laid[line];
    laid.usedAt = m_paints;
    if (laid.layout)
        return laid;
    laid.layout = std::make_unique<QTextLayout>(lineText(line), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    laid.layout->setTextOption(option);
    laid.layout->setCacheEnabled(true);
    const qreal top = line == 0 ? kMargin : 0;
    qreal height = top;
    laid.layout->beginLayout();
    for (QTextLine row = laid.layout->createLine(); row.isValid(); row = laid.layout->createLine()) {
        row.setLineWidth(m_layoutWidth);
        row.setPosition(QPointF(0, height));
        height += row.height();
    }
    laid.layout->endLayout();
    laid.height = std::max(height, top + 1);
    return laid;
}

qsizetype LongTextView::laidOutCharacters() const
{
    qsizetype characters = 0;
    for (const auto& [line, laid] : m_laid)
        characters += laid.layout ? laid.layout->text().size() : 0;
    return characters;
}

void LongTextView::forgetLayouts()
{
    m_laid.clear();
    m_topY = 0;
}

void LongTextView::forgetUnusedLayouts()
{
    if (m_laid.size() <= kLayoutsKept)
        return;
    std::erase_if(m_laid, [&](const auto& entry) { return entry.second.usedAt + 1 < m_paints; });
}

void LongTextView::findEnd()
{
    // Nothing is laid out before the view has its width.
    if (!isFilled() || lineCount() == 0 || m_layoutWidth <= 0)
        return;
    const qreal height = viewport()->height();
    qreal below = 0;
    for (qsizetype line = lineCount() - 1; line >= 0; --line) {
        below += heightOf(line);
        if (below >= height) {
            m_endTop = line;
            m_endTopY = below - height;
            return;
        }
    }
    m_endTop = 0;
    m_endTopY = 0;
}

// Moves the view by pixels, laying out only the lines it passes over.
void LongTextView::scrollByPixels(qreal dy)
{
    if (lineCount() == 0 || m_layoutWidth <= 0)
        return;
    qsizetype top = m_top;
    qreal y = m_topY + dy;
    while (y < 0 && top > 0)
        y += heightOf(--top);
    y = std::max<qreal>(y, 0);
    while (top + 1 < lineCount() && y >= heightOf(top))
        y -= heightOf(top++);
    const bool pastEnd = isFilled() && (top > m_endTop || (top == m_endTop && y >= m_endTopY));
    if (pastEnd) {
        scrollToEnd();
        return;
    }
    // While the lines are still being found, the view goes no further than the last one's top.
    if (top + 1 == lineCount())
        y = std::min(y, heightOf(top) - 1);
    m_top = top;
    m_topY = y;
    m_atEnd = false;
    updateScrollBar();
    viewport()->update();
}

void LongTextView::scrollToLine(qsizetype line)
{
    if (isFilled() && line >= m_endTop) {
        scrollToEnd();
        return;
    }
    m_top = std::clamp<qsizetype>(line, 0, std::max<qsizetype>(0, lineCount() - 1));
    m_topY = 0;
    m_atEnd = false;
    updateScrollBar();
    viewport()->update();
}

void LongTextView::scrollToEnd()
{
    if (!isFilled()) {
        scrollToLine(lineCount() - 1);
        return;
    }
    m_top = m_endTop;
    m_topY = m_endTopY;
    m_atEnd = true;
    updateScrollBar();
    viewport()->update();
}

// The scroll bar counts display lines: a line's rows are only known once it is laid out.
int LongTextView::scrollValue() const
{
    return int(m_atEnd ? m_endTop : m_top);
}

void LongTextView::updateScrollBar()
{
    QScrollBar* bar = verticalScrollBar();
    const qsizetype maximum = isFilled() ? m_endTop : std::max<qsizetype>(0, lineCount() - 1);
    bar->setRange(0, int(maximum));
    // The handle's length is the share of the lines in sight: a page holds as many lines as fit
    // at the height of those laid out so far, one when each is longer than a screen.
    qreal laidHeight = 0;
    for (const auto& [line, laid] : m_laid)
        laidHeight += laid.height;
    const qreal lineHeight = m_laid.empty() ? fontMetrics().lineSpacing() : laidHeight / qreal(m_laid.size());
    bar->setPageStep(std::max(1, int(viewport()->height() / std::max<qreal>(1, lineHeight))));
    bar->setValue(scrollValue());
}

// Steps and pages scroll by rows of text, not by display lines, which can be screens long.
void LongTextView::onScrollAction(int action)
{
    const qreal row = fontMetrics().lineSpacing();
    const qreal page = std::max<qreal>(row, viewport()->height() - row);
    qreal dy = 0;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: dy = row; break;
    case QAbstractSlider::SliderSingleStepSub: dy = -row; break;
    case QAbstractSlider::SliderPageStepAdd: dy = page; break;
    case QAbstractSlider::SliderPageStepSub: dy = -page; break;
    default: return;
    }
    scrollByPixels(dy);
    verticalScrollBar()->setSliderPosition(scrollValue());
}

// A value set on the scroll bar (its handle dragged, or set by code) takes the view to its line.
void LongTextView::scrollContentsBy(int, int)
{
    const int value = verticalScrollBar()->value();
    if (value == scrollValue())
        return;
    scrollToLine(value);
}

void LongTextView::wheelEvent(QWheelEvent* event)
{
    const QPoint pixels = event->pixelDelta();
    const qreal dy = !pixels.isNull()
                         ? -pixels.y()
                         : -event->angleDelta().y() / 120.0 * QApplication::wheelScrollLines() * fontMetrics().lineSpacing();
    // At its top or its end the wheel goes on to the pane around it, as Qt's scroll views pass it.
    const bool atTop = m_top == 0 && m_topY <= 0 && !m_atEnd;
    const bool atEnd = m_atEnd || lineCount() == 0 || (isFilled() && m_top == m_endTop && m_topY >= m_endTopY);
    if (dy == 0 || (dy < 0 && atTop) || (dy > 0 && atEnd)) {
        event->ignore();
        return;
    }
    scrollByPixels(dy);
    event->accept();
}

void LongTextView::paintEvent(QPaintEvent*)
{
    ++m_paints;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype selectionFrom = std::min(m_anchor, m_cursor);
    const qsizetype selectionTo = std::max(m_anchor, m_cursor);
    const qreal height = viewport()->height();
    qreal y = -m_topY;
    qsizetype line = m_top;
    for (; line < lineCount() && y < height; ++line) {
        Laid& shown = laid(line);
        QList<QTextLayout::FormatRange> selections;
        const qsizetype from = std::max(selectionFrom, m_lineStarts[size_t(line)]);
        const qsizetype to = std::min(selectionTo, lineEnd(line));
        if (from < to) {
            QTextLayout::FormatRange range;
            range.start = int(unitsBetween(m_lineStarts[size_t(line)], from));
            range.length = int(unitsBetween(from, to));
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selections.append(range);
        }
        shown.layout->draw(&painter, QPointF(kMargin, y), selections);
        y += shown.height;
    }
    m_paintedAll = line == lineCount() && y < height;
    forgetUnusedLayouts();
}

void LongTextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const qreal width = std::max(1, viewport()->width() - 2 * kMargin);
    if (width != m_layoutWidth) {
        m_layoutWidth = width;
        forgetLayouts();
    }
    findEnd();
    if (m_atEnd)
        scrollToEnd();
    else
        scrollByPixels(0);
}

void LongTextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        findEnd();
        updateScrollBar();
        viewport()->update();
    }
}

qsizetype LongTextView::unitsBetween(qsizetype from, qsizetype to) const
{
    const char* data = m_utf8.constData();
    qsizetype units = 0;
    for (qsizetype i = from; i < to; ++i) {
        const uchar byte = uchar(data[i]);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

qsizetype LongTextView::bytesFor(qsizetype from, qsizetype units) const
{
    const char* data = m_utf8.constData();
    const qsizetype size = m_utf8.size();
    qsizetype at = from;
    while (units > 0 && at < size) {
        const uchar byte = uchar(data[at]);
        units -= byte >= 0xF0 ? 2 : 1;
        ++at;
        while (at < size && continuationByte(data[at]))
            ++at;
    }
    return at;
}

qsizetype LongTextView::lineAt(QPoint point)
{
    if (lineCount() == 0)
        return -1;
    qreal y = -m_topY;
    qsizetype line = m_top;
    while (line + 1 < lineCount() && y + heightOf(line) <= point.y())
        y += heightOf(line++);
    return line;
}

qsizetype LongTextView::byteAt(QPoint point)
{
    if (lineCount() == 0)
        return 0;
    qreal y = -m_topY;
    for (qsizetype line = m_top; line < lineCount(); ++line) {
        const Laid& shown = laid(line);
        const bool below = point.y() >= y + shown.height;
        if (below && line + 1 < lineCount()) {
            y += shown.height;
            continue;
        }
        if (below)
            return lineEnd(line);
        const QPointF inLine(point.x() - kMargin, point.y() - y);
        int units = 0;
        for (int i = 0; i < shown.layout->lineCount(); ++i) {
            const QTextLine row = shown.layout->lineAt(i);
            if (inLine.y() < row.y() + row.height() || i + 1 == shown.layout->lineCount()) {
                units = row.xToCursor(inLine.x());
                break;
            }
        }
        return bytesFor(m_lineStarts[size_t(line)], units);
    }
    return m_indexedTo;
}

QString LongTextView::selectedText() const
{
    const qsizetype from = std::min(m_anchor, m_cursor);
    const qsizetype to = std::max(m_anchor, m_cursor);
    return ItemText::decode(m_utf8.constData() + from, to - from);
}

void LongTextView::selectAll()
{
    m_anchor = 0;
    m_cursor = m_utf8.size();
    viewport()->update();
}

void LongTextView::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

// As text views do on X11: what the mouse selected is offered to a middle click elsewhere.
void LongTextView::offerSelection() const
{
    QClipboard* clipboard = QApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LongTextView::selectWordAt(QPoint point)
{
    const qsizetype at = byteAt(point);
    const qsizetype line = lineAt(point);
    if (line < 0)
        return;
    const qsizetype lineStart = m_lineStarts[size_t(line)];
    const QString text = lineText(line);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(int(std::min(unitsBetween(lineStart, at), text.size())));
    qsizetype start = words.position();
    if (!(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        start = std::max<qsizetype>(0, words.toPreviousBoundary());
    words.setPosition(int(start));
    qsizetype end = words.toNextBoundary();
    if (end < 0)
        end = text.size();
    m_anchor = bytesFor(lineStart, start);
    m_cursor = bytesFor(lineStart, end);
    viewport()->update();
}

// The line of the text, not the display line: from the break before it to the break after it.
void LongTextView::selectTextLineAt(QPoint point)
{
    if (lineCount() == 0)
        return;
    const qsizetype at = byteAt(point);
    const char* data = m_utf8.constData();
    const void* before = ::memrchr(data, '\n', size_t(at));
    const qsizetype start = before ? static_cast<const char*>(before) - data + 1 : 0;
    const void* next = std::memchr(data + at, '\n', size_t(m_utf8.size() - at));
    m_anchor = start;
    m_cursor = next ? static_cast<const char*>(next) - data : m_utf8.size();
    viewport()->update();
}

void LongTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    // A third click soon after a double click, where it was, selects the whole line of the text.
    if (m_sinceDoubleClick.isValid() && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()
        && (point - m_doubleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
        m_sinceDoubleClick.invalidate();
        selectTextLineAt(point);
        offerSelection();
        return;
    }
    const qsizetype at = byteAt(point);
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = at;
    m_cursor = at;
    m_selecting = true;
    viewport()->update();
}

void LongTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_selecting)
        return;
    QPoint point = event->position().toPoint();
    // Beyond the view's edge the selection goes on into the text out of sight.
    if (point.y() < 0)
        scrollByPixels(point.y());
    else if (point.y() > viewport()->height())
        scrollByPixels(point.y() - viewport()->height());
    point.setY(std::clamp(point.y(), 0, viewport()->height() - 1));
    m_cursor = byteAt(point);
    viewport()->update();
}

void LongTextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_selecting) {
        m_selecting = false;
        offerSelection();
    }
}

void LongTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    selectWordAt(event->position().toPoint());
    offerSelection();
    m_sinceDoubleClick.start();
    m_doubleClickPoint = event->position().toPoint();
}

void LongTextView::keyPressEvent(QKeyEvent* event)
{
    const qreal row = fontMetrics().lineSpacing();
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->key() == Qt::Key_PageDown)
        scrollByPixels(std::max<qreal>(row, viewport()->height() - row));
    else if (event->key() == Qt::Key_PageUp)
        scrollByPixels(-std::max<qreal>(row, viewport()->height() - row));
    else if (event->key() == Qt::Key_Down)
        scrollByPixels(row);
    else if (event->key() == Qt::Key_Up)
        scrollByPixels(-row);
    else if (event->key() == Qt::Key_Home || event->matches(QKeySequence::MoveToStartOfDocument))
        scrollToLine(0);
    else if (event->key() == Qt::Key_End || event->matches(QKeySequence::MoveToEndOfDocument))
        scrollToEnd();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

void LongTextView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copying = menu.addAction(tr("Copy"), this, &LongTextView::copy);
    copying->setEnabled(hasSelection());
    menu.addAction(tr("Select All"), this, &LongTextView::selectAll);
    menu.exec(event->globalPos());
}

} // namespace vesk
