#include "app/BorderedButton.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"
#include "platform/ui/ControlText.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace vesk {

BorderedButton::BorderedButton(const QString& title, QWidget* parent)
    : QPushButton(controlText(title), parent)
{
    setFont(Theme::font(13, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QSize BorderedButton::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 2 * kPadding, kHeight);
}

void BorderedButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QPushButton::enterEvent(event);
}

void BorderedButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QPushButton::leaveEvent(event);
}

void BorderedButton::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Painting::capsule(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    p.fillPath(shape, theme.isDark() ? Theme::white(0.06) : Theme::white(0.55));
    p.fillPath(shape, theme.primary(isDown() ? 0.12 : m_hovered ? 0.07 : 0.035));
    Painting::stroke(p, shape, theme.primary(hasFocus() ? 0.0 : 0.12), 0.8);
    if (hasFocus())
        Painting::stroke(p, shape, theme.accent(0.6), 1.5);
    p.setFont(font());
    p.setPen(isEnabled() ? theme.label() : theme.tertiary());
    p.drawText(rect(), Qt::AlignCenter, text());
}

} // namespace vesk
