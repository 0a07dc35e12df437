#include "pane/KeptLayoutLabel.h"

#include <QPainter>
#include <QTextLayout>

namespace vesk {

KeptLayoutLabel::KeptLayoutLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
}

KeptLayoutLabel::~KeptLayoutLabel() = default;

bool KeptLayoutLabel::drawsItself() const
{
    const QString& shown = text();
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    // Only what is drawn the same way here as by the label: a left-to-right line of plain text,
    // without a frame, a margin, an indent, a mnemonic or a selection, left or centred.
    return !shown.isEmpty() && pixmap().isNull() && !wordWrap() && frameShape() == QFrame::NoFrame
        && margin() == 0 && indent() <= 0
        && !(textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard | Qt::TextEditable))
        && (textFormat() == Qt::PlainText || (textFormat() == Qt::AutoText && !Qt::mightBeRichText(shown)))
        && layoutDirection() == Qt::LeftToRight && !shown.isRightToLeft()
        && (horizontal == Qt::AlignLeft || horizontal == Qt::AlignHCenter) && styleSheet().isEmpty()
        && isEnabled() && !font().underline() && !font().strikeOut() && !font().overline()
        && !shown.contains(QLatin1Char('\n')) && !shown.contains(QLatin1Char('\t'))
        && !shown.contains(QLatin1Char('&'));
}

void KeptLayoutLabel::paintEvent(QPaintEvent* event)
{
    if (!drawsItself()) {
        m_line.reset();
        QLabel::paintEvent(event);
        return;
    }
    if (!m_line || m_lineText != text() || m_lineFont != font() || m_lineDpi != logicalDpiY()) {
        // Laid out as the painter lays out a label's text: one line as wide as it needs.
        m_line = std::make_unique<QTextLayout>(text(), font(), this);
        QTextOption option(Qt::AlignLeft);
        option.setWrapMode(QTextOption::ManualWrap);
        option.setTextDirection(Qt::LeftToRight);
        m_line->setTextOption(option);
        m_line->setCacheEnabled(true);
        m_line->beginLayout();
        QTextLine line = m_line->createLine();
        line.setLineWidth(0x01000000);
        line.setPosition(QPointF(0, 0));
        m_line->endLayout();
        m_lineText = text();
        m_lineFont = font();
        m_lineDpi = logicalDpiY();
    }
    const QTextLine line = m_line->lineAt(0);
    const QRect box = contentsRect();
    const Qt::Alignment align = alignment();
    // The painter centres the line's unrounded height and its advance.
    const qreal height = line.ascent() + line.descent();
    qreal y = box.top();
    if (align & Qt::AlignVCenter)
        y += (box.height() - height) / 2;
    else if (align & Qt::AlignBottom)
        y += box.height() - height;
    qreal x = box.left();
    if (align & Qt::AlignHCenter)
        x += (box.width() - line.horizontalAdvance()) / 2;
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    m_line->draw(&painter, QPointF(x, y));
}

} // namespace vesk
