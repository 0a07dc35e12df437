#include "timelineview/VeskTimelineEdgeScroller.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QGuiApplication>
#include <QScrollBar>
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

VeskTimelineEdgeScroller::VeskTimelineEdgeScroller(QObject* parent, PointerProbe probe,
                                                   std::shared_ptr<Timers> timers)
    : QObject(parent), m_probe(std::move(probe)), m_timers(timers ? std::move(timers) : SystemTimers::shared())
{
    if (!m_probe) {
        m_probe = [] {
            return Pointer{QGuiApplication::mouseButtons().testFlag(Qt::LeftButton), QCursor::pos()};
        };
    }
}

void VeskTimelineEdgeScroller::start()
{
    // Starting again restarts the one series of ticks: never two at once.
    stop();
    scheduleTick();
}

void VeskTimelineEdgeScroller::stop()
{
    if (m_nextTick)
        m_nextTick->cancel();
    m_nextTick.reset();
}

bool VeskTimelineEdgeScroller::isRunning() const
{
    return m_nextTick != nullptr;
}

void VeskTimelineEdgeScroller::scheduleTick()
{
    // The delays are timers of the event loop, so they keep firing while a drag runs its own.
    m_nextTick = m_timers->after(kIntervalMs, this, [this] {
        m_nextTick.reset();
        // Running again unless this tick stops it or starts a new series itself.
        scheduleTick();
        tick();
    });
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
