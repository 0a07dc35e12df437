#include "platform/CoalescedCall.h"

#include <QTimer>

namespace vesk {

CoalescedCall::CoalescedCall(QObject* context, std::function<void()> action)
    : m_context(context), m_action(std::move(action))
{
}

void CoalescedCall::request()
{
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(0, m_context, [this] {
        if (!m_pending)
            return;
        m_pending = false;
        m_action();
    });
}

} // namespace vesk
