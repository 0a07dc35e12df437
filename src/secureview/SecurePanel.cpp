#include "secureview/SecurePanel.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QLinearGradient>
#include <QPainter>

namespace vesk {

SecurePanel::SecurePanel(Look look, QWidget* parent)
    : QWidget(parent), m_look(look)
{
}

void SecurePanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = Painting::roundedRect(box, m_look.radius);
    const QColor blue = Theme::rgb(0.12, 0.36, 0.68, m_look.blueOpacity);
    const QColor primary = Theme::current().primary(m_look.primaryOpacity);
    if (m_look.blueOpacity > 0 && m_look.primaryOpacity > 0) {
        QLinearGradient fill(box.topLeft(), box.bottomRight());
        fill.setColorAt(0, blue);
        fill.setColorAt(1, primary);
        painter.fillPath(shape, fill);
    } else {
        painter.fillPath(shape, m_look.blueOpacity > 0 ? blue : primary);
    }
    if (m_look.outlineOpacity > 0)
        painter.strokePath(shape, QPen(Theme::rgb(0.24, 0.62, 0.92, m_look.outlineOpacity), m_look.outlineWidth));
}

} // namespace vesk
