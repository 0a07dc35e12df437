#include "grid/BusyBar.h"

#include "platform/ui/Painting.h"
#include "platform/ui/Theme.h"

#include <QPainter>

#include <cmath>

namespace vesk {

BusyBar::BusyBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("busyBar"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_frames.setInterval(1000 / framesPerSecond);
    connect(&m_frames, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    connect(&Theme::current(), &Theme::appearanceChanged, this, qOverload<>(&QWidget::update));
}

double BusyBar::phase() const
{
    const qint64 elapsed = m_shownAtMs ? m_clock() - *m_shownAtMs : 0;
    return double(elapsed % sweepMs) / sweepMs;
}

void BusyBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillPath(Painting::capsule(track), theme.primary(0.1));
    // A segment of a third of the track enters at the left and leaves at the right, eased so
    // that it slows at both ends.
    const double segment = track.width() / 3;
    const double eased = 0.5 - 0.5 * std::cos(phase() * M_PI);
    const double left = track.left() - segment + eased * (track.width() + segment);
    const QRectF shown = QRectF(left, track.top(), segment, track.height()).intersected(track);
    if (shown.width() <= 0)
        return;
    painter.setClipPath(Painting::capsule(track));
    painter.fillPath(Painting::capsule(QRectF(left, track.top(), segment, track.height())), theme.accent());
}

void BusyBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_shownAtMs = m_clock();
    m_frames.start();
}

void BusyBar::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_frames.stop();
}

} // namespace vesk
