#include "store/SearchTextPipeline.h"

namespace vesk {

SearchTextPipeline::SearchTextPipeline(int delayMs, Receiver receiver, std::shared_ptr<Timers> timers, QObject* parent)
    : QObject(parent), m_delayMs(delayMs), m_timers(std::move(timers)), m_receiver(std::move(receiver))
{
}

void SearchTextPipeline::send(const QString& text)
{
    if (m_previous && *m_previous == text)
        return;
    m_previous = text;
    m_pending = text;
    // Each new text starts the wait afresh.
    if (m_delay)
        m_delay->cancel();
    m_delay = m_timers->after(m_delayMs, this, [this] {
        m_delay.reset();
        deliver();
    });
}

void SearchTextPipeline::deliver()
{
    if (m_receiver)
        m_receiver(m_pending);
}

} // namespace vesk
