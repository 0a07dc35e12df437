#include "pane/ElidedLabel.h"

#include <QFontMetricsF>

#include <cmath>

namespace vesk {

ElidedLabel::ElidedLabel(const QString& text, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_text(text)
    , m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setToolTip(text);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setText(text);
}

void ElidedLabel::setFullText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(text);
    elide();
    updateGeometry();
}

QSize ElidedLabel::sizeHint() const
{
    // The shown text is the elided one: asking for its width would never let the label grow back.
    // Rounded up: a width rounded to the nearest pixel can be a fraction too narrow, and the text
    // is cut short where it fits.
    const QMargins margins = contentsMargins();
    const int text = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_text)));
    return {text + margins.left() + margins.right() + 2 * margin(), QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    return {margins.left() + margins.right() + 2 * margin(),
        fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_text, m_mode, std::max(0, contentsRect().width() - 2 * margin()));
    if (shown != text())
        setText(shown);
}

} // namespace vesk
