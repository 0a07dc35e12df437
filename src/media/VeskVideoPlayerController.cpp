#include "media/VeskVideoPlayerController.h"

#include <QMediaPlayer>
#include <QTimer>

#include <cmath>

namespace vesk {

namespace {

bool readable(double seconds) { return std::isfinite(seconds); }

} // namespace

VeskVideoPlayerController::VeskVideoPlayerController(QObject* parent)
    : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(sampleIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &VeskVideoPlayerController::sample);
}

void VeskVideoPlayerController::attach(QMediaPlayer* player)
{
    detach();
    m_player = player;
    if (!player)
        return;
    const double length = player->duration() / 1000.0;
    m_duration = readable(length) ? std::max(0.0, length) : 0.0;
    // A length that becomes known later is picked up at the next sample, and at once here.
    connect(player, &QMediaPlayer::durationChanged, this, &VeskVideoPlayerController::sample);
    m_timer->start();
    emit changed();
}

void VeskVideoPlayerController::detach()
{
    m_timer->stop();
    if (m_player)
        disconnect(m_player, nullptr, this, nullptr);
    m_player = nullptr;
    m_currentTime = 0;
    m_duration = 0;
    emit changed();
}

void VeskVideoPlayerController::sample()
{
    if (!m_player)
        return;
    const double position = m_player->position() / 1000.0;
    if (readable(position))
        m_currentTime = std::max(0.0, position);
    const double length = m_player->duration() / 1000.0;
    if (readable(length) && m_player->duration() > 0)
        m_duration = std::max(0.0, length);
    emit changed();
}

} // namespace vesk
