#include "platform/ui/BusyIndicator.h"

#include "platform/ui/Theme.h"

#include <QPainter>
#include <QTimer>

namespace vesk {

BusyIndicator::BusyIndicator(QWidget* parent, int diameter, QColor color)
    : QWidget(parent), m_timer(new QTimer(this)), m_color(color)
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer->setInterval(40);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal lineWidth = qMax<qreal>(2.0, width() / 10.0);
    QPen pen(m_color.isValid() ? m_color : Theme::current().secondary(), lineWidth, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const qreal inset = lineWidth;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.drawArc(box, -m_angle * 16, 270 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer->start();
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer->stop();
}

} // namespace vesk
