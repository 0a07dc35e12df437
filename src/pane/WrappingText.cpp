#include "pane/WrappingText.h"

#include <QFontMetricsF>
#include <QLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <QAbstractTextDocumentLayout>
#include <QWheelEvent>
#include <cmath>

namespace vesk {

WrappingText::WrappingText(const QString& text, const QFont& font, const QColor& colour, int maxLines,
    QWidget* parent)
    : QTextEdit(parent)
    , m_fullText(text)
    , m_maxLines(maxLines)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFont(font);
    document()->setDefaultFont(font);
    document()->setDocumentMargin(0);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
    viewport()->setAutoFillBackground(false);
    setPlainText(text);
    keepShapedLines();
}

void WrappingText::setText(const QString& text)
{
    m_fullText = text;
    m_elidedWidth = -1;
    // Also drops the selection and the cursor of the text shown before.
    setPlainText(text);
    keepShapedLines();
    forgetMeasurements();
    if (testAttribute(Qt::WA_Resized)) {
        elideToWidth(width());
        setFixedHeight(heightForWidth(width()));
    }
    updateGeometry();
}

void WrappingText::keepShapedLines()
{
    // A paragraph's layout forgets its shaped glyphs once laid out, and every painting shaped
    // the lines in sight again; the pane paints a new item two or three times as it arrives.
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (QTextLayout* layout = block.layout())
            layout->setCacheEnabled(true);
    }
}

int WrappingText::heightForWidth(int width) const
{
    for (const Measured& measured : m_measured) {
        if (measured.width == width)
            return measured.height;
    }
    if (!m_probe)
        m_probe.reset(document()->clone());
    QTextDocument* probe = m_probe.get();
    probe->setTextWidth(std::max(1, width - 2 * frameWidth()));
    qreal height = probe->size().height();
    if (m_maxLines > 0) {
        // Down to the bottom of the last line allowed, so no part of the next one shows.
        int lines = 0;
        for (QTextBlock block = probe->begin(); block.isValid() && lines < m_maxLines; block = block.next()) {
            const QTextLayout* layout = block.layout();
            const qreal top = probe->documentLayout()->blockBoundingRect(block).top();
            for (int i = 0; layout && i < layout->lineCount() && lines < m_maxLines; ++i, ++lines) {
                if (lines + 1 == m_maxLines)
                    height = std::min(height, top + layout->lineAt(i).rect().bottom());
            }
        }
    }
    Measured& slot = m_measured.at(std::size_t(m_nextMeasured));
    m_nextMeasured = (m_nextMeasured + 1) % int(m_measured.size());
    slot.width = width;
    slot.height = int(std::ceil(height)) + 2 * frameWidth();
    return slot.height;
}

void WrappingText::forgetMeasurements() const
{
    m_measured.fill(Measured{});
    m_probe.reset();
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

void WrappingText::elideToWidth(int width)
{
    if (m_maxLines <= 0 || width == m_elidedWidth)
        return;
    m_elidedWidth = width;
    const qreal lineWidth = std::max(1, width - 2 * frameWidth());
    // Laid out as the document lays it out: one layout per paragraph, wrapped at the width.
    QString shown;
    int lines = 0;
    bool cut = false;
    const QStringList paragraphs = m_fullText.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size() && !cut; ++p) {
        QTextLayout layout(paragraphs.at(p), font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QList<QTextLine> laid;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(lineWidth);
            laid.append(line);
        }
        layout.endLayout();
        if (p > 0)
            shown += QLatin1Char('\n');
        const bool moreAfter = p + 1 < paragraphs.size();
        if (lines + laid.size() < m_maxLines || (lines + laid.size() == m_maxLines && !moreAfter)) {
            shown += paragraphs.at(p);
            lines += int(laid.size());
            continue;
        }
        // This paragraph holds the last line allowed: the rest of the text gives way to "…".
        const QTextLine last = laid.at(m_maxLines - lines - 1);
        shown += paragraphs.at(p).left(last.textStart());
        const QString rest = paragraphs.at(p).mid(last.textStart()).trimmed() + QStringLiteral(" \u2026");
        shown += QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, lineWidth - 1);
        cut = true;
    }
    if (shown != toPlainText()) {
        setPlainText(shown);
        keepShapedLines();
        forgetMeasurements();
    }
}

void WrappingText::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    elideToWidth(width());
    const int wanted = heightForWidth(width());
    if (wanted != height())
        setFixedHeight(wanted);
}

void WrappingText::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

void WrappingText::changeEvent(QEvent* event)
{
    // Heights measured in another font no longer hold.
    if (event->type() == QEvent::FontChange)
        forgetMeasurements();
    QTextEdit::changeEvent(event);
}

} // namespace vesk
