#include "store/SearchTextPipeline.h"

namespace vesk {

SearchTextPipeline::SearchTextPipeline(int delayMs, Receiver receiver, QObject* parent)
    : QObject(parent), m_receiver(std::move(receiver))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &SearchTextPipeline::deliver);
}

void SearchTextPipeline::send(const QString& text)
{
    if (m_previous && *m_previous == text)
        return;
    m_previous = text;
    m_pending = text;
    m_timer.start();
}

void SearchTextPipeline::deliver()
{
    if (m_receiver)
        m_receiver(m_pending);
}

} // namespace vesk
