#include "intake/RetryBackoff.h"

#include <algorithm>

namespace vesk {

qint64 RetryBackoff::delayMs() const
{
    if (m_failures == 0)
        return 0;
    // Doubling stops well before it could overflow.
    const int doublings = std::min(m_failures - 1, 20);
    return std::min(m_firstDelayMs << doublings, m_longestDelayMs);
}

void RetryBackoff::noteFailure(qint64 nowMs)
{
    ++m_failures;
    m_nextTryMs = nowMs + delayMs();
}

} // namespace vesk
