#include "pane/WrappingText.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QIcon>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QStyleHints>
#include <QTextCharFormat>
#include <cmath>

namespace vesk {

namespace {

// Where a key takes the cursor.
enum class Step { Left, Right, WordBack, WordOn, LineStart, LineEnd, Up, Down, Start, End, ParagraphStart, ParagraphEnd };

struct StepKey {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    Step step;
};

// The keys that move the cursor of a read-only text, and with Shift grow its selection; a page up
// or down goes all the way, as the whole text is in view.
constexpr StepKey kStepKeys[] = {
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Step::Left},
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Step::Right},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Step::WordBack},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Step::WordOn},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Step::LineStart},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Step::LineEnd},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Step::Up},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Step::Down},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Step::Start},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Step::End},
    {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, Step::ParagraphStart},
    {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, Step::ParagraphEnd},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Step::Start},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Step::End},
};

// A menu entry as Qt's own text views word it (translated with them), with its key after a tab.
QString menuLabel(const char* text, QKeySequence::StandardKey key)
{
    QString label = QCoreApplication::translate("QWidgetTextControl", text);
    if (!QCoreApplication::testAttribute(Qt::AA_DontShowShortcutsInContextMenus)
        && QGuiApplication::styleHints()->showShortcutsInContextMenus())
        label += QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
    return label;
}

} // namespace

WrappingText::WrappingText(const QString& text, const QFont& font, const QColor& colour, int maxLines,
    QWidget* parent)
    : QWidget(parent)
    , m_fullText(text)
    , m_paragraphs(WrappedLines::paragraphsOf(text))
    , m_maxLines(maxLines)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
    // A screen reader has no text edit to read here: the widget names its text itself.
    setAccessibleName(text);
}

void WrappingText::setText(const QString& text)
{
    // The pane refills its texts for the next item: nothing selected in the last one stays
    // selected, even when both have the same text.
    if (m_anchor != m_position) {
        m_anchor = m_position = 0;
        update();
    }
    if (text == m_fullText)
        return;
    m_fullText = text;
    m_paragraphs = WrappedLines::paragraphsOf(text);
    m_anchor = m_position = 0;
    setAccessibleName(text);
    forgetMeasurements();
    updateGeometry();
    if (testAttribute(Qt::WA_Resized))
        fitHeight();
    update();
}

QString WrappingText::toPlainText() const
{
    QString text = m_shown.isEmpty() ? m_paragraphs.join(QLatin1Char('\n')) : m_shown.text();
    // As a plain text document gives its text back.
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

QString WrappingText::selectedText() const
{
    return m_shown.textBetween(m_anchor, m_position);
}

void WrappingText::forgetMeasurements()
{
    m_fitLater.stop();
    m_measured.fill(Measured{});
    m_spare = WrappedLines();
    m_shown = WrappedLines();
}

const WrappedLines& WrappingText::measured(int width) const
{
    if (m_spare.isEmpty() || m_spare.width() != width)
        m_spare.layOut(m_paragraphs, font(), width, firstScreen());
    return m_spare;
}

int WrappingText::windowHeight() const
{
    const QWidget* top = window();
    if (top != this && top->testAttribute(Qt::WA_Resized))
        return top->height();
    const QScreen* shownOn = screen();
    return shownOn ? shownOn->availableGeometry().height() : 0;
}

qreal WrappingText::firstScreen() const
{
    // Scrolled up past the window's top, the widget shows lines further down. Lower in the window
    // it shows fewer, but the sections above it may yet shrink and lift it.
    const QWidget* top = window();
    const int y = top == this ? 0 : mapTo(top, QPoint(0, 0)).y();
    return qreal(windowHeight() - std::min(0, y));
}

int WrappingText::heightForWidth(int width) const
{
    if (!m_shown.isEmpty() && m_shown.width() == width)
        return int(std::ceil(m_shown.height(m_maxLines)));
    for (const Measured& measured : m_measured) {
        if (measured.width == width)
            return measured.height;
    }
    Measured& slot = m_measured.at(std::size_t(m_nextMeasured));
    m_nextMeasured = (m_nextMeasured + 1) % int(m_measured.size());
    slot.width = width;
    slot.height = int(std::ceil(measured(width).height(m_maxLines)));
    return slot.height;
}

QSize WrappingText::sizeHint() const
{
    // Before its layout has placed it, the widget's own width is a default it is never shown at
    // (640 made alone, 100 made in a parent); laying out a long text at it costs as much as
    // showing it. The width its layouts will give it is measured instead, which they ask next.
    int width = testAttribute(Qt::WA_Resized) ? this->width() : placedWidth();
    if (width <= 0)
        width = this->width() > 0 ? this->width() : 200;
    return {width, heightForWidth(width)};
}

int WrappingText::placedWidth() const
{
    int margins = 0;
    for (const QWidget* parent = parentWidget(); parent; parent = parent->parentWidget()) {
        const QMargins own = parent->contentsMargins();
        margins += own.left() + own.right();
        if (const QLayout* layout = parent->layout())
            margins += layout->contentsMargins().left() + layout->contentsMargins().right();
        if (parent->testAttribute(Qt::WA_Resized))
            return parent->width() - margins;
    }
    return 0;
}

QSize WrappingText::minimumSizeHint() const
{
    return {0, fontMetrics().lineSpacing()};
}

void WrappingText::layOutShown()
{
    const int width = this->width();
    if (!m_shown.isEmpty() && m_shown.width() == width)
        return;
    if (!m_spare.isEmpty() && m_spare.width() == width) {
        // Measured at this width already: those lines are the ones shown.
        m_shown = std::move(m_spare);
        m_spare = WrappedLines();
    } else {
        m_shown.layOut(m_paragraphs, font(), width, firstScreen());
    }
    m_shown.elide(m_maxLines);
    const int length = m_shown.length();
    m_anchor = std::min(m_anchor, length);
    m_position = std::min(m_position, length);
}

void WrappingText::paintEvent(QPaintEvent* event)
{
    layOutShown();
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    // A selection is drawn in the window's highlight while the text has the keys, and in the
    // quieter inactive one once they went elsewhere.
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    QTextCharFormat selection;
    selection.setBackground(palette().brush(group, QPalette::Highlight));
    selection.setForeground(palette().brush(group, QPalette::HighlightedText));
    // Scrolled to within a quarter window of the lines not laid out yet: a window's height more
    // is laid out, so that the estimated rest is never in sight and what follows the text only
    // moves while it is out of sight. The widget takes its new height once the paint is over.
    const qreal before = m_shown.height();
    const int ahead = windowHeight();
    if (!m_shown.isLaidOut() && event->rect().bottom() + ahead / 4 > m_shown.laidOutHeight())
        m_shown.layOutThrough(event->rect().bottom() + ahead);
    m_shown.draw(&painter, event->rect(), std::min(m_anchor, m_position), std::max(m_anchor, m_position),
        selection, hasFocus() && m_cursorOn ? m_position : -1);
    if (m_shown.height() != before && !m_fitLater.isActive())
        m_fitLater.start(0, this);
}

void WrappingText::fitHeight()
{
    layOutShown();
    const int wanted = heightForWidth(width());
    if (wanted != height())
        setFixedHeight(wanted);
}

void WrappingText::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitHeight();
}

void WrappingText::changeEvent(QEvent* event)
{
    // Lines laid out in another font no longer hold.
    if (event->type() == QEvent::FontChange) {
        forgetMeasurements();
        updateGeometry();
        if (testAttribute(Qt::WA_Resized))
            fitHeight();
    }
    QWidget::changeEvent(event);
}

void WrappingText::setSelection(int anchor, int position)
{
    const int length = m_shown.length();
    anchor = std::clamp(anchor, 0, length);
    position = std::clamp(position, 0, length);
    if (anchor == m_anchor && position == m_position)
        return;
    m_anchor = anchor;
    m_position = position;
    update();
}

void WrappingText::selectAll()
{
    layOutShown();
    setSelection(0, m_shown.length());
    offerSelection();
}

void WrappingText::copy() const
{
    if (m_anchor != m_position)
        QGuiApplication::clipboard()->setText(selectedText());
}

void WrappingText::offerSelection() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (m_anchor != m_position && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void WrappingText::restartBlinking()
{
    m_cursorOn = hasFocus();
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (m_cursorOn && flash >= 2)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
    update();
}

void WrappingText::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    layOutShown();
    const QPointF point = event->position();
    const int at = m_shown.positionAt(point);
    if (m_tripleClick.isActive()
        && (point - m_doubleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
        m_tripleClick.stop();
        m_dragUnit = DragUnit::Paragraph;
        m_dragStart = m_shown.paragraphAround(at);
        setSelection(m_dragStart.first, m_dragStart.second);
    } else if (!(event->modifiers() & Qt::ShiftModifier) && at >= std::min(m_anchor, m_position)
        && at < std::max(m_anchor, m_position)) {
        // A press on the selection may start dragging its text elsewhere.
        m_dragOutFrom = point;
        m_mightDragOut = true;
        return;
    } else {
        m_dragUnit = DragUnit::Character;
        setSelection(event->modifiers() & Qt::ShiftModifier ? m_anchor : at, at);
    }
    m_selecting = true;
    m_lineX = -1;
    restartBlinking();
}

void WrappingText::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    layOutShown();
    const QPointF point = event->position();
    m_dragUnit = DragUnit::Word;
    m_dragStart = m_shown.wordAround(m_shown.positionAt(point));
    setSelection(m_dragStart.first, m_dragStart.second);
    restartBlinking();
    m_selecting = true;
    m_doubleClickPoint = point;
    m_tripleClick.start(QApplication::doubleClickInterval(), this);
}

void WrappingText::mouseMoveEvent(QMouseEvent* event)
{
    if (m_mightDragOut && (event->buttons() & Qt::LeftButton)) {
        if ((event->position() - m_dragOutFrom).manhattanLength() < QApplication::startDragDistance())
            return;
        m_mightDragOut = false;
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setText(selectedText());
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
        return;
    }
    if (!m_selecting || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    dragTo(event->position());
}

void WrappingText::dragTo(const QPointF& point)
{
    // The cursor shows where the drag is, whatever its blinking.
    restartBlinking();
    const int at = m_shown.positionAt(point);
    const auto [first, last] = m_dragStart;
    switch (m_dragUnit) {
    case DragUnit::Character:
        setSelection(m_anchor, at);
        break;
    case DragUnit::Word: {
        const auto word = m_shown.wordAround(at);
        if (word.first < first)
            setSelection(last, word.first);
        else
            setSelection(first, std::max(last, word.second));
        break;
    }
    case DragUnit::Paragraph: {
        const auto paragraph = m_shown.paragraphAround(at);
        if (paragraph.first < first)
            setSelection(last, paragraph.first);
        else
            setSelection(first, paragraph.second);
        break;
    }
    }
}

void WrappingText::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_mightDragOut && event->button() == Qt::LeftButton) {
        // Pressed on the selection and let go without dragging: a plain click there.
        m_mightDragOut = false;
        const int at = m_shown.positionAt(event->position());
        setSelection(at, at);
        restartBlinking();
        return;
    }
    if (event->button() != Qt::LeftButton || !m_selecting) {
        event->ignore();
        return;
    }
    m_selecting = false;
    restartBlinking();
    offerSelection();
}

void WrappingText::keyPressEvent(QKeyEvent* event)
{
    layOutShown();
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    const StepKey* key = nullptr;
    bool select = false;
    for (const StepKey& candidate : kStepKeys) {
        if (event->matches(candidate.move) || event->matches(candidate.select)) {
            key = &candidate;
            select = event->matches(candidate.select);
            break;
        }
    }
    if (!key) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int from = m_position;
    const int start = std::min(m_anchor, m_position);
    const int end = std::max(m_anchor, m_position);
    const bool vertical = key->step == Step::Up || key->step == Step::Down;
    if (vertical && m_lineX < 0)
        m_lineX = m_shown.xOf(from);
    int to = from;
    switch (key->step) {
    case Step::Left: to = !select && start != end ? start : m_shown.leftOf(from); break;
    case Step::Right: to = !select && start != end ? end : m_shown.rightOf(from); break;
    case Step::WordBack: to = m_shown.wordBefore(from); break;
    case Step::WordOn: to = m_shown.wordAfter(from); break;
    case Step::LineStart: to = m_shown.lineStart(from); break;
    case Step::LineEnd: to = m_shown.lineEnd(from); break;
    case Step::Up: to = m_shown.onLineAbove(from, m_lineX); break;
    case Step::Down: to = m_shown.onLineBelow(from, m_lineX); break;
    case Step::Start: to = 0; break;
    case Step::End: to = m_shown.length(); break;
    case Step::ParagraphStart: to = m_shown.paragraphAround(from).first; break;
    case Step::ParagraphEnd: {
        // Before the paragraph's break, when another paragraph follows.
        const int last = m_shown.paragraphAround(from).second;
        to = last == m_shown.length() ? last : last - 1;
        break;
    }
    }
    if (!vertical)
        m_lineX = -1;
    setSelection(select ? m_anchor : to, to);
    if (select)
        offerSelection();
    restartBlinking();
}

void WrappingText::setSelectable(bool selectable)
{
    setFocusPolicy(selectable ? Qt::StrongFocus : Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents, !selectable);
    if (selectable)
        setCursor(Qt::IBeamCursor);
    else
        unsetCursor();
    if (!selectable && m_anchor != m_position) {
        m_anchor = m_position = 0;
        update();
    }
}

QMenu* WrappingText::createStandardContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QAction* copy = menu->addAction(menuLabel("&Copy", QKeySequence::Copy), this, &WrappingText::copy);
    copy->setObjectName(QStringLiteral("edit-copy"));
    copy->setEnabled(m_anchor != m_position);
    if (QIcon::hasThemeIcon(QStringLiteral("edit-copy")))
        copy->setIcon(QIcon::fromTheme(QStringLiteral("edit-copy")));
    menu->addSeparator();
    QAction* all = menu->addAction(menuLabel("Select All", QKeySequence::SelectAll), this, &WrappingText::selectAll);
    all->setObjectName(QStringLiteral("select-all"));
    all->setEnabled(!toPlainText().isEmpty());
    if (QIcon::hasThemeIcon(QStringLiteral("edit-select-all")))
        all->setIcon(QIcon::fromTheme(QStringLiteral("edit-select-all")));
    return menu;
}

void WrappingText::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void WrappingText::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    restartBlinking();
}

void WrappingText::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    m_blink.stop();
    m_cursorOn = false;
    update();
}

void WrappingText::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_blink.timerId()) {
        m_cursorOn = !m_cursorOn;
        update(m_shown.cursorRect(m_position).toAlignedRect());
    } else if (event->timerId() == m_fitLater.timerId()) {
        m_fitLater.stop();
        fitHeight();
    } else if (event->timerId() == m_tripleClick.timerId()) {
        m_tripleClick.stop();
    } else {
        QWidget::timerEvent(event);
    }
}

} // namespace vesk
