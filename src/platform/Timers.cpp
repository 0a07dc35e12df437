#include "platform/Timers.h"

#include <QTimer>

namespace vesk {

void PendingDelay::cancel()
{
    m_cancelled = true;
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
    }
}

std::shared_ptr<PendingDelay> SystemTimers::after(int delayMs, QObject* context, std::function<void()> action)
{
    auto pending = std::make_shared<PendingDelay>();
    auto* timer = new QTimer(context);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    pending->m_timer = timer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, pending, action = std::move(action)] {
        timer->deleteLater();
        if (!pending->isCancelled())
            action();
    });
    timer->start(delayMs);
    return pending;
}

std::shared_ptr<Timers> SystemTimers::shared()
{
    static const std::shared_ptr<Timers> timers = std::make_shared<SystemTimers>();
    return timers;
}

} // namespace vesk
