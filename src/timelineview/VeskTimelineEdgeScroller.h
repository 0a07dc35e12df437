#pragma once

#include <QAbstractScrollArea>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRectF>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Timers.h"

namespace vesk {

// How far the list moves in one tick when the pointer is `distance` points inside its edge zone:
// 24 points at the very edge, falling to 5 at the zone's inner border (88 points in).
double edgeScrollStep(double distance);

// The scroll offset after one tick, or none when nothing should move: the pointer outside the
// visible list or away from both edge zones, nothing to scroll, or a move of no more than 0.1.
// `viewport` and `pointer` are in screen coordinates; offsets grow downwards.
std::optional<double> edgeScrollOffset(const QRectF& viewport, QPointF pointer, double offset, double maximumOffset);

// Scrolls the timeline's list while an entry is dragged near its top or bottom edge, 30 times a
// second. It follows the scroll area weakly and stops by itself once the left button is up.
// Main thread only.
class VeskTimelineEdgeScroller : public QObject {
    Q_OBJECT
public:
    static constexpr double kZone = 88;
    static constexpr int kIntervalMs = 33;

    struct Pointer {
        bool leftButtonDown = false;
        QPoint globalPosition;
    };
    using PointerProbe = std::function<Pointer()>;

    // The probe reads the real pointer and timers are SystemTimers by default; tests pass their own.
    explicit VeskTimelineEdgeScroller(QObject* parent = nullptr, PointerProbe probe = {},
                                      std::shared_ptr<Timers> timers = nullptr);

    void setScrollArea(QAbstractScrollArea* area) { m_scrollArea = area; }
    QAbstractScrollArea* scrollArea() const { return m_scrollArea; }

    // Restarts the ticks: never two series at once.
    void start();
    void stop();
    bool isRunning() const;
    // One step; the ticks call it.
    void tick();

private:
    void scheduleTick();

    QPointer<QAbstractScrollArea> m_scrollArea;
    PointerProbe m_probe;
    std::shared_ptr<Timers> m_timers;
    std::shared_ptr<PendingDelay> m_nextTick;
};

} // namespace vesk
