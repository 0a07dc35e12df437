#include "intake/RetryBackoff.h"

#include <algorithm>

namespace vesk {

qint64 RetryBackoff::delayAfter(int failuresInARow) const
{
    if (failuresInARow <= 0)
        return 0;
    // Doubling stops well before it could overflow.
    const int doublings = std::min(failuresInARow - 1, 20);
    return std::min(m_firstDelayMs << doublings, m_longestDelayMs);
}

void RetryBackoff::noteFailure(qint64 nowMs)
{
    ++m_failures;
    m_nextTryMs = nowMs + delayMs();
}

} // namespace vesk
