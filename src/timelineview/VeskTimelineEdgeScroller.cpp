#include "timelineview/VeskTimelineEdgeScroller.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace vesk {

double edgeScrollStep(double distance)
{
    const double t = (VeskTimelineEdgeScroller::kZone - std::max(distance, 0.0)) / VeskTimelineEdgeScroller::kZone;
    return t * t * 19 + 5;
}

std::optional<double> edgeScrollOffset(const QRectF& viewport, QPointF pointer, double offset, double maximumOffset)
{
    if (!viewport.contains(pointer))
        return std::nullopt;
    double distance = pointer.y() - viewport.top();
    double direction = -1;
    if (distance >= VeskTimelineEdgeScroller::kZone) {
        distance = viewport.bottom() - pointer.y();
        direction = 1;
        if (distance >= VeskTimelineEdgeScroller::kZone)
            return std::nullopt;
    }
    const double largest = std::max(maximumOffset, 0.0);
    if (largest <= 0)
        return std::nullopt;
    const double next = std::clamp(offset + edgeScrollStep(distance) * direction, 0.0, largest);
    // A list resting at its end is not nudged again and again.
    if (std::abs(next - offset) <= 0.1)
        return std::nullopt;
    return next;
}

VeskTimelineEdgeScroller::VeskTimelineEdgeScroller(QObject* parent, PointerProbe probe)
    : QObject(parent), m_probe(std::move(probe))
{
    if (!m_probe) {
        m_probe = [] {
            return Pointer{QGuiApplication::mouseButtons().testFlag(Qt::LeftButton), QCursor::pos()};
        };
    }
    // The timer keeps firing while a drag runs its own event loop.
    m_timer = new QTimer(this);
    m_timer->setInterval(kIntervalMs);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &VeskTimelineEdgeScroller::tick);
}

void VeskTimelineEdgeScroller::start()
{
    // Starting again restarts the one timer: never two at once.
    m_timer->start();
}

void VeskTimelineEdgeScroller::stop()
{
    m_timer->stop();
}

bool VeskTimelineEdgeScroller::isRunning() const
{
    return m_timer->isActive();
}

void VeskTimelineEdgeScroller::tick()
{
    const Pointer pointer = m_probe();
    // Releasing the button ends scrolling at the next tick, whatever the drag machinery reports.
    if (!pointer.leftButtonDown) {
        stop();
        return;
    }
    if (!m_scrollArea)
        return;
    QWidget* viewport = m_scrollArea->viewport();
    QScrollBar* bar = m_scrollArea->verticalScrollBar();
    if (!viewport || !bar)
        return;
    const QRectF screenRect(viewport->mapToGlobal(QPoint(0, 0)), QSizeF(viewport->size()));
    const std::optional<double> next = edgeScrollOffset(screenRect, QPointF(pointer.globalPosition), bar->value(),
                                                        bar->maximum());
    if (next)
        bar->setValue(int(std::lround(*next)));
}

} // namespace vesk
