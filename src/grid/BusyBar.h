#pragma once

#include "grid/MotionClock.h"

#include <QTimer>
#include <QWidget>
#include <optional>

namespace vesk {

// A small bar with a segment sweeping across it: work of unknown length is under way. Drawn
// here rather than by the style: the style's busy bar asks for a frame sixty times a second, and
// each frame of the window waits for the display server while imports keep every core busy.
// It moves only while it is shown.
class BusyBar : public QWidget {
    Q_OBJECT
public:
    // Frames a second: enough for a sweep that reads as motion at this size.
    static constexpr int framesPerSecond = 20;
    // One sweep from edge to edge.
    static constexpr int sweepMs = 1200;

    explicit BusyBar(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {36, 8}; }
    bool isMoving() const { return m_frames.isActive(); }
    // Where the segment is in its sweep, 0 to 1.
    double phase() const;
    // The clock the sweep is timed by.
    void setMotionClock(MotionClock clock) { m_clock = std::move(clock); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_frames;
    MotionClock m_clock = steadyMotionClock();
    std::optional<qint64> m_shownAtMs;
};

} // namespace vesk
